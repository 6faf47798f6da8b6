// The veltrix program on a private two-monitor Xvfb (one 2560x720 screen, the
// right half the primary monitor), and the decisions it makes on the way:
// which monitor a window belongs to, when the next frame is due, window ids.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "host/Monitors.h"
#include "host/Options.h"
#include "host/XHost.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

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
            std::vector<char*> argv = {const_cast<char*>(VELTRIX_BINARY_DIR "/veltrix")};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return child;
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Waits (generously: a loaded machine) for the child to have shown its first frames.
    static bool WaitForFirstFrames(const SChild& child)
    {
        for (int i = 0; i < 600; ++i) {
            if (Read(child.errPath).find("first frames presented") != std::string::npos)
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
            Window root = None, up = None, *children = nullptr;
            unsigned int count = 0, w = 0, h = 0, border = 0, depth = 0;
            int x = 0, y = 0;
            bool sized = false;
            if (XQueryTree(s_pDisplay, parent, &root, &up, &children, &count) && count == 1)
                sized = XGetGeometry(s_pDisplay, children[0], &root, &x, &y, &w, &h, &border, &depth) && w == width &&
                        h == height;
            if (children)
                XFree(children);
            if (sized)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The child's exit status; -1 if it had to be killed after 30 s.
    static int WaitForExit(const SChild& child)
    {
        for (int i = 0; i < 600; ++i) {
            int status = 0;
            if (waitpid(child.pid, &status, WNOHANG) == child.pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);
        return -1;
    }

    // Samples in the data chunk of the WAVE file the child recorded its sound into.
    static size_t WaveDataBytes(const std::string& path)
    {
        const std::string wave = Read(path);
        const size_t data = wave.find("data", 12);
        uint32_t bytes = 0;
        if (data == std::string::npos || data + 8 > wave.size())
            return 0;
        std::memcpy(&bytes, wave.data() + data + 4, 4);
        return bytes;
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
    ASSERT_TRUE(WaitForFirstFrames(child)) << Read(child.errPath);

    XImage* image = XGetImage(s_pDisplay, DefaultRootWindow(s_pDisplay), 100, 100, 320, 240, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int untouched = 0;
    std::set<unsigned long> colours;
    for (int y = 0; y < 240; y += 4) {
        for (int x = 0; x < 320; x += 4) {
            const unsigned long pixel = XGetPixel(image, x, y) & 0xffffff;
            untouched += pixel == Untouched;
            colours.insert(pixel);
        }
    }
    XDestroyImage(image);
    EXPECT_EQ(untouched, 0);
    EXPECT_GT(colours.size(), 10u);

    // The view follows the window's size: its OpenGL window inside takes the new one.
    XResizeWindow(s_pDisplay, w, 200, 150);
    XSync(s_pDisplay, False);
    EXPECT_TRUE(WaitForChildSize(w, 200, 150));

    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << Read(child.errPath);
    EXPECT_NE(Read(child.errPath).find("320x240+0+0 in window " + Hex(w) + ": main screen, preview"), std::string::npos)
        << Read(child.errPath);
}

TEST_F(XHostProgram, RootOnTheSecondaryMonitorIsSilentAndLeavesWithItsWindow)
{
    const Window w = MakeWindow(0, 0, 1280, 720); // the daemon's window over the left monitor
    const SChild child = Spawn({"--root", "--verbose", "--audio", m_Scratch / "sound.wav"}, Hex(w));
    ASSERT_TRUE(WaitForFirstFrames(child)) << Read(child.errPath);
    XDestroyWindow(s_pDisplay, w);
    XSync(s_pDisplay, False);
    EXPECT_EQ(WaitForExit(child), 0) << Read(child.errPath);

    const std::string err = Read(child.errPath);
    EXPECT_NE(err.find("1280x720+0+0 in window " + Hex(w) + ": main screen\n"), std::string::npos) << err;
    EXPECT_NE(err.find("sounds off for this run"), std::string::npos) << err;
    EXPECT_EQ(WaveDataBytes(m_Scratch / "sound.wav"), 0u);
}

TEST_F(XHostProgram, HostErrorsAreOneLineAndStatusOne)
{
    const SChild missingWindow = Spawn({"--window-id", "0x7ffffff"});
    EXPECT_EQ(WaitForExit(missingWindow), 1);
    EXPECT_EQ(Read(missingWindow.errPath), "veltrix: no such window 0x7ffffff\n");

    // A server that goes away mid-run: one line, status 1, no core dump.
    CXvfb doomed;
    ASSERT_TRUE(doomed.Start(320, 200));
    const SChild lost = Spawn({"--all-screens", "--verbose"}, "", &doomed);
    ASSERT_TRUE(WaitForFirstFrames(lost)) << Read(lost.errPath);
    doomed.Stop();
    EXPECT_EQ(WaitForExit(lost), 1);
    EXPECT_NE(Read(lost.errPath).find("\nveltrix: lost the X server\n"), std::string::npos) << Read(lost.errPath);

    const SChild missingModule = Spawn({"--module", m_Scratch / "Nothing.saver"});
    EXPECT_EQ(WaitForExit(missingModule), 1);
    EXPECT_TRUE(std::regex_match(Read(missingModule.errPath), std::regex("veltrix: [^\n]*Nothing.saver[^\n]*\n")))
        << Read(missingModule.errPath);
}

TEST_F(XHostProgram, AllScreensMakesAViewPerMonitorWithThePrimaryTheOnlyMainAndMusic)
{
    const SChild child = Spawn({"--all-screens", "--verbose", "--audio", m_Scratch / "sound.wav"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << Read(child.errPath);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // lets the music reach the file
    kill(child.pid, SIGINT);
    EXPECT_EQ(WaitForExit(child), 0) << Read(child.errPath);

    const std::string err = Read(child.errPath);
    const std::regex view("view (\\S+) in window \\S+: (main|secondary) screen\n");
    std::map<std::string, std::string> views; // frame -> kind
    for (auto it = std::sregex_iterator(err.begin(), err.end(), view); it != std::sregex_iterator(); ++it)
        views[(*it)[1]] = (*it)[2];
    EXPECT_EQ(views, (std::map<std::string, std::string>{{"1280x720+0+0", "main"}, {"1280x720-1280+0", "secondary"}}))
        << err;
    EXPECT_GT(WaveDataBytes(m_Scratch / "sound.wav"), 0u);
}

TEST_F(XHostProgram, AWindowShrunkToOnePixelAndBackIsDrawnAgain)
{
    const Window w = MakeWindow(100, 100, 320, 240);
    const SChild child = Spawn({"-window-id", Hex(w), "-verbose"});
    ASSERT_TRUE(WaitForFirstFrames(child)) << Read(child.errPath);
    XResizeWindow(s_pDisplay, w, 1, 1);
    XSync(s_pDisplay, False);
    EXPECT_TRUE(WaitForChildSize(w, 1, 1));
    XResizeWindow(s_pDisplay, w, 320, 240);
    XSync(s_pDisplay, False);
    EXPECT_TRUE(WaitForChildSize(w, 320, 240));

    // Its next frames fill the whole window again.
    int untouched = -1;
    for (int i = 0; i < 600 && untouched != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        XImage* image = XGetImage(s_pDisplay, DefaultRootWindow(s_pDisplay), 100, 100, 320, 240, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        untouched = 0;
        for (int y = 0; y < 240; y += 8)
            for (int x = 0; x < 320; x += 8)
                untouched += (XGetPixel(image, x, y) & 0xffffff) == Untouched;
        XDestroyImage(image);
    }
    EXPECT_EQ(untouched, 0);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << Read(child.errPath);
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
    ASSERT_TRUE(WaitForFirstFrames(child)) << Read(child.errPath);
    const size_t shown = Read(child.errPath).size();
    server.Stop();
    EXPECT_EQ(WaitForExit(child), 1);
    EXPECT_EQ(Read(child.errPath).substr(shown), "veltrix: lost the X server\n");

    const std::string wave = Read(wav);
    const size_t data = wave.find("data", 12);
    ASSERT_NE(data, std::string::npos);
    uint32_t riffBytes = 0, dataBytes = 0;
    std::memcpy(&riffBytes, wave.data() + 4, 4);
    std::memcpy(&dataBytes, wave.data() + data + 4, 4);
    EXPECT_EQ(riffBytes, wave.size() - 8);
    EXPECT_EQ(dataBytes, wave.size() - data - 8);
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
}

} // namespace
