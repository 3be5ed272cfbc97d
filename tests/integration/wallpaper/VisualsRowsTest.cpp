// Every expression of the visuals-page contract, sent by the real app state through
// the real wallpaper window and web engine to the test page, arrives with exactly
// the arguments the contract gives.
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <gtest/gtest.h>

#include "DesktopTestTools.h"
#include "TestPageRecorder.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "platform/qt/QtScreens.h"
#include "wallpaper/PageCalls.h"
#include "platform/qt/QtWallpaperHost.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using WebEngineHarness::waitFor;

namespace {

QString hostileText()
{
    return QStringLiteral("single ' double \" backslash \\ </script> ") + QChar(0x2028) +
           QStringLiteral(" line\nbreak\r\n\ttab end");
}

}  // namespace

TEST(VisualsRows, EveryRowReachesThePageWithItsArguments)
{
    // The app state on the real clock, queue, screens and wallpaper host; the
    // other seams stay doubles.
    TestPlatform tp;
    Platform platform = tp.takeOnRealTime();
    platform.screens = std::make_unique<QtScreens>();
    platform.wallpaperHost = std::make_unique<QtWallpaperHost>(TestPageRecorder::pagePath());
    auto state = std::make_unique<AppState>(std::move(platform));
    tp.settings->setValue("quality.resolution", "balanced");
    tp.settings->setValue("quality.fps", 30);
    tp.settings->setValue("look.speed", 2.5);
    tp.settings->setValue("fx.bloom", 0.5);

    state->setWallpaper(DesktopTestTools::screenNamed("RIGHT"), false);
    EXPECT_EQ(state->wallpaperScreenName(), QStringLiteral("RIGHT"));
    WallpaperWindow& window = *state->wallpaper();
    auto& page = dynamic_cast<QtWebPage&>(window.page());
    ASSERT_TRUE(WebEngineHarness::waitReady(page));
    TestPageRecorder recorder(page);

    // Rows 9, 10, 11 and 8 by the placement itself: theme name after 1.2 s,
    // quality, look, effects after 1.5 s.
    ASSERT_TRUE(waitFor([&] { return state->themeName() == QStringLiteral("Nebula"); }, 10000));
    ASSERT_TRUE(recorder.waitFor("vesmerSetFx"));
    EXPECT_EQ(recorder.calls("vesmerSetQuality").first().args, (QJsonArray{1.5, 30}));
    EXPECT_EQ(recorder.calls("vesmerSetLook").first().args, (QJsonArray{1.0, 2.5, 1.0, 1.0}));
    EXPECT_EQ(tp.log->count("[vesmer] quality applied: quality ok"), 1) << tp.log->lines.join(QLatin1Char(10)).toStdString();
    const QJsonObject effects =
        QJsonDocument::fromJson(recorder.calls("vesmerSetFx").first().args.at(0).toString().toUtf8()).object();
    EXPECT_EQ(effects.size(), 9);
    EXPECT_EQ(effects.value("bloom").toDouble(), 0.5);
    EXPECT_EQ(recorder.calls("vesmerCurrentTheme").size(), 1);

    // Row 1: feed, eight doubles as arguments.
    window.feed(AudioFeatures{0.5f, 0.25f, 0.125f, 1.0f, 0.0f, 0.75f, 2.0f, 0.0625f});
    // The pump feeds the page too (zeros, no audio here): look for this one.
    const QJsonArray fedValues{0.5, 0.25, 0.125, 1.0, 0.0, 0.75, 2.0, 0.0625};
    EXPECT_TRUE(waitFor([&] {
        recorder.collect();
        const auto feeds = recorder.calls("vesmerFeed");
        return std::any_of(feeds.begin(), feeds.end(), [&](const auto& call) { return call.args == fedValues; });
    }));

    // Rows 2, 6, 7: tempo, lyric mode, lyric line with hostile characters. Other
    // parts of the app may send these too: wait for one more of each.
    recorder.collect();
    const auto before = [&recorder](const char* fn) { return int(recorder.calls(fn).size()); };
    const int bpms = before("vesmerSetBPM"), modes = before("vesmerLyricMode"), lyrics = before("vesmerLyric");
    window.setBPM(128.4);
    window.setLyricMode(QStringLiteral("Overlay"));
    window.setLyric(hostileText());
    ASSERT_TRUE(recorder.waitFor("vesmerLyric", lyrics + 1));
    ASSERT_TRUE(recorder.waitFor("vesmerSetBPM", bpms + 1));
    ASSERT_TRUE(recorder.waitFor("vesmerLyricMode", modes + 1));
    EXPECT_EQ(recorder.calls("vesmerSetBPM")[bpms].args, QJsonArray{128.4});
    EXPECT_EQ(recorder.calls("vesmerLyricMode")[modes].args, QJsonArray{"overlay"});
    EXPECT_EQ(recorder.calls("vesmerLyric")[lyrics].args.at(0).toString(), hostileText());

    // Rows 4 and 5: screens asleep and awake.
    tp.events->sleep();
    ASSERT_TRUE(recorder.waitFor("vesmerSetPaused", 1));
    tp.events->wake();
    ASSERT_TRUE(recorder.waitFor("vesmerSetPaused", 2));
    EXPECT_EQ(recorder.calls("vesmerSetPaused")[0].args, QJsonArray{true});
    EXPECT_EQ(recorder.calls("vesmerSetPaused")[1].args, QJsonArray{false});

    // Row 12: theme step, and the name it answers is published.
    WebEngineHarness::evaluate(page, "__answers.vesmerCurrentTheme = 'Aurora'");
    state->stepTheme(1);
    ASSERT_TRUE(waitFor([&] { return state->themeName() == QStringLiteral("Aurora"); }));
    ASSERT_TRUE(recorder.waitFor("vesmerStep"));
    EXPECT_EQ(recorder.calls("vesmerStep").last().args, QJsonArray{1});

    // Row 15: a hostile graph arrives unchanged. (Rows 13 and 14, and what a
    // number or a throw becomes, are the real page's and the page contract's.)
    const QString graph = QStringLiteral(R"({"title":")") + hostileText() + QStringLiteral(R"("})");
    EXPECT_EQ(WebEngineHarness::evaluate(page, PageCalls::applyGraph(graph))->value, QStringLiteral("ok"));
    ASSERT_TRUE(recorder.waitFor("vesmerApplyGraph"));
    EXPECT_EQ(recorder.calls("vesmerApplyGraph").last().args.at(0).toString(), graph);

    // Row 16: an asynchronous palette resolves back to the caller.
    const auto palette = WebEngineHarness::call(page, PageCalls::paletteBody(),
                                                {{"u", QStringLiteral("data:image/jpeg;base64,AAAA")}});
    EXPECT_EQ(palette->value, QStringLiteral(R"(["#102030","#405060"])"));
    ASSERT_TRUE(recorder.waitFor("vesmerPaletteFromImage"));
    EXPECT_EQ(recorder.calls("vesmerPaletteFromImage").last().args, QJsonArray{"data:image/jpeg;base64,AAAA"});

    // Row 11 on a page without vesmerCurrentTheme answers the em dash.
    WebEngineHarness::evaluate(page, "delete window.vesmerCurrentTheme");
    state->refreshThemeName();
    EXPECT_TRUE(waitFor([&] { return state->themeName() == QStringLiteral("\u2014"); }, 10000));

    state->removeWallpaper();
}
