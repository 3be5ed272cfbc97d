// The whole road of a prompt: the app's client signs in to a real vesmer-composer
// with a fresh key database, composes a scene, and the shipped visuals page in
// the web engine draws it; the status file then says so.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"
#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "compose/ComposeClient.h"
#include "platform/qt/QtWallpaperHost.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using WebEngineHarness::waitFor;

namespace {

void writeConfig(const QString& baseUrl)
{
    QDir().mkpath(QFileInfo(ComposeClient::configPath()).absolutePath());
    QFile config(ComposeClient::configPath());
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QJsonDocument(QJsonObject{{"baseUrl", baseUrl}}).toJson());
}

QString runComposer(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VESMER_COMPOSER_PROGRAM), arguments);
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace

TEST(ComposeFlow, APromptBecomesALiveSceneOnTheShippedPage)
{
    QTemporaryDir dir;
    const QString db = dir.filePath("keys.sqlite");
    const QString key = runComposer({"keys", "issue", "--db", db});
    ASSERT_FALSE(key.isEmpty());
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(composer::test::freeLoopbackPort());
    QProcess composer;
    composer.start(QStringLiteral(VESMER_COMPOSER_PROGRAM),
                   {"--listen", origin.mid(7), "--db", db, "--lexicon", QStringLiteral(VESMER_COMPOSER_LEXICON)});
    composer::test::Http http(origin);
    ASSERT_TRUE(waitFor([&] { return http.get("/healthz").status == 200; }, 10000));
    writeConfig(origin);

    TestPlatform tp;
    Platform platform = tp.takeOnRealTime();
    platform.wallpaperHost = std::make_unique<QtWallpaperHost>();
    AppState state(std::move(platform));
    state.activateKey(key);
    EXPECT_TRUE(waitFor([&] { return state.keyState() == "accepted"; }, 10000));

    state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, true);
    auto& page = dynamic_cast<QtWebPage&>(state.wallpaper()->page());
    ASSERT_TRUE(WebEngineHarness::waitReady(page));
    state.generateScene(QStringLiteral("deep sea bloom, slow and blue"), false);
    ASSERT_TRUE(waitFor([&] { return !state.composeInFlight(); }, 30000));
    EXPECT_EQ(state.composeStatus(), "✓ live");
    EXPECT_EQ(state.themeName(), "AI scene");
    // Written every 2 s while the wallpaper captures.
    EXPECT_TRUE(waitFor([&] {
        QFile status(state.statusURL());
        return status.open(QIODevice::ReadOnly) && QJsonDocument::fromJson(status.readAll())["compose"].toString() == QStringLiteral("✓ live");
    }, 10000));

    // A graph carrying U+2028 and a closing script tag in its name reaches the
    // page unchanged.
    LoopbackHttpServer backend;
    QJsonObject graph = QJsonDocument::fromJson(WebEngineHarness::evaluate(page, "vesmerLastGraph()")->value->toUtf8()).object();
    const QString name = QStringLiteral("line\u2028break </script><b>");
    graph.insert("name", name);
    backend.fallback = {200, QJsonDocument(QJsonObject{{"graph", graph}}).toJson()};
    state.composeClient().setConfig({backend.origin(), key});
    state.generateScene(QStringLiteral("again"), false);
    ASSERT_TRUE(waitFor([&] { return !state.composeInFlight(); }, 30000));
    EXPECT_EQ(state.composeStatus(), "✓ live");
    const auto last = WebEngineHarness::evaluate(page, "vesmerLastGraph()");
    ASSERT_TRUE(last && last->value);
    EXPECT_EQ(QJsonDocument::fromJson(last->value->toUtf8())["name"].toString(), name);

    composer.terminate();
    composer.waitForFinished(5000);
}
