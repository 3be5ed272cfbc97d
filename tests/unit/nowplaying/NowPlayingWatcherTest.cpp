// The watcher on a scripted player bridge and the virtual clock: reading a
// player's answer, which player is asked, and what is published when.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "ScriptedPlayers.h"
#include "VirtualQueue.h"
#include "nowplaying/NowPlayingWatcher.h"

namespace {

const QString kMusic = QStringLiteral("Song\nBand\n\ntrue\nRecord\n215.5\n12.25");

struct Watched {
    VirtualClock clock;
    VirtualQueue queue{clock};
    ScriptedPlayers players;
    NowPlayingWatcher watcher{players, queue, clock};
    QSignalSpy assigned{&watcher, &NowPlayingWatcher::trackAssigned};
};

}  // namespace

TEST(NowPlayingWatcher, ReadsTheSevenPiecesOfAnAnswer)
{
    const auto music = NowPlayingWatcher::parseReply(kMusic, "Music", 100.0);
    ASSERT_TRUE(music);
    EXPECT_EQ(*music, (TrackInfo{"Song", "Band", "Record", "", 215.5, 12.25, true, "Music", 100.0}));
    EXPECT_EQ(music->key(), QStringLiteral("Song|Band|Record|216"));

    struct Row {
        const char* name;
        QString player, text;
        double duration, position;
        bool playing;
    };
    const Row rows[] = {
        {"spotify milliseconds", "Spotify", "a\nb\nu\ntrue\nc\n215500\n1", 215.5, 1, true},
        {"comma decimals", "Music", "a\nb\n\nfalse\nc\n215,5\n3,5", 215.5, 3.5, false},
        {"whole piece or nothing", "Music", "a\nb\n\nTRUE\nc\n 215\nabc", 0, 0, false},
        {"no number words", "Music", "a\nb\n\n\nc\ninf\nnan", 0, 0, false},
        {"extra pieces ignored", "Music", "a\nb\n\ntrue\nc\n1\n2\n3", 1, 2, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto track = NowPlayingWatcher::parseReply(row.text, row.player, 0.0);
        ASSERT_TRUE(track);
        EXPECT_EQ(track->durationS, row.duration);
        EXPECT_EQ(track->positionS, row.position);
        EXPECT_EQ(track->playing, row.playing);
    }
    EXPECT_FALSE(NowPlayingWatcher::parseReply("a\nb\n\ntrue\nc\n1", "Music", 0.0));
    EXPECT_FALSE(NowPlayingWatcher::parseReply("", "Music", 0.0));

    for (const auto& [seconds, key] : std::vector<std::pair<double, QString>>{
             {0.5, "1"}, {-0.5, "-1"}, {-0.4, "0"}, {2.4999, "2"}, {1e300, "0"}, {std::nan(""), "0"}})
        EXPECT_EQ((TrackInfo{"t", "a", "b", "", seconds}).key(), "t|a|b|" + key) << seconds;
}

TEST(NowPlayingWatcher, AsksTheFirstRunningPlayerAndPublishesEveryAnswer)
{
    Watched w;
    w.players.running = {"Spotify", "Music"};
    w.watcher.start();
    w.watcher.start();  // no second timer
    ASSERT_EQ(w.players.queries.size(), 1);
    EXPECT_EQ(w.players.queries[0].player, QStringLiteral("Spotify"));  // even when stopped
    w.players.answer({});                                               // stopped: no text
    EXPECT_FALSE(w.watcher.track());

    w.players.running = {"Music"};
    w.queue.advance(NowPlayingWatcher::kPollInterval);
    ASSERT_TRUE(w.players.answerText(kMusic));
    w.queue.advance(NowPlayingWatcher::kPollInterval);
    ASSERT_TRUE(w.players.answerText(kMusic));
    EXPECT_EQ(w.assigned.size(), 3);  // equal songs are published again
    EXPECT_EQ(w.watcher.track()->fetchedAt, w.clock.now());

    // Refused: the hint names the player and its bus name; another error clears it.
    w.queue.advance(NowPlayingWatcher::kPollInterval);
    w.players.answer({true, PlayerReply::kNotPermitted, std::nullopt, "org.mpris.MediaPlayer2.x"});
    EXPECT_EQ(w.watcher.permissionHint(),
              QStringLiteral("Allow Vesmer to read Music: it needs access to the session bus name org.mpris.MediaPlayer2.x"));
    EXPECT_FALSE(w.watcher.track());
    w.queue.advance(NowPlayingWatcher::kPollInterval);
    w.players.answer({true, -600, std::nullopt, {}});
    EXPECT_FALSE(w.watcher.permissionHint());

    // Nobody needs it: no query, the last values stay. No player: absent, once.
    w.watcher.setIsNeeded([] { return false; });
    w.queue.advance(NowPlayingWatcher::kPollInterval);
    EXPECT_TRUE(w.players.queries.isEmpty());
    w.watcher.setIsNeeded([] { return true; });
    w.players.running.clear();
    const qsizetype before = w.assigned.size();
    w.queue.advance(3 * NowPlayingWatcher::kPollInterval);
    EXPECT_EQ(w.assigned.size(), before);  // already absent: nothing published

    w.watcher.stop();
    w.players.running = {"Music"};
    w.queue.advance(10);
    EXPECT_TRUE(w.players.queries.isEmpty());
}
