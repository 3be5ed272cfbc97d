// Lyric sync on real time against the shipped visuals page in the web engine:
// the line moves on without a new poll, mode "off" keeps it off the page, and
// switching back shows it at once.
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "platform/qt/QtWallpaperHost.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using WebEngineHarness::waitFor;

TEST(LyricPage, TheShippedPageShowsTheLineAsTheSongPlays)
{
    LoopbackHttpServer lyrics;
    lyrics.fallback = {200, R"({"syncedLyrics":"[00:10.00]First line\n[00:14.00]Second line"})"};
    TestPlatform tp;
    Platform platform = tp.takeOnRealTime();
    platform.wallpaperHost = std::make_unique<QtWallpaperHost>();
    platform.lyricsService = lyrics.url();
    AppState state(std::move(platform));
    state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, true);
    auto& page = dynamic_cast<QtWebPage&>(state.wallpaper()->page());
    ASSERT_TRUE(WebEngineHarness::waitReady(page));
    const auto overlay = [&](const char* property) {
        const auto reply = WebEngineHarness::evaluate(page, QStringLiteral("document.getElementById('overlay').") + property);
        return reply && reply->value ? *reply->value : QStringLiteral("?");
    };
    ASSERT_TRUE(waitFor([&] { return overlay("className") == QStringLiteral("visuals"); }, 15000));  // generous: sanitized builds are slow

    tp.players->running = {"Music"};
    state.startNowPlaying();
    ASSERT_TRUE(tp.players->answerText("Song\nBand\n\ntrue\nRecord\n200\n9.5"));
    EXPECT_TRUE(waitFor([&] { return overlay("textContent") == QStringLiteral("First line"); }, 15000));

    tp.settings->setValue("lyrics.mode", "off");
    state.lyricsModeChanged();
    EXPECT_TRUE(waitFor([&] { return overlay("textContent").isEmpty(); }, 5000));
    ASSERT_TRUE(waitFor([&] { return state.lyricLine() == QStringLiteral("Second line"); }, 8000));
    WebEngineHarness::settle(300);
    EXPECT_EQ(overlay("textContent"), QString()) << "mode off sends no line";
    EXPECT_EQ(overlay("className"), QString());

    tp.settings->setValue("lyrics.mode", "visuals");
    state.lyricsModeChanged();
    EXPECT_TRUE(waitFor([&] { return overlay("textContent") == QStringLiteral("Second line"); }, 5000));
    EXPECT_EQ(overlay("className"), QStringLiteral("visuals"));
}
