#include <gtest/gtest.h>

#include "wallpaper/PageCalls.h"

// The exact texts the visuals page contract fixes, for the expressions built from
// values (the fixed ones are checked where their senders are tested).
TEST(PageCalls, NumberTextsAndFixedExpressions)
{
    struct Row {
        const char* name;
        QString built;
        QString expected;
    };
    const Row rows[] = {
        {"look", PageCalls::setLook(1.0, 1.5, 0.0, 128.4),
         "window.vesmerSetLook && vesmerSetLook(1.0, 1.5, 0.0, 128.4)"},
        {"look tiny", PageCalls::setLook(1e-7, 1e21, 2.5, 3),
         "window.vesmerSetLook && vesmerSetLook(1e-07, 1e+21, 2.5, 3.0)"},
        {"quality native", PageCalls::setQuality(0.0, 60),
         "window.vesmerSetQuality ? vesmerSetQuality(0.0, 60) : ''"},
        {"quality balanced", PageCalls::setQuality(1.5, 120),
         "window.vesmerSetQuality ? vesmerSetQuality(1.5, 120) : ''"},
        {"theme name", PageCalls::currentTheme(),
         QStringLiteral("window.vesmerCurrentTheme ? vesmerCurrentTheme() : '") + QChar(0x2014) + "'"},
        {"step back", PageCalls::stepTheme(-1), "vesmerStep(-1); vesmerCurrentTheme()"},
        {"step on", PageCalls::stepTheme(1), "vesmerStep(1); vesmerCurrentTheme()"},
        {"spec", PageCalls::spec(), "vesmerSpec()"},
        {"last graph", PageCalls::lastGraph(), "vesmerLastGraph()"},
        {"apply graph", PageCalls::applyGraph(R"({"a":"it's \"x\"\n"})"),
         R"(vesmerApplyGraph("{\"a\":\"it's \\\"x\\\"\\n\"}"))"},
        {"palette", PageCalls::paletteBody(), "return await vesmerPaletteFromImage(u)"},
        {"pause", PageCalls::setPaused(true), "window.vesmerSetPaused && vesmerSetPaused(true)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.built, row.expected);
    }
}
