#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "wallpaper/ScreenList.h"

namespace {
const ScreenInfo kLeft{QStringLiteral("LEFT"), QRect(0, 0, 1920, 1080)};
const ScreenInfo kRight{QStringLiteral("RIGHT"), QRect(1920, 0, 1024, 768)};
}  // namespace

TEST(ScreenList, SelectionPastTheEndOrOfAnUnpluggedScreenIsTheFirstAndNoneWithoutScreens)
{
    FakeScreens screens;
    screens.screens = {kLeft, kRight};
    ScreenList list(screens);
    list.setSelectedIndex(5);
    EXPECT_EQ(list.current(), kLeft) << "a selection past the end reads as the first screen";
    EXPECT_EQ(list.selectedIndex(), 5) << "only a change of screens resets it";
    list.setSelectedIndex(1);
    EXPECT_EQ(list.current(), kRight);

    int allChanges = 0;
    QObject::connect(&list, &ScreenList::allChanged, [&allChanges] { ++allChanges; });
    screens.set({kLeft});
    EXPECT_EQ(allChanges, 1);
    EXPECT_EQ(list.all(), QList<ScreenInfo>{kLeft});
    EXPECT_EQ(list.selectedIndex(), 0);
    EXPECT_EQ(list.current(), kLeft);
    screens.set({kLeft});
    EXPECT_EQ(allChanges, 1) << "an unchanged list is not news";

    screens.set({});
    EXPECT_EQ(list.current(), std::nullopt);
}

TEST(ScreenList, OutlivingItsScreensIsHarmless)
{
    auto screens = std::make_unique<FakeScreens>();
    ScreenList list(*screens);
    screens.reset();
    EXPECT_EQ(list.current(), (ScreenInfo{"Built-in Display", QRect(0, 0, 1920, 1080)}));
}
