#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "TestPlatform.h"
#include "app/AppState.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

struct WithWallpaper {
    TestPlatform tp;
    std::unique_ptr<AppState> state = std::make_unique<AppState>(tp.take());
    WithWallpaper(bool place = true)
    {
        if (place) {
            state->setWallpaper(ScreenInfo{"LEFT", QRect(0, 0, 1920, 1080)}, false);
            tp.queue->advance(2.0);  // past the placement's own sends
            page().calls.clear();
        }
    }
    FakePage& page() { return tp.host->last()->fakePage; }
};

}  // namespace

TEST(LookAndThemes, QualityScaleAndFrameRateFromTheSettingsAndTheReportLogged)
{
    struct Row {
        const char* name;
        QVariant resolution;  // invalid: key absent
        QVariant fps;
        QString expected;
    };
    const Row rows[] = {
        {"nothing stored", {}, {}, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
        {"auto, 0 fps", "auto", 0, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
        {"balanced 30", "balanced", 30, "window.vesmerSetQuality ? vesmerSetQuality(1.5, 30) : ''"},
        {"performance 120", "performance", 120, "window.vesmerSetQuality ? vesmerSetQuality(1.0, 120) : ''"},
        {"wrong case", "Balanced", 60, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
        {"unknown", "ultra", {}, "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
    };
    WithWallpaper w;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        w.page().calls.clear();
        row.resolution.isValid() ? w.tp.settings->setValue("quality.resolution", row.resolution)
                                 : w.tp.settings->remove("quality.resolution");
        row.fps.isValid() ? w.tp.settings->setValue("quality.fps", row.fps) : w.tp.settings->remove("quality.fps");
        w.state->applyQuality();
        EXPECT_EQ(w.page().evaluated(), QStringList{row.expected});
    }

    // The page's report is logged only when it is not empty.
    const QString quality = QStringLiteral("window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''");
    w.page().replies[quality] = ScriptReply{QStringLiteral("scale 1.0 at 60 fps"), std::nullopt};
    w.state->applyQuality();
    w.page().replies[quality] = ScriptReply{QString(""), std::nullopt};
    w.state->applyQuality();
    w.page().replies[quality] = ScriptReply{std::nullopt, QStringLiteral("boom")};
    w.state->applyQuality();
    EXPECT_EQ(w.tp.log->lines.filter("quality"), QStringList{"[vesmer] quality applied: scale 1.0 at 60 fps"});
}

TEST(LookAndThemes, LookAndEffectsReadTheStoredValues)
{
    WithWallpaper w;
    w.state->applyLook();
    w.state->applyFx();
    QVariantMap zeros;
    for (const char* name : {"bloom", "grayscale", "pixelate", "dots", "scanlines", "ascii", "hue", "chroma",
                             "radialBlur"})
        zeros.insert(name, 0.0);
    ASSERT_EQ(w.page().evaluated().size(), 2);
    EXPECT_EQ(w.page().evaluated()[0], "window.vesmerSetLook && vesmerSetLook(1.0, 1.0, 1.0, 1.0)");
    EXPECT_EQ(FakePage::effectsOf(w.page().evaluated()[1]), zeros) << "all nine effects, 0 when absent";

    w.page().calls.clear();
    w.tp.settings->setValue("look.reactivity", 1.5);
    w.tp.settings->setValue("look.grain", 0);
    w.tp.settings->setValue("fx.radialBlur", 0.25);
    w.tp.settings->setValue("fx.bloom", "0.75");
    w.state->applyLook();
    w.state->applyFx();
    EXPECT_EQ(w.page().evaluated()[0], "window.vesmerSetLook && vesmerSetLook(1.5, 1.0, 1.0, 0.0)");
    QVariantMap expected = zeros;
    expected["radialBlur"] = 0.25;
    expected["bloom"] = 0.75;
    EXPECT_EQ(FakePage::effectsOf(w.page().evaluated()[1]), expected);
}

TEST(LookAndThemes, ThemeStepPublishesStringAnswersOnTheMainQueue)
{
    WithWallpaper w;
    const QString step = QStringLiteral("vesmerStep(1); vesmerCurrentTheme()");
    w.page().replies[step] = ScriptReply{QStringLiteral("Aurora"), std::nullopt};
    w.state->stepTheme(1);
    EXPECT_EQ(w.state->themeName(), QStringLiteral("\u2014")) << "published by a main-queue task";
    w.tp.queue->runPending();
    EXPECT_EQ(w.state->themeName(), QStringLiteral("Aurora"));

    w.page().replies[step] = ScriptReply{std::nullopt, QStringLiteral("vesmerStep is not defined")};
    w.state->stepTheme(1);
    w.tp.queue->runPending();
    EXPECT_EQ(w.state->themeName(), QStringLiteral("Aurora"));
}

TEST(LookAndThemes, WithoutAWallpaperNothingIsSent)
{
    WithWallpaper w(false);
    w.state->applyLook();
    w.state->applyFx();
    w.state->applyQuality();
    w.state->stepTheme(1);
    w.state->refreshThemeName();
    w.tp.queue->advance(2.0);
    EXPECT_TRUE(w.tp.host->made.isEmpty());
    EXPECT_EQ(w.state->themeName(), QStringLiteral("\u2014"));
    EXPECT_TRUE(w.tp.log->lines.filter("quality").isEmpty());
}
