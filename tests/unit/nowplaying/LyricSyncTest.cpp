// Lyric sync through the app state on the virtual clock: the watcher's track
// (from a scripted player) picks lyrics from a loopback lyrics service, the pump
// moves the line along, and the page gets each change once, unless the mode is off.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "wallpaper/PageCalls.h"

namespace {

QString answer(bool playing, double position)
{
    return QStringLiteral("Song\nBand\n\n%1\nRecord\n215.5\n%2").arg(playing ? "true" : "false").arg(position);
}

struct Synced {
    LoopbackHttpServer lyrics;
    TestPlatform tp;
    std::unique_ptr<AppState> state;
    Synced()
    {
        lyrics.fallback = {200, R"({"syncedLyrics":"[00:10.00]A\n[00:20.00]B\n[00:20.00]B2","plainLyrics":"x"})"};
        Platform platform = tp.take();
        platform.lyricsService = lyrics.url();
        state = std::make_unique<AppState>(std::move(platform));
        state->setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
        tp.queue->advance(2.0);  // past the fresh page's settings
        tp.host->last()->fakePage.calls.clear();
        tp.players->running = {"Music"};
    }
    // Answers the open poll and lets the track reach the lyrics service.
    void poll(const QString& text)
    {
        ASSERT_TRUE(tp.players->answerText(text));
        tp.queue->runPending();
    }
    bool lyricsLoaded()
    {
        return WebEngineHarness::waitFor([&] { return state->lyricsLineCount() > 0; }, 5000);
    }
    QStringList sentLines() const
    {
        QStringList lines;
        for (const auto& call : tp.host->last()->fakePage.calls)
            if (call.withArguments && call.script == PageCalls::lyricBody())
                lines << call.arguments.value("line").toString();
        return lines;
    }
};

}  // namespace

TEST(LyricSync, FollowsThePlayingTrackWithoutNewPolls)
{
    Synced s;
    s.state->startNowPlaying();
    s.poll(answer(true, 9.0));
    ASSERT_TRUE(s.lyricsLoaded());
    EXPECT_EQ(s.state->currentTrackText(), QStringLiteral("Band \u2014 Song"));

    s.tp.queue->advance(0.9);
    EXPECT_EQ(s.state->lyricLine(), QString());
    s.tp.queue->advance(0.2);
    EXPECT_EQ(s.state->lyricLine(), QStringLiteral("A"));
    s.tp.queue->advance(10.0);  // polls go unanswered meanwhile
    EXPECT_EQ(s.state->lyricLine(), QStringLiteral("B2"));  // of equal times, the later
    EXPECT_EQ(s.sentLines(), (QStringList{"A", "B2"}));

    // The same song again, paused at 15 s: no new lookup, no blanking, and it stays.
    s.tp.players->queries.clear();
    s.tp.queue->advance(NowPlayingWatcher::kPollInterval);
    s.poll(answer(false, 15.0));
    s.tp.queue->advance(60.0);
    EXPECT_EQ(s.state->lyricLine(), QStringLiteral("A"));
    EXPECT_EQ(s.sentLines(), (QStringList{"A", "B2", "A"}));
    EXPECT_EQ(s.lyrics.requests.size(), 1);
}

TEST(LyricSync, ModeOffPublishesButSendsNothing)
{
    Synced s;
    s.state->startNowPlaying();
    s.poll(answer(true, 9.0));
    ASSERT_TRUE(s.lyricsLoaded());

    s.tp.settings->setValue("lyrics.mode", "off");
    s.state->lyricsModeChanged();
    s.tp.queue->advance(2.0);
    EXPECT_EQ(s.state->lyricLine(), QStringLiteral("A"));
    EXPECT_EQ(s.sentLines().last(), QString()) << "switching off blanks the page";
    const qsizetype sent = s.sentLines().size();

    // Nobody looks: panel hidden and lyrics off, so the players are left alone.
    s.tp.players->queries.clear();
    s.tp.queue->advance(2 * NowPlayingWatcher::kPollInterval);
    EXPECT_TRUE(s.tp.players->queries.isEmpty());
    s.tp.events->panelShown = true;
    s.tp.queue->advance(NowPlayingWatcher::kPollInterval);
    EXPECT_FALSE(s.tp.players->queries.isEmpty());

    FakePage& page = s.tp.host->last()->fakePage;
    const qsizetype before = page.calls.size();
    s.tp.settings->setValue("lyrics.mode", "visuals");
    s.state->lyricsModeChanged();
    ASSERT_EQ(page.calls.size(), before + 2);
    EXPECT_EQ(page.calls[before].script, PageCalls::lyricMode("visuals"));
    EXPECT_EQ(page.calls[before + 1].arguments.value("line"), QStringLiteral("A"));
    EXPECT_EQ(s.sentLines().size(), sent + 1);
}
