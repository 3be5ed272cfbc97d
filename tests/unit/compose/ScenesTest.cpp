// Scene generation, presets and sign-in through the app state, against a
// scripted backend on loopback and a fake page that answers as the test says.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "compose/ComposeClient.h"
#include "wallpaper/PageCalls.h"

namespace {

const QString kSpec = QStringLiteral(R"({"spec":{},"schema":{}})");

QString graphText(int n)
{
    return QStringLiteral(R"({"g":%1})").arg(n);
}

QByteArray graphReply(int n)
{
    return "{\"graph\":" + graphText(n).toUtf8() + "}";
}

QString logText()
{
    QFile file(AppState::logURL());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ScenesTest : public ::testing::Test {
protected:
    ScenesTest()
    {
        tp.host->replies = {{PageCalls::spec(), {kSpec, {}}}, {PageCalls::lastGraph(), {QStringLiteral("null"), {}}}};
        state.composeClient().setConfig({backend.origin(), QStringLiteral("k")});
    }
    void showWallpaper()
    {
        state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
        tp.queue->advance(2.0);
    }
    FakePage& page() { return tp.host->last()->fakePage; }
    void verdicts(const QStringList& answers)
    {
        for (int i = 0; i < answers.size(); ++i) {
            page().replies.insert(PageCalls::applyGraph(graphText(i)), {answers[i], {}});
            backend.queued << LoopbackHttpServer::Response{200, graphReply(i)};
        }
    }
    // Runs until the generation has finished.
    void settle()
    {
        ASSERT_TRUE(WebEngineHarness::waitFor([&] {
            tp.queue->runPending();
            return !state.composeInFlight();
        }, 10000));
    }

    LoopbackHttpServer backend;
    TestPlatform tp;
    AppState state{tp.take()};
};

TEST_F(ScenesTest, GenerationStartsOnlyWithAWallpaperAndAPrompt)
{
    state.generateScene(QStringLiteral(""), false);
    EXPECT_EQ(state.composeStatus(), "set a wallpaper first");
    showWallpaper();
    state.generateScene(QStringLiteral(" \n "), false);
    EXPECT_EQ(state.composeStatus(), "set a wallpaper first");
    EXPECT_FALSE(state.composeInFlight());

    // A page without its scene description is not ready; the flag is cleared all the same.
    page().replies.remove(PageCalls::spec());
    state.generateScene(QStringLiteral("sea"), false);
    settle();
    EXPECT_EQ(state.composeStatus(), "visuals not ready yet");
    EXPECT_TRUE(backend.requests.isEmpty());

    // A failed exchange is shown as it is and not retried.
    page().replies.insert(PageCalls::spec(), {kSpec, {}});
    backend.queued << LoopbackHttpServer::Response{401, R"({"error":"x"})"};
    state.generateScene(QStringLiteral("sea"), false);
    settle();
    EXPECT_EQ(state.composeStatus(), "sign in to generate — your session may have expired");
    EXPECT_EQ(backend.requests.size(), 1);
    EXPECT_TRUE(logText().contains("gen FAIL try=0 vary=false \"sea\" \u2192 sign in to generate"));
}

TEST_F(ScenesTest, GuardedVerdictsAskTwiceMoreForAFreshGraph)
{
    showWallpaper();
    verdicts({"guard: too costly", "drawn with fallback", "guard again"});
    QStringList statuses;
    QObject::connect(&state, &AppState::composeStatusChanged, [&] { statuses << state.composeStatus(); });
    const QString prompt = QStringLiteral("  ") + QString(70, QLatin1Char('p')) + QStringLiteral("  ");
    state.generateScene(prompt, true);
    settle();

    ASSERT_EQ(backend.requests.size(), 3);
    const QJsonObject first = QJsonDocument::fromJson(backend.requests[0].body).object();
    EXPECT_EQ(first.value("prompt"), QString(70, QLatin1Char('p')));
    EXPECT_EQ(first.value("vary"), true);
    for (int i = 1; i < 3; ++i) {
        const QJsonObject retry = QJsonDocument::fromJson(backend.requests[i].body).object();
        EXPECT_TRUE(retry.value("lastGraph").isNull());
        EXPECT_EQ(retry.value("fresh"), true);
        EXPECT_EQ(retry.value("vary"), true);
    }
    EXPECT_EQ(statuses, (QStringList{"composing…", "reworking…", "couldn’t shape that one — try again or rephrase"}));
    EXPECT_EQ(state.themeName(), "\u2014");
    EXPECT_EQ(state.lastScenePrompt(), QString(70, QLatin1Char('p')));
    EXPECT_TRUE(logText().contains("gen try=2 vary=true \"" + QString(60, QLatin1Char('p')) + "\" \u2192 guard again (graph 7B)"));

    // "ok" on the second try: live, no third request; "OK" is just a message.
    backend.requests.clear();
    verdicts({"fallback", "ok"});
    state.generateScene(QStringLiteral("sea"), false);
    settle();
    EXPECT_EQ(backend.requests.size(), 2);
    EXPECT_EQ(state.composeStatus(), "✓ live");
    EXPECT_EQ(state.themeName(), "AI scene");
    state.setThemeName(QStringLiteral("Aurora"));
    verdicts({"OK"});
    state.generateScene(QStringLiteral("sea"), false);
    settle();
    EXPECT_EQ(state.composeStatus(), "OK");
    EXPECT_EQ(state.themeName(), "Aurora");
}

TEST_F(ScenesTest, PresetsAreNamedKeptToTwelveAndSurviveARestart)
{
    state.savePreset();
    EXPECT_EQ(state.composeStatus(), "set a wallpaper first");
    showWallpaper();
    state.savePreset();  // the page has no graph yet
    EXPECT_EQ(state.composeStatus(), "nothing to save yet — generate a scene first");

    page().replies.insert(PageCalls::lastGraph(), {graphText(0), {}});
    for (int i = 0; i < 3; ++i)
        state.savePreset();
    EXPECT_EQ(state.presets().size(), 3);
    EXPECT_EQ(state.presets()[2].name, "Scene 3");
    EXPECT_EQ(state.composeStatus(), "★ saved");
    state.setAutoSource(QString(80, QLatin1Char('a')));
    state.savePreset();
    EXPECT_EQ(state.presets().last().name, QString(48, QLatin1Char('a')));
    state.setAutoSource({});
    for (int i = 0; i < 9; ++i)
        state.savePreset();
    ASSERT_EQ(state.presets().size(), 12);
    EXPECT_EQ(state.presets().first().name, "Scene 2");  // the oldest went

    // Two with one name: only the given id goes.
    const Preset doomed = state.presets()[0];
    state.deletePreset(doomed.id);
    EXPECT_EQ(state.presets().size(), 11);
    EXPECT_EQ(state.presets()[0].name, "Scene 3");

    page().replies.insert(PageCalls::applyGraph(graphText(0)), {QStringLiteral("ok"), {}});
    state.applyPreset(state.presets()[0]);
    EXPECT_EQ(state.composeStatus(), "▶ Scene 3");
    EXPECT_EQ(state.themeName(), "AI scene");

    // The stored form: ids upper-case, the graph as a string.
    const QJsonDocument stored = QJsonDocument::fromJson(tp.settings->value("presets").toByteArray());
    const QString id = stored[0]["id"].toString();
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(stored[0]["graph"], graphText(0));

    // A new app state on the same settings file has the same list.
    TestPlatform again;
    Platform platform = again.take();
    platform.settings = std::make_unique<Settings>(tp.settings->fileName());
    AppState restarted(std::move(platform));
    EXPECT_EQ(restarted.presets(), state.presets());
}

TEST(PresetStore, UnreadableBlobsStartEmptyButAreKept)
{
    for (const QByteArray& blob : {QByteArray("\x93\x01garbage\xff", 11),
                                   QByteArray(R"([{"id":"6B29FC40-CA47-1067-B31D-00DD010662DA","name":"a","graph":"{}"},)"
                                              R"({"id":"6b29fc40-ca47-1067-b31d-00dd010662da","name":"b"}])"),
                                   QByteArray(R"([{"id":"nope","name":"a","graph":"{}"}])")}) {
        TestPlatform tp;
        tp.settings->setValue("presets", blob);
        AppState state(tp.take());
        EXPECT_TRUE(state.presets().isEmpty());
        EXPECT_EQ(tp.settings->value("presets.unreadable").toByteArray(), blob);
        // Kept once: the next unreadable load leaves that copy alone.
        tp.settings->setValue("presets", QByteArray("[{}]"));
        TestPlatform other;
        Platform platform = other.take();
        platform.settings = std::make_unique<Settings>(tp.settings->fileName());
        AppState restarted(std::move(platform));
        EXPECT_EQ(Settings(tp.settings->fileName()).value("presets.unreadable").toByteArray(), blob);
    }
    // Either case of id is read; a later unreadable blob never replaces the kept one.
    const auto decoded = Presets::decode(R"([{"id":"6b29fc40-ca47-1067-b31d-00dd010662da","name":"a","graph":"{}"}])");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->first().id, QUuid("{6B29FC40-CA47-1067-B31D-00DD010662DA}"));
}

TEST_F(ScenesTest, KeyChecksGiveVerdictsOnlyForTheKeyStillConfigured)
{
    QDir().mkpath(QFileInfo(ComposeClient::configPath()).absolutePath());
    QFile config(ComposeClient::configPath());
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QJsonDocument(QJsonObject{{"baseUrl", backend.origin()}}).toJson());
    config.close();
    const auto check = [&](const QString& key, LoopbackHttpServer::Response reply) {
        backend.queued = {reply};
        state.activateKey(key);
        ASSERT_TRUE(WebEngineHarness::waitFor([&] { return backend.queued.isEmpty(); }, 5000));
        WebEngineHarness::settle(100);  // let the reply be handled
    };

    check(QStringLiteral("key-a\n"), {403, "nope"});
    EXPECT_EQ(tp.settings->stringValue("pro.key"), "key-a\n");
    EXPECT_EQ(backend.requests.last().path, "/api/desktop-key");
    EXPECT_EQ(backend.requests.last().headers.value("x-app-key"), "key-a");
    EXPECT_EQ(state.keyState(), "invalid");
    EXPECT_EQ(state.keyStatus(), "session expired — sign in again");
    EXPECT_FALSE(state.signedIn());
    EXPECT_EQ(tp.desktop->broughtToFront, 1);

    for (const auto& [reply, verdict] : {std::pair{LoopbackHttpServer::Response{200, "{}"}, "accepted"},
                                         {LoopbackHttpServer::Response{200, ""}, ""},
                                         {LoopbackHttpServer::Response{500, "{}"}, ""}}) {
        check(QStringLiteral("key-b"), reply);
        EXPECT_EQ(state.keyState(), verdict);
        EXPECT_EQ(state.keyStatus(), "");
    }

    // Key c's refusal arrives after key d took its place: it says nothing.
    backend.queued = {{403, ""}};
    state.activateKey(QStringLiteral("key-c"));
    state.composeClient().setConfig({backend.origin(), QStringLiteral("key-d")});
    ASSERT_TRUE(WebEngineHarness::waitFor([&] { return backend.queued.isEmpty(); }, 5000));
    WebEngineHarness::settle(100);
    EXPECT_EQ(state.keyState(), "");

    state.openSignInPage();
    EXPECT_EQ(tp.desktop->openedUrls, QList<QUrl>{QUrl("http://127.0.0.1:38471/app/?desktop-auth=1")});
    QFile::remove(ComposeClient::configPath());
}

}  // namespace
