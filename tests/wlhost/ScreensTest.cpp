// What the X and Wayland hosts decide alike about a run's screens.
#include "host/loop/Screens.h"

#include <gtest/gtest.h>

namespace {

TEST(ScreenDecisions, TheMainScreenIsThePrimaryElseTheOneAtTheOriginWhereverItIsListed)
{
    EXPECT_EQ(MainScreenIndex({{1280, 0, false}, {0, 0, false}}), 1);
    EXPECT_EQ(MainScreenIndex({{1280, 0, false}, {0, 0, false}, {0, 720, true}}), 2);
    EXPECT_EQ(MainScreenIndex({{100, 0, false}, {-1280, 0, false}}), 0);
    EXPECT_EQ(MainScreenIndex({}), -1);
}

TEST(ScreenDecisions, FrameOriginsAreOffsetsFromTheMainScreenAndNeverItsOwnForAnotherScreen)
{
    double x = -1.0, y = -1.0;
    FrameOrigin({1280, 0, false}, {1280, 0, false}, true, x, y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    FrameOrigin({1280, 0, false}, {0, 720, false}, false, x, y);
    EXPECT_EQ(x, -1280.0);
    EXPECT_EQ(y, 720.0);
    FrameOrigin({0, 0, false}, {0, 0, false}, false, x, y); // a mirror of the main screen
    EXPECT_FALSE(x == 0.0 && y == 0.0);
}

TEST(ScreenDecisions, FullScreenRunsEndOnAnyKeyOrButtonAWindowOnlyOnEscapeOrQ)
{
    EXPECT_TRUE(KeyQuits(true, false));
    EXPECT_TRUE(KeyQuits(false, true));
    EXPECT_FALSE(KeyQuits(false, false));
    EXPECT_TRUE(ButtonQuits(true));
    EXPECT_FALSE(ButtonQuits(false));
    EXPECT_EQ(ViewLine(640, 360, " at scale 2 on DP-1", true, ", music"),
              "view 640x360 at scale 2 on DP-1: main screen, music");
}

} // namespace
