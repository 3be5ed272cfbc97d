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

TEST(WallpaperWindow, LyricModeTempoAndEffectsAreSanitised)
{
    WindowFixture f;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const char* mode : {"off", "", "x');evil('"})
        f.window.setLyricMode(mode);
    for (const double bpm : {-5.0, nan, -0.0})
        f.window.setBPM(bpm);
    // An effect value that is not a number sends nothing.
    f.window.setFx({{"bloom", nan}, {"hue", 1.0}});
    f.window.setFx({{"bloom", std::numeric_limits<double>::infinity()}});
    const QString off = QStringLiteral("window.vesmerLyricMode && vesmerLyricMode('off')");
    const QString overlay = QStringLiteral("window.vesmerLyricMode && vesmerLyricMode('overlay')");
    const QString noTempo = QStringLiteral("window.vesmerSetBPM && vesmerSetBPM(0.0)");
    EXPECT_EQ(f.page().evaluated(), (QStringList{off, overlay, overlay, noTempo, noTempo, noTempo}));

    f.page().calls.clear();
    f.window.setFx({{"bloom", 0.5}, {"radialBlur", 1.0}, {"hue", 0.0}});
    ASSERT_EQ(f.page().evaluated().size(), 1);
    EXPECT_EQ(FakePage::effectsOf(f.page().evaluated().first()),
              (QVariantMap{{"bloom", 0.5}, {"radialBlur", 1.0}, {"hue", 0.0}}));
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
