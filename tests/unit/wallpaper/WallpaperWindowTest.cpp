#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "FakePage.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

struct WindowFixture {
    FakeHostWindow* host = nullptr;
    std::unique_ptr<WallpaperWindow> window;
    WindowFixture()
    {
        auto made = std::make_unique<FakeHostWindow>();
        host = made.get();
        window = std::make_unique<WallpaperWindow>(std::move(made), ScreenInfo{"RIGHT", QRect(1920, 0, 1024, 768)},
                                                   false);
    }
    FakePage& page() { return host->fakePage; }
    int feeds() { return page().countOf(PageCalls::feedBody()); }
};

const QString kPause = QStringLiteral("window.vesmerSetPaused && vesmerSetPaused(true)");
const QString kResume = QStringLiteral("window.vesmerSetPaused && vesmerSetPaused(false)");

}  // namespace

TEST(WallpaperWindow, HidingPausesOnceAndStopsFeedsShowingResumes)
{
    WindowFixture f;
    f.window->feed(AudioFeatures{});
    EXPECT_EQ(f.feeds(), 1) << "a new window starts visible";

    f.host->setVisibleOnScreen(false);
    f.host->setVisibleOnScreen(false);  // repeated notification, no change
    f.window->feed(AudioFeatures{});
    EXPECT_EQ(f.page().countOf(kPause), 1);
    EXPECT_EQ(f.feeds(), 1);
    EXPECT_FALSE(f.window->visible());

    f.host->setVisibleOnScreen(true);
    f.host->setVisibleOnScreen(true);
    f.window->feed(AudioFeatures{});
    EXPECT_EQ(f.page().countOf(kResume), 1);
    EXPECT_EQ(f.feeds(), 2);
}

TEST(WallpaperWindow, FeedSendsTheEightValuesAsDoubleArguments)
{
    WindowFixture f;
    f.window->feed(AudioFeatures{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f});
    ASSERT_EQ(f.page().calls.size(), 1);
    const FakePage::Call& call = f.page().calls.first();
    EXPECT_TRUE(call.withArguments);
    EXPECT_EQ(call.script, QStringLiteral("window.vesmerFeed && vesmerFeed(b, m, t, l, beat, cen, flux, en)"));
    const char* names[] = {"b", "m", "t", "l", "beat", "cen", "flux", "en"};
    const float values[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
    ASSERT_EQ(call.arguments.size(), 8);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(call.arguments.value(QLatin1String(names[i])).typeId(), QMetaType::Double);
        EXPECT_EQ(call.arguments.value(QLatin1String(names[i])).toDouble(), double(values[i]));
    }
}

TEST(WallpaperWindow, ExpressionsForModeTempoAndLyric)
{
    WindowFixture f;
    struct Row {
        const char* name;
        std::function<void()> send;
        QString expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"mode visuals", [&] { f.window->setLyricMode("visuals"); },
         "window.vesmerLyricMode && vesmerLyricMode('visuals')"},
        {"mode off", [&] { f.window->setLyricMode("off"); }, "window.vesmerLyricMode && vesmerLyricMode('off')"},
        {"mode wrong case", [&] { f.window->setLyricMode("Overlay"); },
         "window.vesmerLyricMode && vesmerLyricMode('overlay')"},
        {"mode empty", [&] { f.window->setLyricMode(""); }, "window.vesmerLyricMode && vesmerLyricMode('overlay')"},
        {"mode with a quote", [&] { f.window->setLyricMode("x');evil('"); },
         "window.vesmerLyricMode && vesmerLyricMode('overlay')"},
        {"tempo", [&] { f.window->setBPM(128.4); }, "window.vesmerSetBPM && vesmerSetBPM(128.4)"},
        {"whole tempo", [&] { f.window->setBPM(120); }, "window.vesmerSetBPM && vesmerSetBPM(120.0)"},
        {"negative tempo", [&] { f.window->setBPM(-5); }, "window.vesmerSetBPM && vesmerSetBPM(0.0)"},
        {"NaN tempo", [&] { f.window->setBPM(nan); }, "window.vesmerSetBPM && vesmerSetBPM(0.0)"},
        {"negative zero tempo", [&] { f.window->setBPM(-0.0); }, "window.vesmerSetBPM && vesmerSetBPM(0.0)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        f.page().calls.clear();
        row.send();
        EXPECT_EQ(f.page().evaluated(), QStringList{row.expected});
    }

    f.page().calls.clear();
    const QString hostile = QStringLiteral("it's \"quoted\" \\ </script>\n") + QChar(0x2028);
    f.window->setLyric(hostile);
    ASSERT_EQ(f.page().calls.size(), 1);
    EXPECT_EQ(f.page().calls[0].script, QStringLiteral("window.vesmerLyric && vesmerLyric(line)"));
    EXPECT_EQ(f.page().calls[0].arguments, (QVariantMap{{"line", hostile}}));
}

TEST(WallpaperWindow, EffectsTravelAsJsonAndNaNSendsNothing)
{
    WindowFixture f;
    f.window->setFx({{"bloom", 0.5}, {"radialBlur", 1.0}, {"hue", 0.0}});
    ASSERT_EQ(f.page().evaluated().size(), 1);
    const QString expression = f.page().evaluated().first();
    const QString prefix = QStringLiteral("window.vesmerSetFx && vesmerSetFx('");
    ASSERT_TRUE(expression.startsWith(prefix));
    ASSERT_TRUE(expression.endsWith(QStringLiteral("')")));
    const QString json = expression.mid(prefix.size(), expression.size() - prefix.size() - 2);
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    EXPECT_EQ(object.toVariantMap(), (QVariantMap{{"bloom", 0.5}, {"radialBlur", 1.0}, {"hue", 0.0}}));

    f.page().calls.clear();
    f.window->setFx({{"bloom", std::numeric_limits<double>::quiet_NaN()}, {"hue", 1.0}});
    f.window->setFx({{"bloom", std::numeric_limits<double>::infinity()}});
    EXPECT_TRUE(f.page().calls.isEmpty());
}

TEST(WallpaperWindow, StepThemePassesOnlyStringAnswers)
{
    WindowFixture f;
    const QString step = QStringLiteral("vesmerStep(-1); vesmerCurrentTheme()");
    QStringList got;
    auto collect = [&got](const QString& name) { got << name; };

    f.page().replies[step] = ScriptReply{QStringLiteral("Aurora"), std::nullopt};
    f.window->stepTheme(-1, collect);
    f.page().replies[step] = ScriptReply{};  // a number or nothing
    f.window->stepTheme(-1, collect);
    f.page().replies[step] = ScriptReply{std::nullopt, QStringLiteral("vesmerStep is not defined")};
    f.window->stepTheme(-1, collect);
    f.window->stepTheme(-1);  // no callback at all

    EXPECT_EQ(got, QStringList{"Aurora"});
    EXPECT_EQ(f.page().countOf(step), 4);
}

TEST(WallpaperWindow, CloseStopsVisibilityTrackingAndClosesTheHostOnce)
{
    WindowFixture f;
    f.window->close();
    f.window->close();
    EXPECT_EQ(f.host->closeCount, 1);
    f.host->setVisibleOnScreen(false);
    EXPECT_TRUE(f.page().calls.isEmpty());
}
