#pragma once
// HTTP servers on 127.0.0.1 for tests, on the test's event loop. LoopbackHttpServer
// records every request and answers with what the test queued (then with the
// fallback); SilentHttpServer accepts connections and never answers.

#include <QByteArray>
#include <QHttpServer>
#include <QList>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <memory>
#include <vector>

class LoopbackHttpServer {
public:
    struct Request {
        QString path;
        QString query;  // as sent, percent-encoding included
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray header(const QByteArray& name) const;
    };
    struct Response {
        int status = 200;
        QByteArray body;
    };

    LoopbackHttpServer();
    QUrl url() const;
    void queue(Response response) { m_queued.append(std::move(response)); }

    Response fallback{404, R"({"message":"Failed to find specified track"})"};
    QList<Request> requests;

private:
    QHttpServer m_server;
    quint16 m_port = 0;
    QList<Response> m_queued;
};

class SilentHttpServer {
public:
    SilentHttpServer();
    QUrl url() const;
    int connections() const { return int(m_sockets.size()); }

private:
    QTcpServer m_server;
    std::vector<QTcpSocket*> m_sockets;  // children of the server
};
