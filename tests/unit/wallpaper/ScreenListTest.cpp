#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "wallpaper/ScreenList.h"

namespace {
const ScreenInfo kLeft{QStringLiteral("LEFT"), QRect(0, 0, 1920, 1080)};
const ScreenInfo kRight{QStringLiteral("RIGHT"), QRect(1920, 0, 1024, 768)};
}  // namespace

TEST(ScreenList, SelectionPastTheEndOrOfAnUnpluggedScreenIsTheFirstAndNoneWithoutScreens)
{
    auto screens = std::make_unique<FakeScreens>();
    screens->screens = {kLeft, kRight};
    ScreenList list(*screens);
    list.setSelectedIndex(5);
    EXPECT_EQ(std::pair(list.current(), list.selectedIndex()), std::pair(std::optional(kLeft), 5))
        << "a selection past the end reads as the first screen; only a change of screens resets it";
    list.setSelectedIndex(1);
    EXPECT_EQ(list.current(), kRight);

    int allChanges = 0;
    QObject::connect(&list, &ScreenList::allChanged, [&allChanges] { ++allChanges; });
    screens->set({kLeft});
    EXPECT_EQ(std::tuple(allChanges, list.all(), list.selectedIndex(), list.current()),
              std::tuple(1, QList<ScreenInfo>{kLeft}, 0, std::optional(kLeft)));
    screens->set({kLeft});
    EXPECT_EQ(allChanges, 1) << "an unchanged list is not news";

    screens->set({});
    EXPECT_EQ(list.current(), std::nullopt);
    screens.reset();
    EXPECT_EQ(list.current(), std::nullopt) << "outliving its screens is harmless";
}
