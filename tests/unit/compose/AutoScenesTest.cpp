// Automatic scenes built from their seams on the virtual clock: a scripted player,
// lyrics from a loopback service, and a page that is not ready, so each scene
// request ends at once and only the prompt, the log line and the source remain.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "compose/AutoScenes.h"
#include "compose/ComposeClient.h"
#include "compose/SceneGenerator.h"
#include "nowplaying/LyricSync.h"
#include "nowplaying/LyricsFetcher.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "wallpaper/WallpaperPlacement.h"

namespace {

struct Rig {
    explicit Rig(bool withLyrics)
    {
        if (withLyrics)
            lyrics.fallback = {200, R"({"syncedLyrics":"[00:10.00]hello\n[00:20.00]world"})"};
        placement.place({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
        tp.players->running = {"Music"};
    }
    // The player reports a playing song; its lyrics, if any, are waited for.
    void play(double duration, double position)
    {
        watcher.poll();
        EXPECT_TRUE(tp.players->answerText(QStringLiteral("Song\nBand\n\ntrue\nRecord\n%1\n%2").arg(duration).arg(position)));
        tp.queue->runPending();
        if (lyrics.fallback.status == 200) {
            EXPECT_TRUE(WebEngineHarness::waitFor([&] { return !sync.lyricLines().isEmpty(); }, 5000));
        }
    }
    QString lastLog() const { return tp.log->lines.value(tp.log->lines.size() - 1); }

    LoopbackHttpServer lyrics;
    TestPlatform tp;
    WallpaperPlacement placement{*tp.host, *tp.queue, *tp.clock, *tp.log};
    NowPlayingWatcher watcher{*tp.players, *tp.queue, *tp.clock};
    LyricsFetcher fetcher{*tp.network, *tp.queue, lyrics.url()};
    LyricSync sync{*tp.settings, *tp.clock, *tp.queue, watcher, fetcher, placement};
    ComposeClient client{*tp.network, *tp.queue, {}};
    SceneGenerator generator{client, placement};
    AutoScenes autos{*tp.settings, *tp.clock, *tp.log, watcher, sync, placement, generator};
    QSignalSpy source{&autos, &AutoScenes::sourceChanged};
};

const QString kSongPrompt = QStringLiteral(R"(a bold audio-reactive scene for the song "Song" by Band, 120 BPM)");

}  // namespace

TEST(AutoScenes, SongPromptWaitsForLyricsThenRepeatsAtThePaceWithVary)
{
    struct Row {
        const char* name;
        int pace;
        double seconds;
    };
    for (const Row& row : {Row{"pace 5 counts as 2", 5, 15.0}, Row{"pace -1 counts as 0", -1, 60.0}}) {
        SCOPED_TRACE(row.name);
        Rig rig(false);
        rig.tp.settings->setValue(QStringLiteral("auto.pace"), row.pace);
        rig.play(215.5, 30.0);
        rig.autos.check(120.4);
        rig.tp.queue->advance(AutoScenes::kLyricsWait - 0.01);
        rig.autos.check(120.4);
        EXPECT_TRUE(rig.tp.log->lines.isEmpty()) << "no lyrics yet, and less than six seconds";
        rig.tp.queue->advance(0.01);
        rig.autos.check(120.4);
        EXPECT_EQ(rig.lastLog(), QStringLiteral("[vesmer] auto-scene: ") + kSongPrompt);
        EXPECT_EQ(rig.generator.lastScenePrompt(), kSongPrompt);
        EXPECT_EQ(rig.source.last().value(0), QStringLiteral("Song — Band"));

        rig.tp.queue->advance(row.seconds);
        rig.autos.check(120.4);
        EXPECT_EQ(rig.tp.log->lines.size(), 1) << "exactly the pace is not enough";
        rig.tp.queue->advance(0.01);
        rig.autos.check(120.4);
        EXPECT_EQ(rig.lastLog(), QStringLiteral("[vesmer] auto-scene (vary): ") + kSongPrompt);
    }
}

TEST(AutoScenes, LyricContextAndTheSongsItPaces)
{
    Rig rig(true);
    struct Row {
        const char* name;
        double duration, position;
        const char* context;
    };
    // Each song plays right after the scene of the one before: a different song has
    // no pace, even one whose key the previous song's key begins with.
    for (const Row& row : {Row{"current and next", 216, 12, "hello / world"},
                           Row{"the last line wraps to the first", 21, 25, "world / hello"},
                           Row{"before the first line", 200, 5, "hello"}}) {
        SCOPED_TRACE(row.name);
        rig.play(row.duration, row.position);
        rig.autos.check(99.5);
        EXPECT_EQ(rig.lastLog(), QStringLiteral(R"([vesmer] auto-scene: a scene interpreting this lyric: "%1" — from "Song" by Band, 100 BPM)")
                                     .arg(QLatin1String(row.context)));
        EXPECT_EQ(rig.source.last().value(0), QLatin1String(row.context));
    }

    // The same song again: a scheduled cover scene starts its pace, and a
    // composition in flight or the setting turned off hold its next scene back.
    const qsizetype scenes = rig.tp.log->lines.size();
    rig.autos.coverScheduled(rig.watcher.track()->key());
    rig.tp.queue->advance(29.0);
    rig.autos.check(0.0);
    rig.tp.queue->advance(2.0);
    rig.generator.setInFlight(true);
    rig.autos.check(0.0);
    rig.generator.setInFlight(false);
    rig.tp.settings->setValue(QStringLiteral("auto.scenes"), false);
    rig.autos.check(0.0);
    EXPECT_EQ(rig.tp.log->lines.size(), scenes);
    rig.tp.settings->setValue(QStringLiteral("auto.scenes"), true);
    rig.autos.check(0.0);
    EXPECT_EQ(rig.lastLog(), QStringLiteral(R"([vesmer] auto-scene: a scene interpreting this lyric: "world / hello" — from "Song" by Band)"));
}
