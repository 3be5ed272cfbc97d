// Lyric sync through the app state on the virtual clock: a scripted player's track
// gets its lyrics from a loopback lyrics service, the pump moves the line along,
// and the page gets each change once, unless the mode is off.
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "wallpaper/PageCalls.h"

TEST(LyricSync, FollowsTheSongAndTheMode)
{
    LoopbackHttpServer lyrics;
    lyrics.fallback = {200, R"({"syncedLyrics":"[00:10.00]A\n[00:20.00]B\n[00:20.00]B2","plainLyrics":"x"})"};
    TestPlatform tp;
    Platform platform = tp.take();
    platform.lyricsService = lyrics.url();
    AppState state(std::move(platform));
    state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
    tp.queue->advance(2.0);  // past the fresh page's settings
    FakePage& page = tp.host->last()->fakePage;
    page.calls.clear();
    const auto sentLines = [&] {
        QStringList lines;
        for (const auto& call : page.calls)
            if (call.withArguments && call.script == PageCalls::lyricBody())
                lines << call.arguments.value("line").toString();
        return lines;
    };
    const auto answer = [](bool playing, double position) {
        return QStringLiteral("Song\nBand\n\n%1\nRecord\n215.5\n%2").arg(playing ? "true" : "false").arg(position);
    };
    const auto poll = [&](const QString& text) {
        tp.players->queries.clear();  // earlier polls stay unanswered
        tp.queue->advance(NowPlayingWatcher::kPollInterval);
        ASSERT_TRUE(tp.players->answerText(text));
        tp.queue->runPending();
    };

    tp.players->running = {"Music"};
    state.startNowPlaying();
    ASSERT_TRUE(tp.players->answerText(answer(true, 9.0)));
    tp.queue->runPending();
    ASSERT_TRUE(WebEngineHarness::waitFor([&] { return state.lyricsLineCount() > 0; }, 5000));
    EXPECT_EQ(state.currentTrackText(), QStringLiteral("Band \u2014 Song"));

    // Playing: the line moves on without a new poll; of equal times the later wins.
    tp.queue->advance(0.9);
    EXPECT_EQ(state.lyricLine(), QString());
    tp.queue->advance(0.2);
    EXPECT_EQ(state.lyricLine(), QStringLiteral("A"));
    tp.queue->advance(10.0);
    EXPECT_EQ(state.lyricLine(), QStringLiteral("B2"));
    EXPECT_EQ(sentLines(), (QStringList{"A", "B2"}));

    // The same song paused at 15 s: no new lookup, no blanking, and it stays.
    poll(answer(false, 15.0));
    tp.queue->advance(60.0);
    EXPECT_EQ(state.lyricLine(), QStringLiteral("A"));
    EXPECT_EQ(sentLines(), (QStringList{"A", "B2", "A"}));
    EXPECT_EQ(lyrics.requests.size(), 1);

    // Mode off: switching blanks the page; lines are still published, not sent.
    // The panel on screen still needs the players.
    tp.settings->setValue("lyrics.mode", "off");
    state.lyricsModeChanged();
    state.setPanelVisible(true);
    poll(answer(true, 25.0));
    tp.queue->advance(0.2);
    EXPECT_EQ(state.lyricLine(), QStringLiteral("B2"));
    EXPECT_EQ(sentLines(), (QStringList{"A", "B2", "A", ""}));

    // Panel hidden and lyrics off: nobody needs the players.
    state.setPanelVisible(false);
    tp.players->queries.clear();
    tp.queue->advance(2 * NowPlayingWatcher::kPollInterval);
    EXPECT_TRUE(tp.players->queries.isEmpty());

    // Back on: the mode, then the current line, at once.
    const qsizetype before = page.calls.size();
    tp.settings->setValue("lyrics.mode", "visuals");
    state.lyricsModeChanged();
    ASSERT_EQ(page.calls.size(), before + 2);
    EXPECT_EQ(page.calls[before].script, PageCalls::lyricMode("visuals"));
    EXPECT_EQ(page.calls[before + 1].arguments.value("line"), QStringLiteral("B2"));
}
