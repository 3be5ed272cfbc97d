// Automatic scenes built from their seams on the virtual clock: a scripted player,
// lyrics from a loopback service, and a page that is not ready, so that each scene
// request ends at once and leaves its log line and its source.
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
    explicit Rig(const QByteArray& lyricsReply)
    {
        lyrics.fallback = {lyricsReply.isEmpty() ? 404 : 200, lyricsReply};
        placement.place({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
        tp.players->running = {"Music"};
    }
    void play(double duration, double position)  // and wait for its lyrics
    {
        watcher.poll();
        tp.players->answerText(QStringLiteral("Song\nBand\n\ntrue\nRecord\n%1\n%2").arg(duration).arg(position));
        tp.queue->runPending();
        ASSERT_TRUE(lyrics.fallback.status != 200 || WebEngineHarness::waitFor([&] { return !sync.lyricLines().isEmpty(); }, 5000));
    }
    // The log line of the scene that a check `after` seconds on starts, if any.
    QString scene(double bpm, double after = 0.0)
    {
        tp.queue->advance(after);
        const qsizetype before = tp.log->lines.size();
        autos.check(bpm);
        return tp.log->lines.size() > before ? tp.log->lines.last() : QString();
    }

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

}  // namespace

TEST(AutoScenes, SongSceneAfterTheLyricsWaitThenOnePerPaceWithVary)
{
    const QString prompt = QStringLiteral(R"(: a bold audio-reactive scene for the song "Song" by Band, 120 BPM)");
    for (const auto& [pace, seconds] : {std::pair{5, 15.0}, std::pair{-1, 60.0}}) {
        SCOPED_TRACE(pace);
        Rig rig({});
        rig.tp.settings->setValue(QStringLiteral("auto.pace"), pace);
        rig.play(215.5, 30.0);
        EXPECT_EQ(rig.scene(120.4), QString());
        EXPECT_EQ(rig.scene(120.4, AutoScenes::kLyricsWait - 0.01), QString()) << "no lyrics yet, under six seconds";
        EXPECT_EQ(rig.scene(120.4, 0.01), QStringLiteral("[vesmer] auto-scene") + prompt);
        EXPECT_EQ(rig.source.last().value(0), QStringLiteral("Song — Band"));
        EXPECT_EQ(rig.scene(120.4, seconds), QString()) << "exactly the pace is not enough";
        EXPECT_EQ(rig.scene(120.4, 0.01), QStringLiteral("[vesmer] auto-scene (vary)") + prompt);
    }
}

TEST(AutoScenes, LyricContextAndWhatHoldsTheNextScene)
{
    Rig rig(R"({"syncedLyrics":"[00:10.00]hello\n[00:20.00]world"})");
    const auto lyricScene = [](const char* context, const char* tempo = ", 100 BPM") {
        return QStringLiteral(R"([vesmer] auto-scene: a scene interpreting this lyric: "%1" — from "Song" by Band%2)")
            .arg(QLatin1String(context), QLatin1String(tempo));
    };
    // Songs right after one another: a different song has no pace, also one
    // whose key the previous song's key begins with (21 after 216 seconds).
    for (const auto& [duration, position, context] : {std::tuple{216, 12, "hello / world"},
                                                      std::tuple{21, 25, "world / hello"},
                                                      std::tuple{200, 5, "hello"}}) {
        SCOPED_TRACE(context);
        rig.play(duration, position);
        EXPECT_EQ(rig.scene(99.5), lyricScene(context));
        EXPECT_EQ(rig.source.last().value(0), QLatin1String(context));
    }
    // A cover scene paces the song from its scheduling; a composition in flight
    // and the setting turned off hold the scene back.
    rig.autos.coverScheduled(rig.watcher.track()->key());
    EXPECT_EQ(rig.scene(0.0, 29.0), QString());
    rig.generator.setInFlight(true);
    EXPECT_EQ(rig.scene(0.0, 2.0), QString());
    rig.generator.setInFlight(false);
    rig.tp.settings->setValue(QStringLiteral("auto.scenes"), false);
    EXPECT_EQ(rig.scene(0.0), QString());
    rig.tp.settings->setValue(QStringLiteral("auto.scenes"), true);
    EXPECT_EQ(rig.scene(0.0), lyricScene("world / hello", ""));
}
