#include <functional>
#include <gtest/gtest.h>
#include <limits>

#include "FakePage.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

struct WindowFixture {
    std::unique_ptr<FakeHostWindow> made = std::make_unique<FakeHostWindow>();
    FakeHostWindow* host = made.get();
    WallpaperWindow window{std::move(made), ScreenInfo{"RIGHT", QRect(1920, 0, 1024, 768)}, false};
    FakePage& page() { return host->fakePage; }
};

}  // namespace

TEST(WallpaperWindow, LyricModeAndTempoAreSanitised)
{
    WindowFixture f;
    struct Row {
        const char* name;
        std::function<void()> send;
        QString expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"mode off", [&] { f.window.setLyricMode("off"); }, "window.vesmerLyricMode && vesmerLyricMode('off')"},
        {"mode empty", [&] { f.window.setLyricMode(""); }, "window.vesmerLyricMode && vesmerLyricMode('overlay')"},
        {"mode with a quote", [&] { f.window.setLyricMode("x');evil('"); },
         "window.vesmerLyricMode && vesmerLyricMode('overlay')"},
        {"negative tempo", [&] { f.window.setBPM(-5); }, "window.vesmerSetBPM && vesmerSetBPM(0.0)"},
        {"NaN tempo", [&] { f.window.setBPM(nan); }, "window.vesmerSetBPM && vesmerSetBPM(0.0)"},
        {"negative zero tempo", [&] { f.window.setBPM(-0.0); }, "window.vesmerSetBPM && vesmerSetBPM(0.0)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        f.page().calls.clear();
        row.send();
        EXPECT_EQ(f.page().evaluated(), QStringList{row.expected});
    }
}

TEST(WallpaperWindow, EffectsTravelAsJsonAndNaNSendsNothing)
{
    WindowFixture f;
    f.window.setFx({{"bloom", 0.5}, {"radialBlur", 1.0}, {"hue", 0.0}});
    ASSERT_EQ(f.page().evaluated().size(), 1);
    EXPECT_EQ(FakePage::effectsOf(f.page().evaluated().first()),
              (QVariantMap{{"bloom", 0.5}, {"radialBlur", 1.0}, {"hue", 0.0}}));

    f.page().calls.clear();
    f.window.setFx({{"bloom", std::numeric_limits<double>::quiet_NaN()}, {"hue", 1.0}});
    f.window.setFx({{"bloom", std::numeric_limits<double>::infinity()}});
    EXPECT_TRUE(f.page().calls.isEmpty());
}

TEST(WallpaperWindow, CloseStopsVisibilityTrackingAndClosesTheHostOnce)
{
    WindowFixture f;
    f.window.close();
    f.window.close();
    EXPECT_EQ(f.host->closeCount, 1);
    f.host->setVisibleOnScreen(false);
    EXPECT_TRUE(f.page().calls.isEmpty());
}
