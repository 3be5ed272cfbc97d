#pragma once
// HTTP servers on 127.0.0.1 for tests, on the test's event loop. LoopbackHttpServer
// records every request to the paths the app uses (LRCLIB's /api/get, the
// backend's /api/compose and /api/desktop-key, and anything below /files/) and
// answers with what the test queued, then with the fallback; SilentHttpServer
// accepts connections and never answers.

#include <QHash>
#include <QHttpServer>
#include <QList>
#include <QTcpServer>
#include <QUrl>

class LoopbackHttpServer {
public:
    struct Request {
        QString path;
        QString query;  // as sent, percent-encoding included
        QHash<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray method;
        QByteArray body;
    };
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
    };

    LoopbackHttpServer();
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QString origin() const { return url().toString(); }

    QList<Response> queued;
    Response fallback{404, R"({"message":"Failed to find specified track"})"};
    QList<Request> requests;

private:
    QHttpServer m_server;
    quint16 m_port = 0;
};

class SilentHttpServer {
public:
    SilentHttpServer();
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    int connections = 0;

private:
    QTcpServer m_server;  // parent of the connections, which it keeps open
};
