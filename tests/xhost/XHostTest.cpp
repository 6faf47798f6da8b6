// The veltrix program on a private two-monitor Xvfb (one 2560x720 screen, the
// right half the primary monitor), and the decisions it makes on the way:
// which monitor a window belongs to, when the next frame is due, window ids.
// What changes the screen itself (cloned monitors, XRandR resizes) runs on a
// one-monitor Xvfb of its own.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "host/x11/Monitors.h"
#include "host/app/Options.h"
#include "host/x11/XHost.h"
#include "tests/support/Child.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::vector<SMonitor> TwoMonitors = {{0, 0, 1280, 720, false, "left"}, {1280, 0, 1280, 720, true, "right"}};

TEST(XHostDecisions, WindowBelongsToTheMonitorItCoversMost)
{
    EXPECT_TRUE(WindowIsOnPrimary(TwoMonitors, 1280, 0, 1280, 720));
    EXPECT_FALSE(WindowIsOnPrimary(TwoMonitors, 0, 0, 1280, 720));
    EXPECT_FALSE(WindowIsOnPrimary(TwoMonitors, 1000, 100, 400, 300)); // mostly on the left
    // The root window covers both; a primary smaller than the other still wins.
    const std::vector<SMonitor> small = {{0, 0, 2560, 1440, false, "big"}, {2560, 0, 1280, 720, true, "small"}};
    EXPECT_TRUE(WindowIsOnPrimary(small, 0, 0, 3840, 1440));
    EXPECT_TRUE(WindowIsOnPrimary(TwoMonitors, 5000, 5000, 10, 10)); // on no monitor: alone with its screen
}

TEST(XHostDecisions, AWindowCoveringItsMonitorIsNoPreview)
{
    EXPECT_TRUE(WindowCoversItsMonitor(TwoMonitors, 1280, 0, 1280, 720));
    EXPECT_TRUE(WindowCoversItsMonitor(TwoMonitors, 0, 0, 2560, 720)); // the root window
    EXPECT_FALSE(WindowCoversItsMonitor(TwoMonitors, 1400, 100, 480, 300)); // a dialog's preview
    EXPECT_FALSE(WindowCoversItsMonitor(TwoMonitors, 0, 0, 1280, 719));
    EXPECT_TRUE(WindowCoversItsMonitor(TwoMonitors, 5000, 5000, 10, 10)); // on no monitor: alone with its screen
}

TEST(XHostDecisions, LateFrameRestartsTheTicksInsteadOfCatchingUp)
{
    const double interval = 1.0 / 30.0;
    EXPECT_DOUBLE_EQ(NextDeadline(1.0, 1.0005, interval), 1.0 + interval); // on time: the grid holds
    // 0.1 s late: the next frame is one interval after this one, not three due at once.
    EXPECT_DOUBLE_EQ(NextDeadline(1.0, 1.1, interval), 1.1 + interval);
}

TEST(XHostDecisions, WindowIdsAndOneDashOptions)
{
    unsigned long id = 0;
    EXPECT_TRUE(ParseWindowId("0x1a00007", id));
    EXPECT_EQ(id, 0x1a00007u);
    EXPECT_TRUE(ParseWindowId("27262983", id));
    EXPECT_EQ(id, 27262983u);
    for (const char* bad : {"", "0x", "0", "12ab", "0x-1", "-5"})
        EXPECT_FALSE(ParseWindowId(bad, id)) << bad;

    const char* argv[] = {"veltrix", "-window-id", "0x42", "-root", "-density", "7", "--static-camera"};
    SOptions options;
    std::string error;
    ASSERT_TRUE(ParseOptions(7, argv, options, error)) << error;
    EXPECT_EQ(options.m_WindowId, 0x42u);
    EXPECT_TRUE(options.m_bRoot);
    EXPECT_EQ(options.m_nDensity, 7);
    EXPECT_TRUE(options.m_bStaticCamera);
}

struct SChild
{
    pid_t pid = -1;
    std::string errPath;
};

class XHostProgram : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pXvfb = new CXvfb;
        ASSERT_TRUE(s_pXvfb->Start(2560, 720));
        // Held for the whole suite: the monitors set here live as long as a client does.
        s_pDisplay = XOpenDisplay(s_pXvfb->DisplayName().c_str());
        ASSERT_NE(s_pDisplay, nullptr);
        const Window root = DefaultRootWindow(s_pDisplay);
        XRRScreenResources* resources = XRRGetScreenResources(s_pDisplay, root);
        ASSERT_TRUE(resources && resources->noutput > 0);
        for (const SMonitor& m : TwoMonitors) {
            XRRMonitorInfo* info = XRRAllocateMonitor(s_pDisplay, m.m_bPrimary ? 0 : 1);
            info->name = XInternAtom(s_pDisplay, m.m_Name.c_str(), False);
            info->x = m.m_nX;
            info->y = m.m_nY;
            info->width = m.m_nWidth;
            info->height = m.m_nHeight;
            info->mwidth = 338;
            info->mheight = 190;
            info->primary = m.m_bPrimary;
            if (!m.m_bPrimary) // the screen's one output, so its own whole-screen monitor goes
                info->outputs[0] = resources->outputs[0];
            XRRSetMonitor(s_pDisplay, root, info);
            XFree(info);
        }
        XRRFreeScreenResources(resources);
        ASSERT_EQ(ListMonitors(s_pDisplay).size(), 2u);
    }

    static void TearDownTestSuite()
    {
        XCloseDisplay(s_pDisplay);
        delete s_pXvfb;
    }

    Window MakeWindow(int x, int y, int width, int height)
    {
        const Window w =
            XCreateSimpleWindow(s_pDisplay, DefaultRootWindow(s_pDisplay), x, y, width, height, 0, 0, Untouched);
        XMapWindow(s_pDisplay, w);
        XSync(s_pDisplay, False);
        return w;
    }

    SChild Spawn(const std::vector<std::string>& args, const std::string& xscreensaverWindow = "",
                 const CXvfb* server = s_pXvfb)
    {
        SChild child;
        child.errPath = m_Scratch / ("stderr-" + std::to_string(m_nChildren++) + ".txt");
        child.pid = fork();
        if (child.pid == 0) {
            freopen(child.errPath.c_str(), "w", stderr);
            setenv("DISPLAY", server->DisplayName().c_str(), 1);
            setenv("ALSOFT_DRIVERS", "null", 1);
            if (!xscreensaverWindow.empty())
                setenv("XSCREENSAVER_WINDOW", xscreensaverWindow.c_str(), 1);
            std::vector<std::string> argv = {VELTRIX_BINARY_DIR "/veltrix"};
            argv.insert(argv.end(), args.begin(), args.end());
            ExecArgv(argv);
        }
        return child;
    }

    // Waits (generously: a loaded machine) for the child to have shown its first frames.
    static bool WaitForFirstFrames(const SChild& child)
    {
        for (int i = 0; i < 600; ++i) {
            if (ReadWholeFile(child.errPath).find("first frames presented") != std::string::npos)
                return true;
            int status = 0;
            if (waitpid(child.pid, &status, WNOHANG) == child.pid)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    static bool WaitForChildSize(Window parent, unsigned int width, unsigned int height)
    {
        for (int i = 0; i < 600; ++i) {
            XWindowAttributes a;
            const Window child = OnlyChild(parent);
            if (child != None && XGetWindowAttributes(s_pDisplay, child, &a) && a.width == static_cast<int>(width) &&
                a.height == static_cast<int>(height))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The child's exit status; -1 if it had to be killed after 30 s.
    static int WaitForExit(const SChild& child) { return ::WaitForExit(child.pid, 30.0); }

    // Samples in the data chunk of the WAVE file the child recorded its sound into.
    static size_t WaveDataBytes(const std::string& path)
    {
        const std::string wave = ReadWholeFile(path);
        const size_t data = wave.find("data", 12);
        uint32_t bytes = 0;
        if (data == std::string::npos || data + 8 > wave.size())
            return 0;
        std::memcpy(&bytes, wave.data() + data + 4, 4);
        return bytes;
    }

    // Waits (generously) for the child's stderr to hold text from offset on;
    // group gets the first bracketed part of the match.
    static bool WaitForText(const SChild& child, const std::regex& text, std::string* group = nullptr,
                            size_t offset = 0)
    {
        for (int i = 0; i < 600; ++i) {
            const std::string err = ReadWholeFile(child.errPath);
            std::smatch match;
            if (err.size() > offset && std::regex_search(err.begin() + offset, err.end(), match, text)) {
                if (group)
                    *group = match[1];
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Every fourth pixel of the rectangle on the screen, along both axes: how
    // many are untouched, and how many colours there are.
    static std::pair<int, size_t> Look(int x, int y, int width, int height)
    {
        XImage* image = XGetImage(s_pDisplay, DefaultRootWindow(s_pDisplay), x, y, width, height, AllPlanes, ZPixmap);
        if (!image)
            return {-1, 0};
        int count = 0;
        std::set<unsigned long> colours;
        for (int j = 0; j < height; j += 4) {
            for (int i = 0; i < width; i += 4) {
                const unsigned long pixel = XGetPixel(image, i, j) & 0xffffff;
                count += pixel == Untouched;
                colours.insert(pixel);
            }
        }
        XDestroyImage(image);
        return {count, colours.size()};
    }

    // Waits for the scene to fill the rectangle: none of the test windows'
    // colour, and many colours (not one window's background).
    static bool WaitForScene(int x, int y, int width, int height)
    {
        for (int i = 0; i < 600; ++i) {
            const auto [untouched, colours] = Look(x, y, width, height);
            if (untouched == 0 && colours > 10)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The one child window of parent, or None.
    static Window OnlyChild(Window parent)
    {
        Window root = None, up = None, *children = nullptr, only = None;
        unsigned int count = 0;
        if (XQueryTree(s_pDisplay, parent, &root, &up, &children, &count) && count == 1)
            only = children[0];
        if (children)
            XFree(children);
        return only;
    }

    // Mapped override-redirect windows of a monitor's size on the root.
    static int FullScreenWindows()
    {
        Window root = None, up = None, *children = nullptr;
        unsigned int count = 0;
        int found = 0;
        if (XQueryTree(s_pDisplay, DefaultRootWindow(s_pDisplay), &root, &up, &children, &count)) {
            for (unsigned int i = 0; i < count; ++i) {
                XWindowAttributes a;
                found += XGetWindowAttributes(s_pDisplay, children[i], &a) && a.override_redirect &&
                         a.map_state == IsViewable && a.width == 1280 && a.height == 720;
            }
        }
        if (children)
            XFree(children);
        return found;
    }

    static std::string Hex(Window w) { return "0x" + (std::stringstream() << std::hex << w).str(); }

    static constexpr unsigned long Untouched = 0x00ff00; // the test windows' background
    static CXvfb* s_pXvfb;
    static Display* s_pDisplay;
    CTempDir m_Scratch;
    int m_nChildren = 0;
};

CXvfb* XHostProgram::s_pXvfb = nullptr;
Display* XHostProgram::s_pDisplay = nullptr;

TEST_F(XHostProgram, WindowIdDrawsIntoThatWindowAsThePreviewAndSigtermEndsIt)
{
    const Window w = MakeWindow(100, 100, 320, 240);
    const SChild child = Spawn({"-window-id", Hex(w), "-verbose"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);

    EXPECT_TRUE(WaitForScene(100, 100, 320, 240));

    // The view follows the window's size: its OpenGL window inside takes the new one.
    XResizeWindow(s_pDisplay, w, 200, 150);
    XSync(s_pDisplay, False);
    EXPECT_TRUE(WaitForChildSize(w, 200, 150));

    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    EXPECT_NE(ReadWholeFile(child.errPath).find("320x240+0+0 in window " + Hex(w) + ": main screen, preview"),
              std::string::npos)
        << ReadWholeFile(child.errPath);
}

TEST_F(XHostProgram, RootOnTheSecondaryMonitorIsSilentAndLeavesWithItsWindow)
{
    const Window w = MakeWindow(0, 0, 1280, 720); // the daemon's window over the left monitor
    const SChild child = Spawn({"--root", "--verbose", "--audio", m_Scratch / "sound.wav"}, Hex(w));
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);
    XDestroyWindow(s_pDisplay, w);
    XSync(s_pDisplay, False);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);

    const std::string err = ReadWholeFile(child.errPath);
    EXPECT_NE(err.find("1280x720+0+0 in window " + Hex(w) + ": main screen\n"), std::string::npos) << err;
    EXPECT_NE(err.find("sounds off for this run"), std::string::npos) << err;
    EXPECT_EQ(WaveDataBytes(m_Scratch / "sound.wav"), 0u);
}

TEST_F(XHostProgram, AHostWindowSmallerThanItsMonitorIsASilentPreviewAndAWholeOnePlays)
{
    // MATE's screen saver names its preferences' preview window the way it
    // names its full-screen ones: by XSCREENSAVER_WINDOW alone.
    const Window small = MakeWindow(1400, 100, 480, 300);
    const SChild preview = Spawn({"--root", "--verbose", "--audio", m_Scratch / "preview.wav"}, Hex(small));
    ASSERT_TRUE(WaitForFirstFrames(preview)) << ReadWholeFile(preview.errPath);
    EXPECT_TRUE(WaitForScene(1400, 100, 480, 300));
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // music would reach the file by now
    XDestroyWindow(s_pDisplay, small);
    XSync(s_pDisplay, False);
    EXPECT_EQ(WaitForExit(preview), 0) << ReadWholeFile(preview.errPath);
    EXPECT_EQ(WaveDataBytes(m_Scratch / "preview.wav"), 0u);
    EXPECT_NE(ReadWholeFile(preview.errPath).find(": main screen, preview\n"), std::string::npos)
        << ReadWholeFile(preview.errPath);

    const Window whole = MakeWindow(1280, 0, 1280, 720); // the primary monitor
    const SChild saver = Spawn({"--root", "--verbose", "--audio", m_Scratch / "saver.wav"}, Hex(whole));
    ASSERT_TRUE(WaitForFirstFrames(saver)) << ReadWholeFile(saver.errPath);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XDestroyWindow(s_pDisplay, whole);
    XSync(s_pDisplay, False);
    EXPECT_EQ(WaitForExit(saver), 0) << ReadWholeFile(saver.errPath);
    EXPECT_GT(WaveDataBytes(m_Scratch / "saver.wav"), 0u);
}

TEST_F(XHostProgram, HostErrorsAreOneLineAndStatusOne)
{
    const SChild missingWindow = Spawn({"--window-id", "0x7ffffff"});
    EXPECT_EQ(WaitForExit(missingWindow), 1);
    EXPECT_EQ(ReadWholeFile(missingWindow.errPath), "veltrix: no such window 0x7ffffff\n");

    // A server that goes away mid-run: one line, status 1, no core dump.
    CXvfb doomed;
    ASSERT_TRUE(doomed.Start(320, 200));
    const SChild lost = Spawn({"--all-screens", "--verbose"}, "", &doomed);
    ASSERT_TRUE(WaitForFirstFrames(lost)) << ReadWholeFile(lost.errPath);
    doomed.Stop();
    EXPECT_EQ(WaitForExit(lost), 1);
    EXPECT_NE(ReadWholeFile(lost.errPath).find("\nveltrix: lost the X server\n"), std::string::npos)
        << ReadWholeFile(lost.errPath);

    const SChild missingModule = Spawn({"--module", m_Scratch / "Nothing.saver"});
    EXPECT_EQ(WaitForExit(missingModule), 1);
    EXPECT_TRUE(
        std::regex_match(ReadWholeFile(missingModule.errPath), std::regex("veltrix: [^\n]*Nothing.saver[^\n]*\n")))
        << ReadWholeFile(missingModule.errPath);
}

TEST_F(XHostProgram, AllScreensMakesAViewPerMonitorWithThePrimaryTheOnlyMainAndMusic)
{
    const SChild child = Spawn({"--all-screens", "--verbose", "--audio", m_Scratch / "sound.wav"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // lets the music reach the file
    kill(child.pid, SIGINT);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);

    const std::string err = ReadWholeFile(child.errPath);
    const std::regex view("view (\\S+) in window \\S+: (main|secondary) screen\n");
    std::map<std::string, std::string> views; // frame -> kind
    for (auto it = std::sregex_iterator(err.begin(), err.end(), view); it != std::sregex_iterator(); ++it)
        views[(*it)[1]] = (*it)[2];
    EXPECT_EQ(views, (std::map<std::string, std::string>{{"1280x720+0+0", "main"}, {"1280x720-1280+0", "secondary"}}))
        << err;
    EXPECT_GT(WaveDataBytes(m_Scratch / "sound.wav"), 0u);
}

TEST_F(XHostProgram, AllScreensTakesTheKeysFromTheWindowThatHadTheFocus)
{
    // A desktop window has the focus, and the pointer rests: only the keyboard can end the run.
    const Window focused = MakeWindow(100, 100, 200, 200);
    XSelectInput(s_pDisplay, focused, KeyPressMask);
    XSetInputFocus(s_pDisplay, focused, RevertToParent, CurrentTime);
    XSync(s_pDisplay, False);
    const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);
    const KeyCode a = XKeysymToKeycode(s_pDisplay, XK_a);
    XTestFakeKeyEvent(s_pDisplay, a, True, CurrentTime);
    XTestFakeKeyEvent(s_pDisplay, a, False, CurrentTime);
    XSync(s_pDisplay, False);
    EXPECT_EQ(::WaitForExit(child.pid, 15.0), 0) << ReadWholeFile(child.errPath);
    XEvent event;
    EXPECT_FALSE(XCheckTypedWindowEvent(s_pDisplay, focused, KeyPress, &event)) << "the key reached the window under";
    XDestroyWindow(s_pDisplay, focused);
    XSync(s_pDisplay, False);
}

TEST_F(XHostProgram, AWindowShrunkToOnePixelAndBackIsDrawnAgain)
{
    const Window w = MakeWindow(100, 100, 320, 240);
    const SChild child = Spawn({"-window-id", Hex(w), "-verbose"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);
    XResizeWindow(s_pDisplay, w, 1, 1);
    XSync(s_pDisplay, False);
    EXPECT_TRUE(WaitForChildSize(w, 1, 1));
    XResizeWindow(s_pDisplay, w, 320, 240);
    XSync(s_pDisplay, False);
    EXPECT_TRUE(WaitForChildSize(w, 320, 240));

    // Its next frames fill the whole window again.
    EXPECT_TRUE(WaitForScene(100, 100, 320, 240));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    XDestroyWindow(s_pDisplay, w);
}

TEST_F(XHostProgram, LosingTheXServerEndsTheHostWithOneLineAndAWholeSoundFile)
{
    CXvfb server;
    ASSERT_TRUE(server.Start(320, 240));
    const std::string wav = m_Scratch / "sound.wav";
    const std::string tmp = m_Scratch / "tmp"; // where the sound's private configuration goes
    std::filesystem::create_directories(tmp);
    setenv("TMPDIR", tmp.c_str(), 1);
    const SChild child = Spawn({"--verbose", "--audio", wav}, "", &server);
    unsetenv("TMPDIR");
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);
    const size_t shown = ReadWholeFile(child.errPath).size();
    server.Stop();
    EXPECT_EQ(WaitForExit(child), 1);
    EXPECT_EQ(ReadWholeFile(child.errPath).substr(shown), "veltrix: lost the X server\n");

    const std::string wave = ReadWholeFile(wav);
    const size_t data = wave.find("data", 12);
    ASSERT_NE(data, std::string::npos);
    uint32_t riffBytes = 0, dataBytes = 0;
    std::memcpy(&riffBytes, wave.data() + 4, 4);
    std::memcpy(&dataBytes, wave.data() + data + 4, 4);
    EXPECT_EQ(riffBytes, wave.size() - 8);
    EXPECT_EQ(dataBytes, wave.size() - data - 8);
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
}

TEST_F(XHostProgram, ViewWindowsAreBlackUntilTheFirstFrames)
{
    // Covering the primary monitor, so the start decodes the music before any
    // frame (a smaller window would be a silent preview).
    const Window w = MakeWindow(1280, 0, 1280, 720);
    const SChild child = Spawn({"--root", "--verbose"}, Hex(w));
    Window view = None;
    for (int i = 0; i < 6000 && view == None; ++i) {
        XWindowAttributes attributes;
        const Window c = OnlyChild(w);
        if (c != None && XGetWindowAttributes(s_pDisplay, c, &attributes) && attributes.map_state == IsViewable)
            view = c;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_NE(view, None) << ReadWholeFile(child.errPath);
    int looks = 0, untouched = 0;
    while (ReadWholeFile(child.errPath).find("first frames presented") == std::string::npos && looks < 10000) {
        untouched += Look(1400, 100, 320, 240).first;
        ++looks;
    }
    EXPECT_GT(looks, 0);
    EXPECT_EQ(untouched, 0) << "the window's own background showed in " << looks << " looks before the first frames";
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    XDestroyWindow(s_pDisplay, w);
}

TEST_F(XHostProgram, AViewOutOfSightIsNotDrawnAndIsDrawnAgainWhenItShows)
{
    const Window w = MakeWindow(100, 100, 320, 240);
    const SChild child = Spawn({"-window-id", Hex(w), "-verbose"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);
    const std::regex hidden("out of sight after (\\d+) frames"), shown("in sight again after (\\d+) frames");

    // Covered by another window, then unmapped: no frame while out of sight either way.
    const Window cover =
        XCreateSimpleWindow(s_pDisplay, DefaultRootWindow(s_pDisplay), 50, 50, 420, 340, 0, 0, Untouched);
    for (const bool unmap : {false, true}) {
        const size_t offset = ReadWholeFile(child.errPath).size();
        if (unmap)
            XUnmapWindow(s_pDisplay, w);
        else
            XMapWindow(s_pDisplay, cover);
        XSync(s_pDisplay, False);
        std::string framesHidden, framesShown;
        ASSERT_TRUE(WaitForText(child, hidden, &framesHidden, offset)) << ReadWholeFile(child.errPath);
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // 15 frames' time
        if (unmap)
            XMapWindow(s_pDisplay, w);
        else
            XUnmapWindow(s_pDisplay, cover);
        XSync(s_pDisplay, False);
        ASSERT_TRUE(WaitForText(child, shown, &framesShown, offset)) << ReadWholeFile(child.errPath);
        EXPECT_EQ(framesShown, framesHidden) << ReadWholeFile(child.errPath);
        EXPECT_TRUE(WaitForScene(100, 100, 320, 240)) << unmap;
    }
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    XDestroyWindow(s_pDisplay, cover);
    XDestroyWindow(s_pDisplay, w);
}

TEST_F(XHostProgram, AllScreensCountsTheSettleTimeFromTheFirstFrames)
{
    XWarpPointer(s_pDisplay, None, DefaultRootWindow(s_pDisplay), 0, 0, 0, 0, 640, 360);
    XSync(s_pDisplay, False);
    // A slow start: the process is held while it loads the scene, and the
    // pointer moves meanwhile.
    SChild child;
    for (int attempt = 0; attempt < 3 && child.pid < 0; ++attempt) {
        child = Spawn({"--all-screens", "--verbose"});
        // Its two windows shown, the grabs and the pointer's place follow at once, then the start.
        for (int i = 0; i < 6000 && FullScreenWindows() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(child.pid, SIGSTOP);
        if (ReadWholeFile(child.errPath).find("first frames presented") != std::string::npos) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, nullptr, 0);
            child.pid = -1;
        }
    }
    ASSERT_GT(child.pid, 0) << "the start was never caught before its first frames";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    XWarpPointer(s_pDisplay, None, DefaultRootWindow(s_pDisplay), 0, 0, 0, 0, 700, 400);
    XSync(s_pDisplay, False);
    kill(child.pid, SIGCONT);
    ASSERT_TRUE(WaitForFirstFrames(child)) << ReadWholeFile(child.errPath);

    // The motion from the start does not end the run; motion after the settle time does.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    int status = 0;
    ASSERT_EQ(waitpid(child.pid, &status, WNOHANG), 0) << ReadWholeFile(child.errPath);
    XWarpPointer(s_pDisplay, None, DefaultRootWindow(s_pDisplay), 0, 0, 0, 0, 640, 360);
    XSync(s_pDisplay, False);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
}

TEST(XHostMonitors, ClonedMonitorsAreOneScreen)
{
    CXvfb server;
    ASSERT_TRUE(server.Start(1280, 720));
    Display* display = XOpenDisplay(server.DisplayName().c_str());
    ASSERT_NE(display, nullptr);
    const Window root = DefaultRootWindow(display);
    XRRScreenResources* resources = XRRGetScreenResources(display, root);
    ASSERT_TRUE(resources && resources->noutput > 0);
    for (const bool primary : {false, true}) {
        XRRMonitorInfo* info = XRRAllocateMonitor(display, primary ? 0 : 1);
        info->name = XInternAtom(display, primary ? "laptop" : "projector", False);
        info->width = 1280;
        info->height = 720;
        info->mwidth = 338;
        info->mheight = 190;
        info->primary = primary;
        if (!primary)
            info->outputs[0] = resources->outputs[0];
        XRRSetMonitor(display, root, info);
        XFree(info);
    }
    XRRFreeScreenResources(resources);
    int count = 0;
    XRRFreeMonitors(XRRGetMonitors(display, root, True, &count));
    EXPECT_EQ(count, 2);

    const std::vector<SMonitor> monitors = ListMonitors(display);
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_TRUE(monitors[0].m_bPrimary);
    EXPECT_EQ(monitors[0].m_nWidth, 1280);
    XCloseDisplay(display);
}

TEST_F(XHostProgram, RootIsDrawnUnderEveryWindowAtTheRootsSizeThroughXRandR)
{
    CXvfb server; // its own, for its size changes
    ASSERT_TRUE(server.Start(1280, 720));
    Display* display = XOpenDisplay(server.DisplayName().c_str());
    ASSERT_NE(display, nullptr);
    const Window root = DefaultRootWindow(display);
    const Window other = XCreateSimpleWindow(display, root, 10, 10, 200, 100, 0, 0, Untouched);
    XMapWindow(display, other);
    XSync(display, False);
    // The root's bottom child once it is another's, override-redirect (no
    // window manager takes it over), shown and of this size.
    auto bottom = [&](int width, int height) {
        Window found = None;
        for (int i = 0; i < 600 && found == None; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            Window r = None, up = None, *children = nullptr;
            unsigned int count = 0;
            XWindowAttributes a;
            if (XQueryTree(display, root, &r, &up, &children, &count) && count > 1 && children[0] != other &&
                XGetWindowAttributes(display, children[0], &a) && a.override_redirect && a.map_state == IsViewable &&
                a.width == width && a.height == height)
                found = children[0];
            if (children)
                XFree(children);
        }
        return found;
    };

    const SChild child = Spawn({"--root"}, "", &server);
    const Window view = bottom(1280, 720);
    EXPECT_NE(view, None);
    // XRandR shrinks the screen (its one output off first, as a smaller mode would).
    XRRScreenResources* resources = XRRGetScreenResources(display, root);
    ASSERT_TRUE(resources && resources->ncrtc > 0);
    XRRSetCrtcConfig(display, resources, resources->crtcs[0], CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
    XRRFreeScreenResources(resources);
    XRRSetScreenSize(display, root, 1000, 600, 264, 158);
    XSync(display, False);
    EXPECT_EQ(bottom(1000, 600), view);

    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    XCloseDisplay(display);
}

} // namespace
