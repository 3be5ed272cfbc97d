// The watcher on a scripted player bridge and the virtual clock: reading a
// player's answer, which player is asked, and what is published when.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "ScriptedPlayers.h"
#include "VirtualQueue.h"
#include "nowplaying/NowPlayingWatcher.h"

TEST(NowPlayingWatcher, ReadsTheSevenPiecesOfAnAnswer)
{
    // The whole record from a player's answer is the bridge test's; here the numbers.
    EXPECT_FALSE(NowPlayingWatcher::parseReply("a\nb\n\ntrue\nc\n1", "Music", 0.0)) << "six pieces";
    const std::tuple<const char*, QString, QString, double, double, bool> rows[] = {
        {"spotify milliseconds", "Spotify", "a\nb\nu\ntrue\nc\n215500\n1", 215.5, 1, true},
        {"comma decimals", "Music", "a\nb\n\nfalse\nc\n215,5\n3,5", 215.5, 3.5, false},
        {"whole piece or nothing", "Music", "a\nb\n\nTRUE\nc\n 215\nabc", 0, 0, false},
        {"no number words", "Music", "a\nb\n\n\nc\ninf\nnan", 0, 0, false},
        {"extra pieces ignored", "Music", "a\nb\n\ntrue\nc\n1\n2\n3", 1, 2, true},
    };
    for (const auto& [name, player, text, duration, position, playing] : rows) {
        SCOPED_TRACE(name);
        const TrackInfo track = NowPlayingWatcher::parseReply(text, player, 0.0).value_or(TrackInfo{});
        EXPECT_EQ(std::tuple(track.durationS, track.positionS, track.playing), std::tuple(duration, position, playing));
    }
    for (const auto& [seconds, key] : std::vector<std::pair<double, QString>>{
             {215.5, "216"}, {0.5, "1"}, {-0.5, "-1"}, {-0.4, "0"}, {2.4999, "2"}, {1e300, "0"}, {std::nan(""), "0"}})
        EXPECT_EQ((TrackInfo{"t", "a", "b", "", seconds}).key(), "t|a|b|" + key) << seconds;
}

TEST(NowPlayingWatcher, AsksOnceAPollAndPublishesEveryAnswer)
{
    VirtualClock clock;
    VirtualQueue queue{clock};
    ScriptedPlayers players;
    NowPlayingWatcher watcher{players, queue, clock};
    QSignalSpy assigned{&watcher, &NowPlayingWatcher::trackAssigned};
    // Which player is asked first is the bridge test's.
    players.running = {"Music"};
    watcher.start();
    watcher.start();  // no second timer
    ASSERT_EQ(players.queries.size(), 1);
    players.answer({});  // stopped: no text
    for (int poll = 0; poll < 2; ++poll) {
        queue.advance(NowPlayingWatcher::kPollInterval);
        ASSERT_TRUE(players.answerText("Song\nBand\n\ntrue\nRecord\n215.5\n12.25"));
    }
    EXPECT_EQ(assigned.size(), 3);  // the same song is published again
    queue.advance(NowPlayingWatcher::kPollInterval);
    players.answer({true, -600, std::nullopt, {}});
    EXPECT_FALSE(watcher.track());
    EXPECT_FALSE(watcher.permissionHint()) << "only a refusal gives the hint";

    // No player while the track is absent publishes nothing. (Not needed, nothing is
    // asked: the lyric sync test, with the lyrics off and the panel hidden.)
    players.running.clear();
    queue.advance(NowPlayingWatcher::kPollInterval);
    EXPECT_EQ(assigned.size(), 4);
}
