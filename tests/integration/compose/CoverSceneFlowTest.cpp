// A song's cover, served over HTTP, becomes the scene with real parts: the test
// MPRIS player on the private bus, the shipped page in the web engine (palette and
// verdict) and the real composer. The file-URL cover and the lyric scene after it
// are the end-to-end suite's.
#include <QBuffer>
#include <QImage>
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

TEST(CoverSceneFlow, AnHttpCoverBecomesTheScene)
{
    composer::test::LiveServer composer;
    QImage image(300, 300, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 60));
    QBuffer cover;
    ASSERT_TRUE(cover.open(QIODevice::WriteOnly) && image.save(&cover, "jpeg"));
    LoopbackHttpServer covers;
    covers.fallback = {200, cover.data(), "image/jpeg"};
    TestMprisPlayer player(QStringLiteral("org.mpris.MediaPlayer2.testmusic"));
    ASSERT_TRUE(player.registered());

    TestPlatform tp;
    Platform platform = tp.takeOnRealTime();
    platform.wallpaperHost = std::make_unique<QtWallpaperHost>();
    platform.players = std::make_unique<MprisPlayerBridge>(*platform.clock);
    AppState state(std::move(platform));
    state.composeClient().setConfig({composer.base(), composer.issueKey()});
    state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 480, 270)}, true);
    ASSERT_TRUE(WebEngineHarness::waitReady(dynamic_cast<QtWebPage&>(state.wallpaper()->page())));
    state.startNowPlaying();
    player.change([&](TestMprisPlayer::State& s) {
        s.metadata = TestMprisPlayer::track("Song", {"Band"}, "Record", 200'000'000, covers.origin() + "/files/c.jpg");
        s.status = QStringLiteral("Playing");
    });
    EXPECT_TRUE(WebEngineHarness::waitFor([&] { return state.composeStatus() == QStringLiteral("✓ from the cover"); }, 60000))
        << state.composeStatus().toStdString();
    EXPECT_EQ(state.autoSource(), QStringLiteral("album art — Song"));
    EXPECT_EQ(covers.requests.size(), 1);
}
