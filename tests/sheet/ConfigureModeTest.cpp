// veltrix --configure as a user meets it: the sheet comes up over the
// preview, closing its window stores the settings and ends the program with
// status 0; without a display it says so in one line.
#include "tests/sheet/TestDisplay.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace
{
const char* const kProgram = VELTRIX_BINARY_DIR "/veltrix";

// The sheet: the viewable top-level "Veltrix" window that asks the window
// manager for WM_DELETE_WINDOW (the preview does not).
Window FindSheet(Display* display)
{
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window sheet = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !sheet; ++i)
    {
        XWindowAttributes attributes;
        char* name = nullptr;
        Atom* protocols = nullptr;
        int protocolCount = 0;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            XFetchName(display, children[i], &name) && std::string(name) == "Veltrix" &&
            XGetWMProtocols(display, children[i], &protocols, &protocolCount))
        {
            for (int p = 0; p < protocolCount; ++p)
                if (protocols[p] == deleteWindow)
                    sheet = children[i];
        }
        if (name)
            XFree(name);
        if (protocols)
            XFree(protocols);
    }
    if (children)
        XFree(children);
    return sheet;
}

pid_t Start(const std::string& config, const std::string& log)
{
    const pid_t pid = fork();
    if (pid == 0)
    {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        freopen(log.c_str(), "w", stderr);
        execl(kProgram, kProgram, "-configure", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}
} // namespace

TEST(ConfigureMode, ClosingTheSheetStoresTheSettingsAndEndsWithStatusZero)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    CTempDir config;
    const pid_t pid = Start(config.Path(), config / "log");
    ASSERT_GT(pid, 0);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Window sheet = 0;
    // A guard against a hang, not a timing check: the sheet shows within seconds.
    for (int i = 0; i < 1200 && !sheet && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
    {
        usleep(50000);
        sheet = FindSheet(display);
    }
    ASSERT_NE(sheet, 0u);

    XEvent close = {};
    close.xclient.type = ClientMessage;
    close.xclient.window = sheet;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, sheet, False, NoEventMask, &close);
    XFlush(display);
    XCloseDisplay(display);

    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(config / "veltrix/org.veltrix.Veltrix.conf");
    const std::string stored((std::istreambuf_iterator<char>(in)), {});
    for (const char* line : {"EnableSounds=1", "SoundVolume=30", "PlasmaDensity=100", "StaticCamera=0"})
        EXPECT_NE(stored.find(line), std::string::npos) << stored;
}

TEST(ConfigureMode, WithoutADisplayOneLineAndStatusOne)
{
    CTempDir scratch;
    const std::string command = "env -u DISPLAY XDG_CONFIG_HOME=" + scratch.Path() + " " + kProgram +
                                " --configure 2>" + (scratch / "log");
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    std::ifstream in(scratch / "log");
    const std::string message((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(message.rfind("veltrix: ", 0), 0u) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
}
