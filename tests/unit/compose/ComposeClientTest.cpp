// The compose client against a scripted backend on loopback, through the real
// network manager, with time-outs on the virtual clock.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "VirtualQueue.h"
#include "WebEngineHarness.h"
#include "compose/BackendOrigin.h"
#include "compose/ComposeClient.h"
#include "platform/Settings.h"

namespace {

const QString kDescription = QStringLiteral(R"({"spec":{"nodes":["a"]},"schema":{"type":"object"},"other":1})");

QJsonObject parse(const QByteArray& body) { return QJsonDocument::fromJson(body).object(); }

class ComposeClientTest : public ::testing::Test {
protected:
    // Starts an exchange and waits for its one completion.
    ComposeResult run(const std::function<void(ComposeClient::Done)>& start)
    {
        QList<ComposeResult> results;
        start([&](const ComposeResult& r) { results << r; });
        WebEngineHarness::waitFor([&] {
            queue.runPending();
            return !results.isEmpty();
        }, 10000);
        EXPECT_EQ(results.size(), 1);
        return results.value(0, ComposeResult::failure(QStringLiteral("no completion")));
    }
    ComposeResult compose(const std::optional<QString>& lastGraph = std::nullopt, bool vary = false, bool fresh = false)
    {
        return run([&](auto done) { client.compose("deep sea", kDescription, lastGraph, vary, fresh, std::move(done)); });
    }
    ComposeResult fromImage(const QStringList& palette, const QString& description = kDescription)
    {
        return run([&](auto done) { client.composeFromImage("steer", "data:image/jpeg;base64,AA==", palette, description, std::move(done)); });
    }

    VirtualClock clock;
    VirtualQueue queue{clock};
    QNetworkAccessManager network;
    LoopbackHttpServer backend;
    ComposeClient client{network, queue, {backend.origin(), QStringLiteral("key-1")}};
};

TEST_F(ComposeClientTest, ConfigurationComesFromTheFileTheEnvironmentAndTheStoredKey)
{
    QTemporaryDir dir;
    Settings settings(dir.filePath("settings.ini"));
    const QString path = ComposeClient::configPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString builtIn = QString::fromLatin1(kBuiltInBackendOrigin);
    // The file (nullptr: none), the environment and the stored key; the base URL and key they give.
    const std::tuple<const char*, const char*, QString, QString, QString> cases[] = {
        {nullptr, "", "", builtIn, ""},
        {R"({"baseUrl":"https://b.example","appKey":"file"})", "", "", "https://b.example", "file"},
        {R"({"baseUrl":"","appKey":7})", "", "", builtIn, ""},
        {R"({"baseUrl":5,"appKey":"file"})", "env", "", builtIn, "env"},
        {"[1,2]", "env", "", builtIn, "env"},
        {R"({"appKey":"file"})", "env", "  stored\n", builtIn, "stored"},
        {R"({"appKey":"file"})", "", "   ", builtIn, "file"},
        // Keys that would add a header count as signed out.
        {R"({"appKey":"a\r\nx-evil: 1"})", "", "", builtIn, ""},
        {nullptr, "", QStringLiteral(" a") + QChar(0) + QStringLiteral("b "), builtIn, ""},
        {nullptr, "e\nv", "", builtIn, ""},
    };
    for (const auto& [content, environment, stored, baseUrl, appKey] : cases) {
        SCOPED_TRACE(std::string(content ? content : "") + " / " + environment + " / " + stored.toStdString());
        QFile::remove(path);
        if (QFile file(path); content) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) > 0);
        }
        qputenv("VESMER_APP_KEY", environment);
        settings.setValue("pro.key", stored);
        EXPECT_EQ(ComposeClient::loadConfig(settings), (ComposeClient::Config{baseUrl, appKey}));
    }
    qunsetenv("VESMER_APP_KEY");
    QFile::remove(path);
}

TEST_F(ComposeClientTest, SendsExactlyTheRequestMembersAndHeaders)
{
    backend.fallback = {200, R"({"graph":{"a":1}})"};
    compose(QStringLiteral(R"({"nodes":[1]})"), true, true);
    client.setConfig({backend.origin(), QString()});
    // Each form of "no last graph" is sent as null.
    for (const QString& last : {QString(), QStringLiteral("null"), QStringLiteral("{broken"), QStringLiteral("5")})
        compose(last.isNull() ? std::nullopt : std::optional(last));
    fromImage({"#112233"}, "{}");

    ASSERT_EQ(backend.requests.size(), 6);
    const auto& first = backend.requests[0];
    EXPECT_EQ(first.method + " " + first.path, "POST /api/compose");
    EXPECT_EQ(first.headers.value("content-type"), "application/json");
    EXPECT_EQ(first.headers.value("x-app-key"), "key-1");
    EXPECT_EQ(parse(first.body), parse(R"({"prompt":"deep sea","spec":{"nodes":["a"]},"schema":{"type":"object"},
        "provider":"cerebras","fresh":true,"vary":true,"lastPrompt":"","lastGraph":{"nodes":[1]}})"));
    for (int i = 1; i <= 4; ++i) {
        EXPECT_FALSE(backend.requests[i].headers.contains("x-app-key"));
        EXPECT_TRUE(parse(backend.requests[i].body).value("lastGraph").isNull());
        EXPECT_EQ(parse(backend.requests[i].body).value("fresh"), false);
    }
    EXPECT_EQ(parse(backend.requests[5].body), parse(R"({"prompt":"steer","spec":{},"schema":{},
        "image":"data:image/jpeg;base64,AA==","palette":["#112233"],"provider":"cerebras","lastPrompt":"","lastGraph":null})"));

    // A scene description that is no object fails at once and sends nothing.
    QStringList errors;
    client.compose("x", "[1]", std::nullopt, false, false, [&](const ComposeResult& r) { errors << r.error; });
    EXPECT_EQ(errors, QStringList{"bundle spec unreadable"});
    EXPECT_EQ(backend.requests.size(), 6);
}

TEST_F(ComposeClientTest, ReplyRulesInTheirOrderAndTheCoverGraphTakesThePaletteAndLosesItsHue)
{
    const QString signIn = QStringLiteral("sign in to generate — your session may have expired");
    const QString bad = QStringLiteral("bad response from backend");
    const QString noGraph = QStringLiteral("no graph in response (HTTP 200)");
    // The reply's status and body; what the prompt and the cover exchange make of it ("=…" a graph, else the error).
    const std::tuple<int, QByteArray, QString, QString> cases[] = {
        {200, R"({"error":"too busy","graph":{"a":1}})", "too busy", "too busy"},
        {401, R"({"graph":{"a":1}})", signIn, R"(={"a":1})"},
        {401, R"({"error":"no key"})", signIn, "no key"},
        {401, "unauthorised", bad, bad},
        {500, R"({"error":"","graph":{"a":1}})", bad, bad},  // an empty message still fails, visibly
        {500, R"({"graph":{"a":1}})", R"(={"a":1})", R"(={"a":1})"},
        {200, R"({"graph":[1, 2]})", "=[1,2]", noGraph},
        {200, R"({"nothing":1})", noGraph, noGraph},
        {200, "<html>garbage", bad, bad},
        {200, "[1]", bad, bad},
        {200, "{\"graph\":{\"t\":\"\xff\xfe\"}}", bad, bad},  // invalid UTF-8
        {200, QByteArray(100000, '[') + QByteArray(100000, ']'), bad, bad},
        // U+2028 and a closing script tag come back unchanged.
        {200, "{\"graph\":{\"t\":\"a\xe2\x80\xa8</script>\"}}", "={\"t\":\"a\u2028</script>\"}",
         "={\"t\":\"a\u2028</script>\"}"},
        // 50 MB of reply: read, found wanting, no crash.
        {200, "{\"pad\":\"" + QByteArray(50 * 1024 * 1024, 'x') + "\"}", noGraph, noGraph},
    };
    const auto outcome = [](const ComposeResult& r) { return r.graph ? "=" + *r.graph : r.error; };
    for (const auto& [status, body, composeOutcome, imageOutcome] : cases) {
        SCOPED_TRACE(body.left(60).toStdString());
        backend.queued = {{status, body}, {status, body}};
        EXPECT_EQ(outcome(compose()), composeOutcome);
        EXPECT_EQ(outcome(fromImage({})), imageOutcome);
    }

    const auto cover = [&](const QStringList& palette) { return fromImage(palette).graph.value_or(QString()); };
    backend.fallback = {200, R"({"graph":{"paletteAmount":0.5,"post":{"hue":3,"bloom":1},"palette":["#000000"]}})"};
    EXPECT_EQ(cover({"#ff0000"}), R"({"palette":["#ff0000"],"paletteAmount":0.9,"post":{"bloom":1,"hue":0}})");
    EXPECT_EQ(cover({}), R"({"palette":["#000000"],"paletteAmount":0.5,"post":{"bloom":1,"hue":0}})");
    backend.fallback = {200, R"({"graph":{"paletteAmount":1.2,"post":"none"}})"};
    EXPECT_EQ(cover({"#ff0000", "#00ff00"}), R"({"palette":["#ff0000","#00ff00"],"paletteAmount":1.2,"post":"none"})");
    backend.fallback = {200, R"({"graph":{"paletteAmount":"lots"}})"};
    EXPECT_EQ(cover({"#ff0000"}), R"({"palette":["#ff0000"],"paletteAmount":0.9})");
}

TEST_F(ComposeClientTest, EveryExchangeEndsOnceWhateverTheTransport)
{
    // A backend that never answers: the 20 s (25 s for covers) time-out on the
    // virtual clock ends it.
    SilentHttpServer silent;
    client.setConfig({silent.url().toString(), QString()});
    for (const bool image : {false, true}) {
        std::optional<ComposeResult> result;
        const auto done = [&](const ComposeResult& r) { result = r; };
        image ? client.composeFromImage("s", "data:,", {}, kDescription, done)
              : client.compose("p", kDescription, std::nullopt, false, false, done);
        ASSERT_TRUE(WebEngineHarness::waitFor([&] { return silent.connections > int(image); }, 5000));
        queue.advance(image ? 24.9 : 19.9);
        EXPECT_FALSE(result);
        queue.advance(0.2);
        ASSERT_TRUE(WebEngineHarness::waitFor([&] { return result.has_value(); }, 5000));
        EXPECT_EQ(result->error, BackendExchange::kTimedOut);
    }

    // Refused: nothing listens on that port any more.
    client.setConfig({SilentHttpServer().url().toString(), QString()});
    const ComposeResult refused = compose();
    EXPECT_TRUE(!refused.graph && !refused.error.isEmpty());

    // An address that is no URL still ends in one failure, never before the call returns.
    client.setConfig({QStringLiteral("http://exa mple:99999"), QString()});
    EXPECT_EQ(compose().error, BackendExchange::kBadUrl);
}

}  // namespace
