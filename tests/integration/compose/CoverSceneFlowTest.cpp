// A song's cover and lyrics become scenes with real parts: the test MPRIS player on
// the private bus, the shipped page in the web engine, the real composer, and
// covers and lyrics from loopback servers. The cover comes once as a file URL (as
// local players hand it over) and once over HTTP.
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"
#include "LoopbackHttpServer.h"
#include "TestMprisPlayer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "compose/ComposeClient.h"
#include "platform/mpris/MprisPlayerBridge.h"
#include "platform/qt/QtWallpaperHost.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using WebEngineHarness::waitFor;

TEST(CoverSceneFlow, CoverThenLyricsBecomeScenes)
{
    composer::test::LiveServer composer;
    LoopbackHttpServer lrclib;
    lrclib.fallback = {200, R"({"syncedLyrics":"[00:00.50]first light\n[01:40.00]open sky"})"};
    QTemporaryDir dir;
    QImage image(300, 300, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 60));
    ASSERT_TRUE(image.save(dir.filePath("cover.jpg"), "jpeg"));
    QFile coverFile(dir.filePath("cover.jpg"));
    ASSERT_TRUE(coverFile.open(QIODevice::ReadOnly));
    LoopbackHttpServer covers;
    covers.fallback = {200, coverFile.readAll(), "image/jpeg"};
    TestMprisPlayer player(QStringLiteral("org.mpris.MediaPlayer2.testmusic"));
    ASSERT_TRUE(player.registered());

    TestPlatform tp;
    Platform platform = tp.takeOnRealTime();
    platform.wallpaperHost = std::make_unique<QtWallpaperHost>();
    platform.players = std::make_unique<MprisPlayerBridge>(*platform.clock);
    platform.lyricsService = lrclib.url();
    AppState state(std::move(platform));
    state.composeClient().setConfig({composer.base(), composer.issueKey()});
    tp.settings->setValue(QStringLiteral("auto.pace"), 2);
    state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 480, 270)}, true);
    ASSERT_TRUE(WebEngineHarness::waitReady(dynamic_cast<QtWebPage&>(state.wallpaper()->page())));
    state.startNowPlaying();
    const auto statusFileCompose = [&] {
        QFile file(state.statusURL());
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("compose")).toString();
    };

    const QString done = QStringLiteral("✓ from the cover");
    for (const QString& cover : {QUrl::fromLocalFile(coverFile.fileName()).toString(), covers.origin() + "/files/c.jpg"}) {
        SCOPED_TRACE(cover.toStdString());
        state.setComposeStatus(QString());
        ASSERT_TRUE(waitFor([&] { return statusFileCompose() != done; }, 10000));
        const QString title = QStringLiteral("Song from ") + cover.left(4);
        player.change([&](TestMprisPlayer::State& s) {
            s.metadata = TestMprisPlayer::track(title, {"Band"}, "Record", 200'000'000, cover);
            s.status = QStringLiteral("Playing");
            s.positionUs = 2'000'000;
        });
        EXPECT_TRUE(waitFor([&] { return statusFileCompose() == done; }, 60000)) << statusFileCompose().toStdString();
        EXPECT_EQ(state.autoSource(), QStringLiteral("album art — ") + title);
    }
    EXPECT_EQ(covers.requests.size(), 1);

    // The lyric scene comes one pace (15 s) after the cover scene.
    EXPECT_TRUE(waitFor([&] { return state.composeStatus() == QStringLiteral("✓ live"); }, 60000))
        << state.composeStatus().toStdString();
    EXPECT_EQ(state.autoSource(), QStringLiteral("first light / open sky"));
    EXPECT_EQ(state.lastScenePrompt(),
              QStringLiteral(R"(a scene interpreting this lyric: "first light / open sky" — from "Song from http" by Band)"));
}
