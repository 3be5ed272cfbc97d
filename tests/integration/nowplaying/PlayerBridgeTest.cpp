// The MPRIS bridge and the watcher against test players on the private session
// bus: which player is asked, what its answer becomes, and players that refuse,
// never answer, or report position 0 all along.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "TestMprisPlayer.h"
#include "VirtualQueue.h"
#include "WebEngineHarness.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "platform/mpris/MprisPlayerBridge.h"

using WebEngineHarness::waitFor;

namespace {

const QString kMusicName = QStringLiteral("org.mpris.MediaPlayer2.testmusic");

struct Bridged {
    VirtualClock clock;
    VirtualQueue queue{clock};
    MprisPlayerBridge bridge{clock};
    NowPlayingWatcher watcher{bridge, queue, clock};

    std::optional<TrackInfo> poll()
    {
        QSignalSpy assigned(&watcher, &NowPlayingWatcher::trackAssigned);
        watcher.poll();
        EXPECT_TRUE(!assigned.isEmpty() || assigned.wait(5000));
        return watcher.track();
    }
    bool running(const char* player, bool expected = true)
    {
        return waitFor([&] { return bridge.isRunning(player) == expected; }, 5000);
    }
};

}  // namespace

TEST(PlayerBridge, SpotifyFirstAndPlayersThatComeAndGo)
{
    Bridged b;
    TestMprisPlayer music(kMusicName);
    ASSERT_TRUE(music.registered());
    music.setTrack(QStringLiteral("Line\nfeed\r☃"), {QStringLiteral("Ärtist"), QStringLiteral("二人目")},
                   QStringLiteral("Álbum"), 215'500'000, QStringLiteral("file:///cover.png"));
    music.setStatus("Playing");
    music.setPositionUs(12'250'000);
    ASSERT_TRUE(b.running("Music"));
    EXPECT_EQ(b.poll(), (TrackInfo{"Line feed ☃", "Ärtist, 二人目", "Álbum", "file:///cover.png", 215.5, 12.25, true,
                                   "Music", b.clock.now()}));

    auto spotify = std::make_unique<TestMprisPlayer>(MprisPlayerBridge::kSpotifyBusName);
    ASSERT_TRUE(b.running("Spotify"));
    EXPECT_EQ(b.poll(), std::nullopt) << "a stopped Spotify wins over a playing other player";

    // No length; position 0 all along: after 3 s of playing the bridge's own clock
    // stands in; it holds while paused and follows a seek.
    spotify->setTrack("S", {"A"}, "", 0);
    spotify->setStatus("Playing");
    EXPECT_EQ(b.poll()->durationS, 0.0);
    b.clock.advance(MprisPlayerBridge::kZeroPositionGrace);
    EXPECT_EQ(b.poll()->positionS, 0.0);
    b.clock.advance(1.0);
    EXPECT_EQ(b.poll()->positionS, MprisPlayerBridge::kZeroPositionGrace + 1.0);
    spotify->setStatus("Paused");
    const double held = b.poll()->positionS;
    b.clock.advance(10.0);
    EXPECT_EQ(b.poll()->positionS, held);
    spotify->seek(60'000'000);
    spotify->setPositionUs(0);
    EXPECT_TRUE(waitFor([&] { return b.poll()->positionS == 60.0; }, 5000));

    spotify.reset();
    ASSERT_TRUE(b.running("Spotify", false));
    EXPECT_EQ(b.poll()->source, QStringLiteral("Music"));
}

TEST(PlayerBridge, RefusedAndSilentPlayers)
{
    Bridged b;
    TestMprisPlayer music(kMusicName);
    music.setMode(TestMprisPlayer::Mode::Refuse);
    ASSERT_TRUE(b.running("Music"));
    EXPECT_EQ(b.poll(), std::nullopt);
    EXPECT_EQ(b.watcher.permissionHint(),
              "Allow Vesmer to read Music: it needs access to the session bus name " + kMusicName);

    // Polls go on while the player never answers; one query is out at a time.
    music.setMode(TestMprisPlayer::Mode::Silent);
    b.watcher.start();
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < 5; ++i) {
        b.queue.advance(NowPlayingWatcher::kPollInterval);
        WebEngineHarness::settle(100);
    }
    EXPECT_LT(elapsed.elapsed(), 3000);
    EXPECT_EQ(music.getAllCalls(), 2);  // the refused one and the one still out
}
