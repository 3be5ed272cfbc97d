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
using State = TestMprisPlayer::State;

namespace {

const QString kMusicName = QStringLiteral("org.mpris.MediaPlayer2.testmusic");

struct Bridged {
    VirtualClock clock;
    VirtualQueue queue{clock};
    MprisPlayerBridge bridge{clock};
    NowPlayingWatcher watcher{bridge, queue, clock};

    TrackInfo poll()  // an empty record when none was published
    {
        QSignalSpy assigned(&watcher, &NowPlayingWatcher::trackAssigned);
        watcher.poll();
        EXPECT_TRUE(!assigned.isEmpty() || assigned.wait(5000));
        return watcher.track().value_or(TrackInfo{});
    }
    bool running(const char* player, bool expected = true)
    {
        return waitFor([&] { return bridge.isRunning(player) == expected; }, 5000);
    }
};

}  // namespace

TEST(PlayerBridge, SpotifyFirstPlayersThatComeAndGoRefuseOrNeverAnswer)
{
    Bridged b;
    TestMprisPlayer music(kMusicName);
    music.change([](State& s) {
        s.metadata = TestMprisPlayer::track("Line\nfeed\r☃", {"Ärtist", "二人目"}, "Álbum", 215'500'000, "file:///c.png");
        s.status = "Playing";
        s.positionUs = 12'250'000;
    });
    ASSERT_TRUE(b.running("Music"));
    EXPECT_EQ(b.poll(), (TrackInfo{"Line feed ☃", "Ärtist, 二人目", "Álbum", "file:///c.png", 215.5, 12.25, true, "Music",
                                   b.clock.now()}));

    auto spotify = std::make_unique<TestMprisPlayer>(MprisPlayerBridge::kSpotifyBusName);
    ASSERT_TRUE(b.running("Spotify"));
    EXPECT_EQ(b.poll(), TrackInfo{}) << "a stopped Spotify wins over a playing other player";

    // No length, and position 0 all along: after the grace time the bridge's own
    // clock stands in; it holds while paused and follows a seek.
    spotify->change([](State& s) {
        s.metadata = TestMprisPlayer::track("S", {"A"}, "", 0);
        s.status = "Playing";
    });
    EXPECT_EQ(b.poll().durationS, 0.0);
    b.clock.advance(MprisPlayerBridge::kZeroPositionGrace);
    EXPECT_EQ(b.poll().positionS, 0.0);
    b.clock.advance(1.0);
    EXPECT_EQ(b.poll().positionS, MprisPlayerBridge::kZeroPositionGrace + 1.0);
    spotify->change([](State& s) { s.status = "Paused"; });
    const double held = b.poll().positionS;
    b.clock.advance(10.0);
    EXPECT_EQ(b.poll().positionS, held);
    spotify->sendSeeked(60'000'000);
    EXPECT_TRUE(waitFor([&] { return b.poll().positionS == 60.0; }, 5000));

    spotify.reset();
    ASSERT_TRUE(b.running("Spotify", false));
    EXPECT_EQ(b.poll().source, QStringLiteral("Music"));

    music.change([](State& s) { s.mode = TestMprisPlayer::Mode::Refuse; });
    EXPECT_EQ(b.poll(), TrackInfo{});
    EXPECT_EQ(b.watcher.permissionHint(),
              "Allow Vesmer to read Music: it needs access to the session bus name " + kMusicName);

    // Polls go on while the player never answers, without waiting for it; one
    // query is out at a time.
    music.change([](State& s) { s.mode = TestMprisPlayer::Mode::Silent; });
    const int asked = music.state().getAllCalls;
    b.watcher.start();
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < 5; ++i) {
        b.queue.advance(NowPlayingWatcher::kPollInterval);
        WebEngineHarness::settle(100);
    }
    EXPECT_LT(elapsed.elapsed(), 3000);
    EXPECT_EQ(music.state().getAllCalls, asked + 1);  // the one still out
}
