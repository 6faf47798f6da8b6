// veltrix --configure as a user meets it: the sheet comes up over the
// preview, closing the settings stores them and ends the program with status
// 0; without a display it says so in one line.
#include "tests/sheet/TestDisplay.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {
const char* const kProgram = VELTRIX_BINARY_DIR "/veltrix";

// The preview under the sheet: the window the viewable top-level "Veltrix"
// window (the sheet) is transient for; 0 while there is none.
Window FindPreviewUnderSheet(Display* display)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window preview = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !preview; ++i) {
        XWindowAttributes attributes;
        char* name = nullptr;
        Window owner = 0;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            XFetchName(display, children[i], &name) && std::string(name) == "Veltrix" &&
            XGetTransientForHint(display, children[i], &owner))
            preview = owner;
        if (name)
            XFree(name);
    }
    if (children)
        XFree(children);
    return preview;
}

pid_t Start(const std::string& config, const std::string& log)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        freopen(log.c_str(), "w", stderr);
        execl(kProgram, kProgram, "-configure", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}
} // namespace

TEST(ConfigureMode, TheSheetSitsOnThePreviewAndClosingStoresAndEndsWithStatusZero)
{
    ASSERT_FALSE(sheet_test::Display().empty());
    CTempDir config;
    const pid_t pid = Start(config.Path(), config / "log");
    ASSERT_GT(pid, 0);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Window preview = 0;
    // A guard against a hang, not a timing check: the sheet shows within seconds.
    for (int i = 0; i < 1200 && !preview && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
        usleep(50000);
        preview = FindPreviewUnderSheet(display);
    }
    ASSERT_NE(preview, 0u);

    // The window manager's close of the preview window closes the settings as the sheet's would.
    XEvent close = {};
    close.xclient.type = ClientMessage;
    close.xclient.window = preview;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, preview, False, NoEventMask, &close);
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
    const std::string command =
        "env -u DISPLAY XDG_CONFIG_HOME=" + scratch.Path() + " " + kProgram + " --configure 2>" + (scratch / "log");
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    std::ifstream in(scratch / "log");
    const std::string message((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(message.rfind("veltrix: ", 0), 0u) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
}
