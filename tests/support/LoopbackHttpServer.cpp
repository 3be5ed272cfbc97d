#include "LoopbackHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QMetaEnum>
#include <QTcpSocket>

LoopbackHttpServer::LoopbackHttpServer()
{
    auto answer = [this](const QHttpServerRequest& request) {
        Request& recorded = requests.emplace_back(request.url().path(), request.url().query(QUrl::FullyEncoded));
        for (const auto& [name, value] : request.headers())
            recorded.headers.insert(name.toLower(), value);
        const QMetaEnum methods = QMetaEnum::fromType<QHttpServerRequest::Method>();
        recorded.method = QByteArray(methods.valueToKey(int(request.method()))).toUpper();  // "Get" becomes "GET"
        recorded.body = request.body();
        const Response response = queued.isEmpty() ? fallback : queued.takeFirst();
        return QHttpServerResponse(response.contentType, response.body, QHttpServerResponse::StatusCode(response.status));
    };
    for (const char* path : {"/api/get", "/api/compose", "/api/desktop-key"})
        m_server.route(QString::fromLatin1(path), answer);
    m_server.route(QStringLiteral("/files/<arg>"), [answer](const QString&, const QHttpServerRequest& request) {
        return answer(request);
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
