#include <algorithm>
#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "app/AppState.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

const ScreenInfo kLeft{QStringLiteral("LEFT"), QRect(0, 0, 1920, 1080)};
const ScreenInfo kRight{QStringLiteral("RIGHT"), QRect(1920, 0, 1024, 768)};

const QString kThemeQuery = PageCalls::currentTheme();
const QString kQuality = QStringLiteral("window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''");
const QString kLook = QStringLiteral("window.vesmerSetLook && vesmerSetLook(1.0, 1.0, 1.0, 1.0)");

struct Placed {
    TestPlatform tp;
    std::unique_ptr<AppState> state = std::make_unique<AppState>(tp.take());
    FakePage& page(int i = -1) { return (i < 0 ? tp.host->made.last() : tp.host->made[i]).window->fakePage; }
};

}  // namespace

TEST(Placement, FreshPageGetsThemeQueryAt1_2sAndSettingsAt1_5s)
{
    Placed p;
    p.tp.host->replies[kThemeQuery] = ScriptReply{QStringLiteral("Nebula"), std::nullopt};
    p.state->setWallpaper(kRight, false);
    ASSERT_EQ(p.tp.host->made.size(), 1);
    EXPECT_EQ(p.tp.host->made[0].screen, kRight);
    EXPECT_FALSE(p.tp.host->made[0].preview);
    EXPECT_EQ(p.state->wallpaperScreenName(), QStringLiteral("RIGHT"));
    EXPECT_TRUE(p.tp.capture->running) << "placing a wallpaper starts capture";

    p.tp.queue->advance(1.19);
    EXPECT_TRUE(p.page().evaluated().isEmpty());
    EXPECT_EQ(p.state->themeName(), QStringLiteral("\u2014"));

    p.tp.queue->advance(0.02);
    EXPECT_EQ(p.page().evaluated(), QStringList{kThemeQuery});
    EXPECT_EQ(p.state->themeName(), QStringLiteral("Nebula"));

    p.tp.queue->advance(0.28);
    EXPECT_EQ(p.page().evaluated().size(), 1);

    p.tp.queue->advance(0.02);
    const QStringList sent = p.page().evaluated();
    // The lyric mode follows once the lyrics work sends it.
    ASSERT_GE(sent.size(), 4) << sent.join('\n').toStdString();
    EXPECT_EQ(sent[1], kQuality);
    EXPECT_EQ(sent[2], kLook);
    EXPECT_EQ(FakePage::effectsOf(sent[3]).size(), 9) << "all nine effects";
}

TEST(Placement, ReplacingClosesTheOldWindowFirstAndPreviewIsNamed)
{
    Placed p;
    p.state->setWallpaper(kLeft, false);
    p.state->setWallpaper(kRight, true);
    ASSERT_EQ(p.tp.host->made.size(), 2);
    EXPECT_EQ(p.tp.host->made[1].openBefore, 0) << "the old window is closed before the new one is made";
    EXPECT_EQ(p.state->wallpaperScreenName(), QStringLiteral("RIGHT (preview)"));
    EXPECT_EQ(p.state->wallpaper()->screen(), kRight);
    EXPECT_TRUE(p.state->wallpaper()->isPreview());

    p.state->setWallpaper(kRight, true);
    EXPECT_EQ(p.tp.host->made[2].openBefore, 0) << "even on the same screen";
    EXPECT_EQ(p.tp.host->openWindows, 1);

    p.state->removeWallpaper();
    EXPECT_EQ(p.state->wallpaper(), nullptr);
    EXPECT_TRUE(p.state->wallpaperScreenName().isNull());
}

TEST(Placement, DelayedReapplyReachesWhateverWallpaperExistsThen)
{
    Placed p;
    p.state->setWallpaper(kLeft, false);
    p.tp.queue->advance(1.0);
    p.state->setWallpaper(kRight, false);  // the first re-apply now falls on the second page
    p.tp.queue->advance(0.6);
    EXPECT_EQ(p.page(1).countOf(kLook), 1);
    p.tp.queue->advance(1.0);
    EXPECT_EQ(p.page(1).countOf(kLook), 2);

    p.state->removeWallpaper();
    p.state->setWallpaper(kLeft, false);
    p.state->removeWallpaper();
    p.tp.queue->advance(2.0);  // the delayed work finds no wallpaper and does nothing
    EXPECT_EQ(p.page(2).evaluated(), QStringList{});

    // A setting changed within the delay is sent at once and again by the re-apply.
    p.state->setWallpaper(kLeft, false);
    p.tp.queue->advance(0.5);
    p.tp.settings->setValue("look.speed", 2.5);
    p.state->applyLook();  // what the panel does on a slider change
    p.tp.queue->advance(1.0);
    EXPECT_EQ(p.page(3).countOf(QStringLiteral("window.vesmerSetLook && vesmerSetLook(1.0, 2.5, 1.0, 1.0)")), 2);
}

TEST(Placement, SleepPausesAndWakeResumesOnlyAVisibleWallpaper)
{
    Placed p;
    const QString pause = PageCalls::setPaused(true);
    const QString resume = PageCalls::setPaused(false);
    p.tp.events->sleep();  // no wallpaper: nothing to send
    p.state->setWallpaper(kLeft, false);
    p.tp.events->sleep();
    p.tp.events->sleep();
    EXPECT_EQ(p.page().countOf(pause), 2) << "one pause per sleep notification";
    p.tp.events->wake();
    EXPECT_EQ(p.page().countOf(resume), 1);

    p.tp.host->last()->setVisibleOnScreen(false);
    p.tp.events->sleep();
    p.tp.events->wake();
    EXPECT_EQ(p.page().countOf(resume), 1) << "a hidden wallpaper is not resumed by waking";
}

TEST(Placement, ADeadRendererIsReloadedAtMostThreeTimesAMinuteEachWithTheFreshPageReapply)
{
    const QString reloading = QStringLiteral("[vesmer] visuals renderer ended (killed, exit 9) \u2014 reloading");
    const QString givingUp = QStringLiteral("[vesmer] visuals renderer ended (killed, exit 9) \u2014 reloaded 3 times");
    struct Row {
        const char* name;
        double fourthAfterFirst;
        int reloads;
    };
    for (const Row row : {Row{"fourth within a minute", 59.9, 3}, Row{"fourth a minute later", 60.0, 4}}) {
        SCOPED_TRACE(row.name);
        Placed p;
        p.state->setWallpaper(kLeft, false);
        p.tp.queue->advance(2.0);
        FakePage& page = p.page();
        for (int death = 1; death <= 4; ++death) {
            const double at = death == 4 ? row.fourthAfterFirst - 3 * 2.0 : 0.0;  // deaths 2 s apart, then the fourth
            p.tp.queue->advance(at);
            const int looks = page.countOf(kLook);
            const int queries = page.countOf(kThemeQuery);
            page.endRenderer({QStringLiteral("killed"), 9});
            p.tp.queue->advance(2.0);
            const bool reloaded = death <= row.reloads;
            EXPECT_EQ(page.reloads, std::min(death, row.reloads)) << death;
            EXPECT_EQ(page.countOf(kLook), looks + (reloaded ? 1 : 0)) << death;
            EXPECT_EQ(page.countOf(kThemeQuery), queries + (reloaded ? 1 : 0)) << death;
        }
        EXPECT_EQ(p.tp.log->count(reloading), row.reloads);
        EXPECT_EQ(p.tp.log->countStartingWith(givingUp), 4 - row.reloads);
        EXPECT_EQ(p.tp.host->made.size(), 1) << "the same window, reloaded";
    }
}
