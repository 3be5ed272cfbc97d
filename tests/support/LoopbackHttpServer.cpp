#include "LoopbackHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpSocket>

QByteArray LoopbackHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

LoopbackHttpServer::LoopbackHttpServer()
{
    m_server.route(QStringLiteral("/api/get"), [this](const QHttpServerRequest& request) {
        requests.append({request.url().path(), request.url().query(QUrl::FullyEncoded), request.headers()});
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
