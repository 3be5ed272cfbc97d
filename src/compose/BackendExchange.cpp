#include "compose/BackendExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>
#include <memory>

#include "platform/MainQueue.h"

namespace {
// A graph is a few kilobytes; a reply this large is not one, and reading it
// whole would only cost memory.
constexpr qint64 kMaxReplyBytes = 64 * 1024 * 1024;

// Qt numbers its errors by layer: below 200 the connection or a proxy failed,
// 300-399 the protocol broke; 200-299 and 400-499 come from an answered status.
bool brokeOnTheWay(QNetworkReply::NetworkError error)
{
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        || (error >= QNetworkReply::ProtocolUnknownError && error < QNetworkReply::InternalServerError);
}
}  // namespace

const QString BackendExchange::kTimedOut = QStringLiteral("the backend did not answer in time");
const QString BackendExchange::kBadUrl = QStringLiteral("the backend address is not a valid URL");

BackendExchange::BackendExchange(QNetworkAccessManager& network, MainQueue& queue, QObject* parent)
    : QObject(parent), m_network(network), m_queue(queue)
{
}

BackendExchange::~BackendExchange()
{
    // Replies belong to the network manager; nothing of ours may run when they end.
    for (QNetworkReply* reply : std::as_const(m_replies)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void BackendExchange::send(const Request& request, Done done)
{
    const QUrl url(request.url, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        // Still one completion, and never before send() returns.
        m_queue.post([self = QPointer(this), done = std::move(done)] {
            if (self)
                done(BackendAnswer{kBadUrl, 0, {}});
        });
        return;
    }
    QNetworkRequest message(url);
    if (request.jsonBody)
        message.setRawHeader("content-type", "application/json");
    if (!request.appKey.isEmpty())
        message.setRawHeader("x-app-key", request.appKey.toUtf8());
    // The backend answers itself; a redirect would carry the key elsewhere.
    message.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply* reply = request.jsonBody
        ? m_network.sendCustomRequest(message, request.method, *request.jsonBody)
        : m_network.sendCustomRequest(message, request.method);
    m_replies.insert(reply);

    // On the main queue rather than the request's own timer, so that tests on a
    // virtual clock can let it run out at once.
    auto why = std::make_shared<QString>();
    TaskHandle timeout = m_queue.after(request.timeoutSeconds, [reply = QPointer(reply), why] {
        if (!reply)
            return;
        *why = kTimedOut;
        reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [reply = QPointer(reply), why](qint64 received, qint64) {
        if (reply && received > kMaxReplyBytes) {
            *why = QStringLiteral("the backend's reply is too large");
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, timeout, why, done = std::move(done)]() mutable {
        timeout.cancel();
        m_replies.remove(reply);
        reply->deleteLater();
        BackendAnswer answer;
        // A reply with an HTTP status is an answer even when Qt calls it an error;
        // only one without a status failed on the way.
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!why->isEmpty())
            answer.transportError = *why;
        else if (brokeOnTheWay(reply->error()))  // a status may have come, but not the whole body
            answer.transportError = reply->errorString();
        else if (status.isValid() || reply->error() == QNetworkReply::NoError) {
            answer.status = status.toInt();  // 0 for a response that is not HTTP
            answer.body = reply->readAll();
        } else
            answer.transportError = reply->errorString();
        done(answer);
    });
}
