#include <gtest/gtest.h>

#include "wallpaper/PageCalls.h"

// The exact texts the visuals page contract fixes for expressions built from values
// (the others are checked where their senders are tested).
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
        {"theme name", PageCalls::currentTheme(),
         QStringLiteral("window.vesmerCurrentTheme ? vesmerCurrentTheme() : '") + QChar(0x2014) + "'"},
        {"apply graph", PageCalls::applyGraph(R"({"a":"it's \"x\"\n"})"),
         R"(vesmerApplyGraph("{\"a\":\"it's \\\"x\\\"\\n\"}"))"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.built, row.expected);
    }
}
