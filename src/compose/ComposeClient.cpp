#include "compose/ComposeClient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include "compose/BackendOrigin.h"
#include "compose/KeyText.h"
#include "platform/MainQueue.h"
#include "platform/Settings.h"
#include "platform/XdgPaths.h"

namespace {

const QString kBadResponse = QStringLiteral("bad response from backend");
const QString kSignInAgain = QStringLiteral("sign in to generate — your session may have expired");

QString noGraph(int status)
{
    return QStringLiteral("no graph in response (HTTP %1)").arg(status);
}

}  // namespace

// The members of the page's scene description (vesmerSpec()) that the backend gets.
struct ComposeClient::DescriptionParts {
    QJsonValue guide;  // its "spec" member: format, costs and limits
    QJsonValue schema;
};

namespace {

using DescriptionParts = ComposeClient::DescriptionParts;

// None when the text is no JSON object.
std::optional<DescriptionParts> descriptionParts(const QString& description)
{
    const QJsonDocument document = QJsonDocument::fromJson(description.toUtf8());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    auto member = [&object](QLatin1String name) {
        return object.contains(name) ? object.value(name) : QJsonValue(QJsonObject());
    };
    return DescriptionParts{member(QLatin1String("spec")), member(QLatin1String("schema"))};
}

QJsonValue parsedLastGraph(const std::optional<QString>& lastGraph)
{
    if (!lastGraph || lastGraph->isEmpty() || *lastGraph == QLatin1String("null"))
        return QJsonValue::Null;
    const QJsonDocument document = QJsonDocument::fromJson(lastGraph->toUtf8());
    if (document.isObject())
        return document.object();
    if (document.isArray())
        return document.array();
    return QJsonValue::Null;
}

// A graph written back as compact JSON text; none when it is no object or array
// or does not come out as UTF-8.
std::optional<QString> compactText(const QJsonValue& graph)
{
    QJsonDocument document;
    if (graph.isObject())
        document = QJsonDocument(graph.toObject());
    else if (graph.isArray())
        document = QJsonDocument(graph.toArray());
    else
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(document.toJson(QJsonDocument::Compact));
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

// The parts both exchanges share: the body as a JSON object, or the failure.
std::variant<QJsonObject, ComposeResult> responseObject(const BackendAnswer& answer)
{
    if (answer.transportError)
        return ComposeResult::failure(*answer.transportError);
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    if (answer.body.isEmpty() || !document.isObject())
        return ComposeResult::failure(kBadResponse);
    return document.object();
}

// The backend's message; an empty one still fails, with a message the user sees.
std::optional<QString> errorMember(const QJsonObject& body)
{
    const QJsonValue error = body.value(QLatin1String("error"));
    if (!error.isString())
        return std::nullopt;
    return error.toString().isEmpty() ? kBadResponse : error.toString();
}

}  // namespace

ComposeClient::ComposeClient(QNetworkAccessManager& network, MainQueue& queue, Config config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_exchange(network, queue)
{
}

ComposeClient::~ComposeClient() = default;

ComposeResult ComposeClient::composeReply(const BackendAnswer& answer)
{
    auto parsed = responseObject(answer);
    if (auto* failed = std::get_if<ComposeResult>(&parsed))
        return *failed;
    const QJsonObject body = std::get<QJsonObject>(parsed);
    if (answer.status == 401)
        return ComposeResult::failure(kSignInAgain);
    if (const auto error = errorMember(body))
        return ComposeResult::failure(*error);
    if (body.contains(QLatin1String("graph")))
        if (auto text = compactText(body.value(QLatin1String("graph"))))
            return ComposeResult::success(std::move(*text));
    return ComposeResult::failure(noGraph(answer.status));
}

ComposeResult ComposeClient::imageReply(const BackendAnswer& answer, const QStringList& palette)
{
    auto parsed = responseObject(answer);
    if (auto* failed = std::get_if<ComposeResult>(&parsed))
        return *failed;
    const QJsonObject body = std::get<QJsonObject>(parsed);
    if (const auto error = errorMember(body))
        return ComposeResult::failure(*error);
    const QJsonValue graphValue = body.value(QLatin1String("graph"));
    if (!graphValue.isObject())
        return ComposeResult::failure(noGraph(answer.status));
    QJsonObject graph = graphValue.toObject();
    // The cover's own colours lead, strongly enough to be seen.
    if (!palette.isEmpty()) {
        graph.insert(QLatin1String("palette"), QJsonArray::fromStringList(palette));
        const QJsonValue amount = graph.value(QLatin1String("paletteAmount"));
        graph.insert(QLatin1String("paletteAmount"), std::max(amount.isDouble() ? amount.toDouble() : 0.0, 0.9));
    }
    // A hue shift would move the cover's colours away from the cover.
    if (QJsonValue post = graph.value(QLatin1String("post")); post.isObject()) {
        QJsonObject adjusted = post.toObject();
        adjusted.insert(QLatin1String("hue"), 0);
        graph.insert(QLatin1String("post"), adjusted);
    }
    if (auto text = compactText(graph))
        return ComposeResult::success(std::move(*text));
    return ComposeResult::failure(QStringLiteral("graph re-serialize failed"));
}

QString ComposeClient::configPath()
{
    return XdgPaths::configHome() + QStringLiteral("/vesmer/config.json");
}

ComposeClient::Config ComposeClient::loadConfig(const Settings& settings)
{
    Config config{QString::fromLatin1(kBuiltInBackendOrigin), {}};
    const QString environmentKey = qEnvironmentVariable("VESMER_APP_KEY");
    QString key = environmentKey;

    QFile file(configPath());
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        if (document.isObject()) {
            const QJsonObject object = document.object();
            const QJsonValue baseUrl = object.value(QLatin1String("baseUrl"));
            if (baseUrl.isString() && !baseUrl.toString().isEmpty())
                config.baseUrl = baseUrl.toString();
            if (environmentKey.isEmpty())
                key = object.value(QLatin1String("appKey")).toString();
        }
    }

    const QString stored = settings.stringValue(QStringLiteral("pro.key")).trimmed();
    config.appKey = sendableKey(stored.isEmpty() ? key : stored);
    return config;
}

// Both exchanges start alike: the page's scene description must be a JSON
// object, or the exchange fails at once without sending anything.
void ComposeClient::send(const QString& description, const std::function<QJsonObject(const DescriptionParts&)>& body,
                         double timeout, std::function<ComposeResult(const BackendAnswer&)> result, Done done)
{
    const std::optional<DescriptionParts> parts = descriptionParts(description);
    if (!parts) {
        done(ComposeResult::failure(QStringLiteral("bundle spec unreadable")));
        return;
    }
    m_exchange.send({"POST", m_config.baseUrl + QStringLiteral("/api/compose"), m_config.appKey,
                     QJsonDocument(body(*parts)).toJson(QJsonDocument::Compact), timeout},
                    [result = std::move(result), done = std::move(done)](const BackendAnswer& answer) {
                        done(result(answer));
                    });
}

void ComposeClient::compose(const QString& prompt, const QString& description, const std::optional<QString>& lastGraph,
                            bool vary, bool fresh, Done done)
{
    const auto body = [&](const DescriptionParts& parts) {
        return QJsonObject{
            {QLatin1String("prompt"), prompt},
            {QLatin1String("spec"), parts.guide},
            {QLatin1String("schema"), parts.schema},
            {QLatin1String("provider"), QLatin1String("cerebras")},
            {QLatin1String("fresh"), fresh || vary},
            {QLatin1String("vary"), vary},
            {QLatin1String("lastPrompt"), QString()},
            {QLatin1String("lastGraph"), parsedLastGraph(lastGraph)},
        };
    };
    send(description, body, kComposeTimeout, composeReply, std::move(done));
}

void ComposeClient::composeFromImage(const QString& steer, const QString& imageDataUrl, const QStringList& palette,
                                     const QString& description, Done done)
{
    const auto body = [&](const DescriptionParts& parts) {
        return QJsonObject{
            {QLatin1String("prompt"), steer},
            {QLatin1String("spec"), parts.guide},
            {QLatin1String("schema"), parts.schema},
            {QLatin1String("image"), imageDataUrl},
            {QLatin1String("palette"), QJsonArray::fromStringList(palette)},
            {QLatin1String("provider"), QLatin1String("cerebras")},
            {QLatin1String("lastPrompt"), QString()},
            {QLatin1String("lastGraph"), QJsonValue::Null},
        };
    };
    send(description, body, kImageTimeout,
         [palette](const BackendAnswer& answer) { return imageReply(answer, palette); }, std::move(done));
}
