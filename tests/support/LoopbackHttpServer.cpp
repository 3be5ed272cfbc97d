#include "LoopbackHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>

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
        const Response response = m_queued.isEmpty() ? fallback : m_queued.takeFirst();
        return QHttpServerResponse(QByteArrayLiteral("application/json"), response.body,
                                   QHttpServerResponse::StatusCode(response.status));
    });
    m_port = m_server.listen(QHostAddress::LocalHost);
}

QUrl LoopbackHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

SilentHttpServer::SilentHttpServer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            m_sockets.push_back(socket);
    });
    m_server.listen(QHostAddress::LocalHost);
}

QUrl SilentHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}
