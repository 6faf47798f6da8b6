// Screen masks follow XRandR's monitors on a two-monitor Xvfb; captures of a
// blank screen are no picture, and a drawn one comes back scaled.
#include "platform/Screens.h"
#include "tests/sheet/TestDisplay.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

TEST(Screens, MaskIsTheFirstMonitorUnderTheFrameElseThePrimary)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    sheet_test::SetTwoMonitors();
    // XRandR lists the primary (right) monitor first; view frames count from its corner.
    EXPECT_EQ(getScreenMaskForFrame({0, 0, 1280, 720}), 1u);
    EXPECT_EQ(getScreenMaskForFrame({-1280, 0, 1280, 720}), 2u);
    EXPECT_EQ(getScreenMaskForFrame({-1000, 100, 10, 10}), 2u);
    EXPECT_EQ(getScreenMaskForFrame({-20, 0, 40, 40}), 1u); // on both: the first listed
    EXPECT_EQ(getScreenMaskForFrame({5000, 5000, 10, 10}), 1u); // on none: the primary
    EXPECT_EQ(getScreenMaskForFrame({1280, 0, 10, 10}), 1u); // touching is not meeting
}

TEST(Screens, BlankScreenGivesNoCaptureAndADrawnOneComesBackScaled)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    sheet_test::SetTwoMonitors();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window root = DefaultRootWindow(display);
    GC gc = XCreateGC(display, root, 0, nullptr);
    XSetForeground(display, gc, 0x000000);
    XFillRectangle(display, root, gc, 0, 0, 2560, 720);
    XSync(display, False);
    EXPECT_EQ(grabScreenShotWithFrame(0, 0, 1280, 720), nullptr);

    // Left half of the primary monitor red.
    XSetForeground(display, gc, 0xff0000);
    XFillRectangle(display, root, gc, 1280, 0, 640, 720);
    XSync(display, False);

    unsigned char* left = grabScreenShotWithFrame(-1280, 0, 1280, 720);
    EXPECT_EQ(left, nullptr); // the other monitor is still all black
    unsigned char* grab = grabScreenShotWithFrame(0, 0, 1280, 720);
    ASSERT_NE(grab, nullptr);
    const unsigned char* west = grab + (512 * 1024 + 100) * 4;
    const unsigned char* east = grab + (512 * 1024 + 900) * 4;
    EXPECT_EQ(west[0], 255);
    EXPECT_EQ(west[1], 0);
    EXPECT_EQ(west[3], 255);
    EXPECT_EQ(east[0], 0);
    std::free(grab);

    XFreeGC(display, gc);
    XCloseDisplay(display);
}
