// A song's cover and lyrics become scenes with real parts: the test MPRIS player on
// the private bus, the shipped visuals page in the web engine, the real composer,
// and covers and lyrics from loopback servers. The cover arrives once as a file
// URL (as local players hand it over) and once over HTTP.
#include <QBuffer>
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

namespace {

// Three bands of colour, so that the page finds a palette in it.
QByteArray coverJpeg()
{
    QImage image(600, 600, QImage::Format_RGB32);
    const QColor bands[] = {QColor(200, 40, 60), QColor(30, 90, 200), QColor(240, 200, 40)};
    for (int band = 0; band < 3; ++band)
        for (int y = band * 200; y < (band + 1) * 200; ++y)
            for (int x = 0; x < 600; ++x)
                image.setPixelColor(x, y, bands[band]);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg");
    return bytes;
}

QString statusCompose(AppState& state)
{
    QFile file(state.statusURL());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("compose")).toString();
}

}  // namespace

TEST(CoverSceneFlow, CoverThenLyricsBecomeScenes)
{
    composer::test::LiveServer composer;
    LoopbackHttpServer lrclib;
    lrclib.fallback = {200, R"({"syncedLyrics":"[00:00.50]first light\n[01:40.00]open sky"})"};
    LoopbackHttpServer covers;
    covers.fallback = {200, coverJpeg(), "image/jpeg"};
    QTemporaryDir dir;
    QFile coverFile(dir.filePath("cover.jpg"));
    ASSERT_TRUE(coverFile.open(QIODevice::WriteOnly));
    coverFile.write(covers.fallback.body);
    coverFile.close();
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

    const QString fileUrl = QUrl::fromLocalFile(coverFile.fileName()).toString();
    const QString httpUrl = covers.origin() + QStringLiteral("/files/cover.jpg");
    for (const QString& cover : {fileUrl, httpUrl}) {
        SCOPED_TRACE(cover.toStdString());
        state.setComposeStatus(QString());
        ASSERT_TRUE(waitFor([&] { return statusCompose(state) != QStringLiteral("✓ from the cover"); }, 10000));
        player.change([&](TestMprisPlayer::State& s) {
            s.metadata = TestMprisPlayer::track(QStringLiteral("Song from ") + cover.left(4), {"Band"}, "Record",
                                                200'000'000, cover);
            s.status = QStringLiteral("Playing");
            s.positionUs = 2'000'000;
        });
        EXPECT_TRUE(waitFor([&] { return statusCompose(state) == QStringLiteral("✓ from the cover"); }, 60000))
            << statusCompose(state).toStdString();
        EXPECT_EQ(state.autoSource(), QStringLiteral("album art — Song from ") + cover.left(4));
    }
    EXPECT_EQ(covers.requests.size(), 1);

    // The lyric scene comes one pace (15 s) after the cover scene.
    EXPECT_TRUE(waitFor([&] { return state.composeStatus() == QStringLiteral("✓ live"); }, 60000))
        << state.composeStatus().toStdString();
    EXPECT_EQ(state.autoSource(), QStringLiteral("first light / open sky"));
    EXPECT_EQ(state.lastScenePrompt(),
              QStringLiteral(R"(a scene interpreting this lyric: "first light / open sky" — from "Song from http" by Band)"));
}
