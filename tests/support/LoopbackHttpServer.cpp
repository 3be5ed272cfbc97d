#include "LoopbackHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpSocket>

LoopbackHttpServer::LoopbackHttpServer()
{
    m_server.route(QStringLiteral("/api/get"), [this](const QHttpServerRequest& request) {
        Request& recorded = requests.emplace_back(request.url().path(), request.url().query(QUrl::FullyEncoded));
        for (const auto& [name, value] : request.headers())
            recorded.headers.insert(name.toLower(), value);
        const Response response = queued.isEmpty() ? fallback : queued.takeFirst();
        return QHttpServerResponse("application/json", response.body, QHttpServerResponse::StatusCode(response.status));
    });
    m_port = m_server.listen(QHostAddress::LocalHost);
}

SilentHttpServer::SilentHttpServer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (m_server.nextPendingConnection())
            ++connections;
    });
    m_server.listen(QHostAddress::LocalHost);
}
