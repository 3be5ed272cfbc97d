#include "LlmEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <future>

namespace composer {

namespace {

QUrl chatEndpoint(const QUrl& base)
{
    QUrl url = base;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (!path.endsWith(QLatin1String("/chat/completions")))
        path += path.endsWith(QLatin1String("/v1")) ? QStringLiteral("/chat/completions")
                                                    : QStringLiteral("/v1/chat/completions");
    url.setPath(path);
    return url;
}

const char* const kSystem =
    "You design scenes for Vesmer, an audio-reactive desktop wallpaper. A scene is a JSON graph that a web page "
    "draws. The page describes the graph in \"spec\" and lists every member, range, default and enumeration in "
    "\"schema\" (JSON Schema). Reply with exactly one JSON object, the graph, and nothing else. Use only layer "
    "types the schema lists, keep every number within its range, keep the sum of the layer costs within "
    "spec.costLimit, write colours as \"#rrggbb\", and keep the background dark. Interpret the prompt: its "
    "colours belong in the palette, its imagery picks the layer types, its style picks the post effects, its mood "
    "sets the motion.";

}  // namespace

LlmEngine::LlmEngine(const QUrl& url, const QString& model, std::chrono::milliseconds timeout, int maxConcurrent)
    : m_endpoint(chatEndpoint(url)), m_model(model), m_timeout(timeout), m_maxConcurrent(maxConcurrent),
      m_thread(std::make_unique<QThread>())
{
    m_thread->setObjectName(QStringLiteral("llm"));
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
    m_thread->start();
    QMetaObject::invokeMethod(
        m_context, [this] { m_nam = new QNetworkAccessManager(m_context); }, Qt::BlockingQueuedConnection);
}

LlmEngine::~LlmEngine()
{
    // Deferred deletions still run after the thread's event loop has stopped.
    m_context->deleteLater();
    m_thread->quit();
    m_thread->wait();
}

QString LlmEngine::timeoutText() const
{
    const auto ms = m_timeout.count();
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

QByteArray LlmEngine::requestBody(const LlmQuestion& q) const
{
    QJsonObject user{{QStringLiteral("spec"), q.guide}, {QStringLiteral("schema"), q.schema},
                     {QStringLiteral("prompt"), q.prompt}};
    if (q.lastGraph) {
        user.insert(QStringLiteral("lastGraph"), *q.lastGraph);
        user.insert(QStringLiteral("task"), QStringLiteral("a variation of lastGraph: keep its palette and its layer "
                                                           "types, change everything else"));
    }
    if (!q.cover.isEmpty()) {
        user.insert(QStringLiteral("cover"), q.cover);
        user.insert(QStringLiteral("task"), QStringLiteral("a scene for this album cover: use its palette; its "
                                                           "brightness, saturation and contrast (0..1) steer "
                                                           "intensity, background darkness and motion"));
    }
    QJsonObject body{
        {QStringLiteral("messages"),
         QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                {QStringLiteral("content"), QString::fromLatin1(kSystem)}},
                    QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                {QStringLiteral("content"),
                                 QString::fromUtf8(QJsonDocument(user).toJson(QJsonDocument::Compact))}}}},
        {QStringLiteral("temperature"), q.fresh ? 0.9 : 0.4},
        {QStringLiteral("max_tokens"), 1500},
        {QStringLiteral("stream"), false},
        {QStringLiteral("response_format"), QJsonObject{{QStringLiteral("type"), QStringLiteral("json_object")}}}};
    if (!m_model.isEmpty())
        body.insert(QStringLiteral("model"), m_model);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

LlmAnswer LlmEngine::parseReply(const QByteArray& bytes)
{
    LlmAnswer a;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonValue content =
        doc.object().value(QLatin1String("choices")).toArray().at(0).toObject().value(QLatin1String("message"))
            .toObject().value(QLatin1String("content"));
    if (!content.isString()) {
        a.failure = QStringLiteral("unusable answer (not a chat completion)");
        return a;
    }
    // Models sometimes wrap the object in prose or a code fence.
    const QString text = content.toString();
    const qsizetype open = text.indexOf(QLatin1Char('{')), close = text.lastIndexOf(QLatin1Char('}'));
    if (open < 0 || close <= open) {
        a.failure = QStringLiteral("unusable answer (no JSON object)");
        return a;
    }
    const QJsonDocument graph = QJsonDocument::fromJson(text.mid(open, close - open + 1).toUtf8());
    if (!graph.isObject()) {
        a.failure = QStringLiteral("unusable answer (no JSON object)");
        return a;
    }
    QJsonObject g = graph.object();
    if (g.value(QLatin1String("graph")).isObject())
        g = g.value(QLatin1String("graph")).toObject();
    a.graph = g;
    return a;
}

LlmAnswer LlmEngine::ask(const LlmQuestion& question)
{
    if (m_inFlight.fetch_add(1) >= m_maxConcurrent) {
        m_inFlight.fetch_sub(1);
        return {std::nullopt, QStringLiteral("busy")};
    }
    struct Done {
        std::promise<std::pair<int, QByteArray>> promise;  // status (or -error), body
        QString error;
    };
    auto done = std::make_shared<Done>();
    auto future = done->promise.get_future();
    const QByteArray body = requestBody(question);
    const int timeoutMs = int(m_timeout.count());
    QMetaObject::invokeMethod(m_context, [this, done, body, timeoutMs] {
        QNetworkRequest request(m_endpoint);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        QNetworkReply* reply = m_nam->post(request, body);
        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, reply, [reply] {
            reply->setProperty("vesmerTimedOut", true);
            reply->abort();
        });
        timer->start(timeoutMs);
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done] {
            reply->deleteLater();
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (reply->property("vesmerTimedOut").toBool())
                done->error = QStringLiteral("timeout");
            else if (!status.isValid())
                done->error = reply->error() == QNetworkReply::ConnectionRefusedError ? QStringLiteral("connection refused")
                                                                                       : reply->errorString();
            done->promise.set_value({status.isValid() ? status.toInt() : -1, reply->isOpen() ? reply->readAll() : QByteArray()});
        });
    });
    // The timer above ends the exchange; the margin covers a stalled event loop.
    LlmAnswer answer;
    if (future.wait_for(m_timeout + std::chrono::seconds(2)) != std::future_status::ready) {
        answer.failure = QStringLiteral("no answer within %1").arg(timeoutText());
    } else {
        const auto [status, reply] = future.get();
        if (done->error == QLatin1String("timeout"))
            answer.failure = QStringLiteral("no answer within %1").arg(timeoutText());
        else if (status < 0)
            answer.failure = done->error;
        else if (status != 200)
            answer.failure = QStringLiteral("HTTP %1").arg(status);
        else
            answer = parseReply(reply);
    }
    m_inFlight.fetch_sub(1);
    return answer;
}

}  // namespace composer
