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
const QVariantMap kNoEffects{{"bloom", 0.0}, {"grayscale", 0.0}, {"pixelate", 0.0}, {"dots", 0.0}, {"scanlines", 0.0},
                             {"ascii", 0.0}, {"hue", 0.0}, {"chroma", 0.0}, {"radialBlur", 0.0}};

struct Placed {
    TestPlatform tp;
    std::unique_ptr<AppState> state = std::make_unique<AppState>(tp.take());
    FakePage& page(int i = -1) { return (i < 0 ? tp.host->made.last() : tp.host->made[i]).window->fakePage; }
    // A wallpaper on LEFT, past the placement's own sends.
    FakePage& placeAndSettle()
    {
        state->setWallpaper(kLeft, false);
        tp.queue->advance(2.0);
        page().calls.clear();
        return page();
    }
};

}  // namespace

TEST(Placement, FreshPageGetsThemeQueryAt1_2sAndSettingsAt1_5s)
{
    Placed p;
    p.tp.host->replies[kThemeQuery] = ScriptReply{QStringLiteral("Nebula"), std::nullopt};
    p.state->setWallpaper(kRight, false);
    ASSERT_EQ(p.tp.host->made.size(), 1);
    EXPECT_EQ(std::pair(p.tp.host->made[0].screen, p.tp.host->made[0].preview), std::pair(kRight, false));
    EXPECT_EQ(p.state->wallpaperScreenName(), QStringLiteral("RIGHT"));
    EXPECT_TRUE(p.tp.capture->running) << "placing a wallpaper starts capture";

    const auto sentAndTheme = [&p] { return std::pair(p.page().evaluated(), p.state->themeName()); };
    p.tp.queue->advance(1.19);
    EXPECT_EQ(sentAndTheme(), std::pair(QStringList{}, QStringLiteral("\u2014")));
    p.tp.queue->advance(0.02);
    EXPECT_EQ(sentAndTheme(), std::pair(QStringList{kThemeQuery}, QStringLiteral("Nebula")));
    p.tp.queue->advance(0.28);
    EXPECT_EQ(p.page().evaluated().size(), 1);

    p.tp.queue->advance(0.02);
    const QStringList sent = p.page().evaluated();
    // The lyric mode follows once the lyrics work sends it.
    EXPECT_EQ(sent.mid(0, 3), (QStringList{kThemeQuery, kQuality, kLook})) << sent.join('\n').toStdString();
    EXPECT_EQ(FakePage::effectsOf(sent.value(3)), kNoEffects) << "all nine effects, 0 when absent";
}

TEST(Placement, ReplacingClosesTheOldWindowFirstAndPreviewIsNamed)
{
    Placed p;
    p.state->setWallpaper(kLeft, false);
    p.state->setWallpaper(kRight, true);
    ASSERT_EQ(p.tp.host->made.size(), 2);
    EXPECT_EQ(p.tp.host->made[1].openBefore, 0) << "the old window is closed before the new one is made";
    EXPECT_EQ(p.state->wallpaperScreenName(), QStringLiteral("RIGHT (preview)"));

    p.state->setWallpaper(kRight, true);
    EXPECT_EQ(p.tp.host->made[2].openBefore, 0) << "even on the same screen";

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
    p.tp.events->sleep();  // no wallpaper: nothing to send
    p.state->setWallpaper(kLeft, false);
    p.tp.events->sleep();
    p.tp.events->sleep();
    EXPECT_EQ(p.page().countOf(PageCalls::setPaused(true)), 2) << "one pause per sleep notification";
    p.tp.events->wake();
    EXPECT_EQ(p.page().countOf(PageCalls::setPaused(false)), 1);

    p.tp.host->last()->setVisibleOnScreen(false);
    p.tp.events->sleep();
    p.tp.events->wake();
    EXPECT_EQ(p.page().countOf(PageCalls::setPaused(false)), 1) << "a hidden wallpaper is not resumed by waking";
}

TEST(Placement, ADeadRendererIsReloadedAtMostThreeTimesAMinuteEachWithTheFreshPageReapply)
{
    const QString reloading = QStringLiteral("[vesmer] visuals renderer ended (killed, exit 9) \u2014 reloading");
    const QString givingUp = QStringLiteral("[vesmer] visuals renderer ended (killed, exit 9) \u2014 reloaded 3 times");
    // When the fourth death comes after the first, and how many of the four are reloaded.
    for (const auto& [name, fourthAfterFirst, reloadsInAll] :
         {std::tuple{"fourth within a minute", 59.9, 3}, std::tuple{"fourth a minute later", 60.0, 4}}) {
        SCOPED_TRACE(name);
        Placed p;
        FakePage& page = p.placeAndSettle();
        for (int death = 1; death <= 4; ++death) {
            p.tp.queue->advance(death == 4 ? fourthAfterFirst - 3 * 2.0 : 0.0);  // deaths 2 s apart, then the fourth
            page.endRenderer({QStringLiteral("killed"), 9});
            p.tp.queue->advance(2.0);
            // Each reload gets the fresh page's theme query and look.
            const int reloads = std::min(death, reloadsInAll);
            EXPECT_EQ(std::tuple(page.reloads, page.countOf(kThemeQuery), page.countOf(kLook)),
                      std::tuple(reloads, reloads, reloads))
                << death;
        }
        EXPECT_EQ(p.tp.log->count(reloading), reloadsInAll);
        EXPECT_EQ(p.tp.log->countStartingWith(givingUp), 4 - reloadsInAll);
        EXPECT_EQ(p.tp.host->made.size(), 1) << "the same window, reloaded";
    }
}

TEST(LookAndThemes, QualityLookAndEffectsFromTheSettingsAndTheQualityReportLogged)
{
    // Stored resolution and frame rate (invalid: key absent), and the call they make.
    const std::tuple<const char*, QVariant, QVariant, QString> rows[] = {
        {"nothing stored", {}, {}, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
        {"auto, 0 fps", "auto", 0, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
        {"balanced 30", "balanced", 30, "window.vesmerSetQuality ? vesmerSetQuality(1.5, 30) : ''"},
        {"performance 120", "performance", 120, "window.vesmerSetQuality ? vesmerSetQuality(1.0, 120) : ''"},
        {"wrong case", "Balanced", 60, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
    };
    Placed p;
    FakePage& page = p.placeAndSettle();
    for (const auto& [name, resolution, fps, expected] : rows) {
        SCOPED_TRACE(name);
        page.calls.clear();
        resolution.isValid() ? p.tp.settings->setValue("quality.resolution", resolution)
                             : p.tp.settings->remove("quality.resolution");
        fps.isValid() ? p.tp.settings->setValue("quality.fps", fps) : p.tp.settings->remove("quality.fps");
        p.state->applyQuality();
        EXPECT_EQ(page.evaluated(), QStringList{expected});
    }

    // The page's report is logged only when it is not empty.
    for (const ScriptReply& report :
         {ScriptReply{QStringLiteral("scale 1.0 at 60 fps"), std::nullopt}, ScriptReply{QString(""), std::nullopt},
          ScriptReply{std::nullopt, QStringLiteral("boom")}}) {
        page.replies[kQuality] = report;
        p.state->applyQuality();
    }
    EXPECT_EQ(p.tp.log->lines.filter("quality"), QStringList{"[vesmer] quality applied: scale 1.0 at 60 fps"});

    page.calls.clear();
    p.tp.settings->setValue("look.reactivity", 1.5);
    p.tp.settings->setValue("look.grain", 0);
    p.tp.settings->setValue("fx.radialBlur", 0.25);
    p.tp.settings->setValue("fx.bloom", "0.75");
    p.state->applyLook();
    p.state->applyFx();
    QVariantMap effects = kNoEffects;
    effects["radialBlur"] = 0.25;
    effects["bloom"] = 0.75;
    EXPECT_EQ(page.evaluated().value(0), "window.vesmerSetLook && vesmerSetLook(1.5, 1.0, 1.0, 0.0)");
    EXPECT_EQ(FakePage::effectsOf(page.evaluated().value(1)), effects);
}

TEST(LookAndThemes, ThemeStepPublishesStringAnswersOnTheMainQueueAndWithoutAWallpaperNothingIsSent)
{
    Placed p;
    p.state->applyLook();
    p.state->applyFx();
    p.state->applyQuality();
    p.state->stepTheme(1);
    p.state->refreshThemeName();
    p.tp.queue->advance(2.0);
    EXPECT_TRUE(p.tp.host->made.isEmpty());
    EXPECT_EQ(p.state->themeName(), QStringLiteral("\u2014"));
    EXPECT_TRUE(p.tp.log->lines.filter("quality").isEmpty());

    FakePage& page = p.placeAndSettle();
    const QString step = QStringLiteral("vesmerStep(1); vesmerCurrentTheme()");
    page.replies[step] = ScriptReply{QStringLiteral("Aurora"), std::nullopt};
    p.state->stepTheme(1);
    EXPECT_EQ(p.state->themeName(), QStringLiteral("\u2014")) << "published by a main-queue task";
    p.tp.queue->runPending();
    EXPECT_EQ(p.state->themeName(), QStringLiteral("Aurora"));

    page.replies[step] = ScriptReply{std::nullopt, QStringLiteral("vesmerStep is not defined")};
    p.state->stepTheme(1);
    p.tp.queue->runPending();
    EXPECT_EQ(p.state->themeName(), QStringLiteral("Aurora"));
}
