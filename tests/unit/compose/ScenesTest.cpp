// Scene generation, presets and sign-in through the app state, against a
// scripted backend on loopback and a fake page that answers as the test says.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "compose/ComposeClient.h"
#include "wallpaper/PageCalls.h"

namespace {

const QString kDescription = QStringLiteral(R"({"spec":{},"schema":{}})");

QString graphText(int n) { return QStringLiteral(R"({"g":%1})").arg(n); }

QString logText()
{
    QFile file(AppState::logURL());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// An app state on the settings file at `path`, as after a restart.
AppState restartedOn(const QString& path)
{
    TestPlatform doubles;
    Platform platform = doubles.take();
    platform.settings = std::make_unique<Settings>(path);
    return AppState(std::move(platform));
}

class ScenesTest : public ::testing::Test {
protected:
    ScenesTest()
    {
        tp.host->replies = {{PageCalls::sceneDescription(), {kDescription, {}}}, {PageCalls::lastGraph(), {QStringLiteral("null"), {}}}};
        state.composeClient().setConfig({backend.origin(), QStringLiteral("k")});
    }
    void showWallpaper()
    {
        state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
        tp.queue->advance(2.0);
    }
    FakePage& page() { return tp.host->last()->fakePage; }
    // Generates with the backend answering graph i and the page answering verdicts[i].
    void generate(const QString& prompt, const QStringList& verdicts, bool vary = false)
    {
        for (int i = 0; i < verdicts.size(); ++i) {
            page().replies.insert(PageCalls::applyGraph(graphText(i)), {verdicts[i], {}});
            backend.queued << LoopbackHttpServer::Response{200, "{\"graph\":" + graphText(i).toUtf8() + "}"};
        }
        state.generateScene(prompt, vary);
        ASSERT_TRUE(WebEngineHarness::waitFor([&] {
            tp.queue->runPending();
            return !state.composeInFlight();
        }, 10000));
    }

    LoopbackHttpServer backend;
    TestPlatform tp;
    AppState state{tp.take()};
};

TEST_F(ScenesTest, GenerationNeedsAPromptAndAReadyPageAndAsksTwiceMoreAfterGuardedVerdicts)
{
    // Without a wallpaper it says so (the panel test); a blank prompt does nothing at all.
    showWallpaper();
    state.generateScene(QStringLiteral(" \n "), false);
    EXPECT_EQ(state.composeStatus(), QString());

    // A page without its scene description is not ready; the flag is cleared all the same.
    page().replies.remove(PageCalls::sceneDescription());
    generate(QStringLiteral("sea"), {});
    EXPECT_EQ(state.composeStatus(), "visuals not ready yet");
    EXPECT_TRUE(backend.requests.isEmpty());

    // A failed exchange is shown as it is and not retried.
    page().replies.insert(PageCalls::sceneDescription(), {kDescription, {}});
    backend.queued << LoopbackHttpServer::Response{401, R"({"error":"x"})"};
    generate(QStringLiteral("sea"), {});
    EXPECT_EQ(state.composeStatus(), "sign in to generate — your session may have expired");
    EXPECT_EQ(backend.requests.size(), 1);
    EXPECT_TRUE(logText().contains("gen FAIL try=0 vary=false \"sea\" \u2192 sign in to generate"));

    // Guarded verdicts: two more tries, each for a fresh graph.
    backend.requests.clear();
    QStringList statuses;
    QObject::connect(&state, &AppState::composeStatusChanged, [&] { statuses << state.composeStatus(); });
    const QString prompt(70, QLatin1Char('p'));
    generate("  " + prompt + "  ", {"guard: too costly", "drawn with fallback", "guard again"}, true);

    ASSERT_EQ(backend.requests.size(), 3);
    for (const auto& request : backend.requests) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        EXPECT_EQ(QJsonArray({body["prompt"], body["vary"], body["fresh"]}), QJsonArray({prompt, true, true}));
        EXPECT_TRUE(body["lastGraph"].isNull());
    }
    EXPECT_EQ(statuses, (QStringList{"composing…", "reworking…", "couldn’t shape that one — try again or rephrase"}));
    EXPECT_TRUE(logText().contains("gen try=2 vary=true \"" + prompt.left(60) + "\" \u2192 guard again (graph 7B)"));

    // "ok" on the second try: live, no third request; "OK" is just a message.
    backend.requests.clear();
    generate(QStringLiteral("sea"), {"fallback", "ok"});
    EXPECT_EQ(backend.requests.size(), 2);
    EXPECT_EQ(state.composeStatus(), "✓ live");
    EXPECT_EQ(state.themeName(), "AI scene");
    state.setThemeName(QStringLiteral("Aurora"));
    generate(QStringLiteral("sea"), {"OK"});
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

    page().replies.insert(PageCalls::applyGraph(graphText(0)), {QStringLiteral("ok"), {}});
    state.applyPreset(state.presets()[0]);
    EXPECT_EQ(state.composeStatus(), "▶ Scene 2");

    // The stored form: ids upper-case, the graph as a string; read back after a restart.
    const QJsonDocument stored = QJsonDocument::fromJson(tp.settings->value("presets").toByteArray());
    EXPECT_EQ(stored[0]["id"].toString(), stored[0]["id"].toString().toUpper());
    EXPECT_EQ(stored[0]["graph"], graphText(0));
    EXPECT_EQ(restartedOn(tp.settings->fileName()).presets(), state.presets());
}

TEST(PresetStore, UnreadableBlobsStartEmptyButAreKept)
{
    for (const QByteArray& blob : {QByteArray("\x93\x01garbage\xff", 11),
                                   QByteArray(R"([{"id":"6B29FC40-CA47-1067-B31D-00DD010662DA","name":"a","graph":"{}"},)"
                                              R"({"id":"6b29fc40-ca47-1067-b31d-00dd010662da","name":"b"}])"),
                                   QByteArray(R"([{"id":"nope","name":"a","graph":"{}"}])")}) {
        TestPlatform tp;
        tp.settings->setValue("presets", blob);
        const AppState state(tp.take());
        EXPECT_TRUE(state.presets().isEmpty());
        EXPECT_EQ(tp.settings->value("presets.unreadable").toByteArray(), blob);
        // Kept once: the next unreadable load leaves that copy alone.
        tp.settings->setValue("presets", QByteArray("[{}]"));
        restartedOn(tp.settings->fileName());
        EXPECT_EQ(Settings(tp.settings->fileName()).value("presets.unreadable").toByteArray(), blob);
    }
    // Either case of id is read.
    EXPECT_EQ(Presets::decode(R"([{"id":"6b29fc40-ca47-1067-b31d-00dd010662da","name":"a","graph":"{}"}])"),
              (QList<Preset>{{QUuid("{6B29FC40-CA47-1067-B31D-00DD010662DA}"), "a", "{}"}}));
}

TEST_F(ScenesTest, KeyChecksGiveVerdictsOnlyForTheKeyStillConfigured)
{
    QDir().mkpath(QFileInfo(ComposeClient::configPath()).absolutePath());
    QFile config(ComposeClient::configPath());
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"({"baseUrl":")" + backend.origin().toUtf8() + "\"}");
    config.close();
    // Activates `key` (after `then`) and lets the reply be handled.
    const auto check = [&](const QString& key, LoopbackHttpServer::Response reply, const std::function<void()>& then = {}) {
        backend.queued = {reply};
        state.activateKey(key);
        if (then)
            then();
        ASSERT_TRUE(WebEngineHarness::waitFor([&] { return backend.queued.isEmpty(); }, 5000));
        WebEngineHarness::settle(100);
    };

    // Storing the key and coming to the front are the launch test's; a refusal (invalid, signed out, its note) the
    // panel test's.
    for (const auto& [reply, verdict] : {std::pair{LoopbackHttpServer::Response{200, "{}"}, QString("accepted")},
                                         {LoopbackHttpServer::Response{200, ""}, QString()},
                                         {LoopbackHttpServer::Response{500, "{}"}, QString()}}) {
        check(QStringLiteral("key-a\n"), reply);
        EXPECT_EQ(backend.requests.last().headers.value("x-app-key"), "key-a");
        EXPECT_EQ(state.keyState(), verdict);
        EXPECT_TRUE(state.signedIn() && state.keyStatus().isEmpty());
    }

    // Key c's refusal arrives after key d took its place: it says nothing.
    check(QStringLiteral("key-c"), {403, ""}, [&] { state.composeClient().setConfig({backend.origin(), "key-d"}); });
    EXPECT_EQ(state.keyState(), "");

    state.openSignInPage();
    EXPECT_EQ(tp.desktop->openedUrls, QList<QUrl>{QUrl("http://127.0.0.1:38471/app/?desktop-auth=1")});
    QFile::remove(ComposeClient::configPath());
}

}  // namespace
