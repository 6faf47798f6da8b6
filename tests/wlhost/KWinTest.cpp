// The veltrix program on KDE Plasma's KWin, started headless by the test and
// driven as a user and KDE's settings drive it: the window's size and pixel
// density, outputs whose scale changes under a resting pointer, fractional
// scales, clicks, the run's settings as the picture shows them; and the main
// screen chosen by the layout rather than by the order outputs are listed in
// (on sway).
#include "tests/support/Compositor.h"
#include "tests/support/KWin.h"
#include "tests/support/Program.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <regex>
#include <thread>

namespace {

// The sizes of the buffers a WAYLAND_DEBUG=client run attached to its
// surfaces, in order (buffer ids are used again once a buffer goes).
std::vector<std::string> AttachedSizes(const std::string& log)
{
    std::map<std::string, std::string> sizeOf;
    std::vector<std::string> sizes;
    const std::regex request("create_buffer\\(new id wl_buffer@(\\d+), -?\\d+, (\\d+), (\\d+),|"
                             "\\.attach\\(wl_buffer@(\\d+),");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), request); it != std::sregex_iterator(); ++it) {
        if ((*it)[1].matched)
            sizeOf[(*it)[1]] = (*it)[2].str() + "x" + (*it)[3].str();
        else
            sizes.push_back(sizeOf[(*it)[4]]);
    }
    return sizes;
}

// How many buffer pixels the last frame of a WAYLAND_DEBUG=client run has
// per logical pixel across: its buffer's width over the width it is shown
// at (the viewport's destination, else the buffer over its buffer scale).
double PixelsPerLogicalPixel(const std::string& log)
{
    std::map<std::string, int> widthOf;
    int attached = 0, destination = -1, scale = 1;
    const std::regex request("create_buffer\\(new id wl_buffer@(\\d+), -?\\d+, (\\d+), \\d+,|"
                             "\\.attach\\(wl_buffer@(\\d+),|"
                             "set_destination\\((-?\\d+), -?\\d+\\)|"
                             "set_buffer_scale\\((\\d+)\\)");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), request); it != std::sregex_iterator(); ++it) {
        if ((*it)[1].matched)
            widthOf[(*it)[1]] = std::stoi((*it)[2]);
        else if ((*it)[3].matched)
            attached = widthOf[(*it)[3]];
        else if ((*it)[4].matched)
            destination = std::stoi((*it)[4]);
        else
            scale = std::stoi((*it)[5]);
    }
    const double shownAt = destination > 0 ? destination : double(attached) / scale;
    return shownAt > 0 ? attached / shownAt : 0.0;
}

void Sleep(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

class KWinHost : public testing::Test
{
protected:
    // KWin with its outputs, each 1280x720 side by side, and the control of it.
    void Start(int outputs = 1)
    {
        if (!m_KWin.Start(ECompositor::KWin, "", outputs)) {
            if (m_KWin.Missing())
                GTEST_SKIP() << "kwin_wayland is not installed";
            FAIL() << "KWin did not start";
        }
        m_pControl = std::make_unique<CKWinControl>(m_KWin);
        ASSERT_TRUE(m_pControl->Ok()) << "KWin offers no fake input, output management or screenshots";
    }

    SProgram Run(const std::vector<std::string>& args, const Environment& env = {})
    {
        return StartProgram(&m_KWin, args, m_Scratch / ("out-" + std::to_string(m_nRuns++) + ".txt"), env);
    }

    static void Stop(const SProgram& program)
    {
        kill(program.pid, SIGTERM);
        EXPECT_EQ(program.WaitForExit(), 0) << program.Errors();
    }

    // White pixels in the top-left corner of a few screenshots of the output,
    // a second apart (where --fps writes; a star or a flare may pass there).
    long CornerText(const std::string& output, int shots)
    {
        long white = 0;
        for (int i = 0; i < shots; ++i) {
            white += m_pControl->Screenshot(output).WhiteIn(0, 0, 320, 40);
            Sleep(1.0);
        }
        return white;
    }

    CCompositor m_KWin;
    std::unique_ptr<CKWinControl> m_pControl;
    CTempDir m_Scratch;
    int m_nRuns = 0;
};

TEST_F(KWinHost, TheWindowKeepsAUsableSizeThoughKWinConfiguresItLate)
{
    Start();
    const SProgram window = Run({"--no-sound", "--verbose"}, {{"WAYLAND_DEBUG", "client"}});
    ASSERT_TRUE(window.WaitFor("first frames presented")) << window.Errors().substr(0, 4000);
    Sleep(3.0); // KWin's configures come from a timer: the size they bring is in place by now
    const std::vector<std::string> sizes = AttachedSizes(window.Errors());
    ASSERT_FALSE(sizes.empty());
    int width = 0, height = 0;
    std::sscanf(sizes.back().c_str(), "%dx%d", &width, &height);
    EXPECT_GE(width, 320) << sizes.back();
    EXPECT_GE(height, 200) << sizes.back();
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), "1x1"), 0);
    Stop(window);
}

TEST_F(KWinHost, AScaleChangeUnderARestingPointerDoesNotQuitButMotionDoes)
{
    Start();
    // Where a scale of 2 leaves no output: KWin brings the pointer back onto one.
    m_pControl->MovePointer(1000, 600);
    const SProgram saver = Run({"--all-screens", "--no-sound", "--verbose"});
    ASSERT_TRUE(saver.WaitFor("first frames presented")) << saver.Errors();
    // A hand that rests on the mouse: KWin tells the surface where the pointer is.
    m_pControl->MovePointer(1001, 600);
    ASSERT_TRUE(saver.RunsFor(1.5)) << saver.Errors();
    // KDE applies output settings again when a monitor wakes: the pointer
    // never moved, though its surface-local position did.
    ASSERT_TRUE(m_pControl->SetScale("Virtual-0", 2.0));
    EXPECT_TRUE(saver.RunsFor(3.0)) << saver.Errors();
    ASSERT_TRUE(m_pControl->SetScale("Virtual-0", 1.0));
    EXPECT_TRUE(saver.RunsFor(3.0)) << saver.Errors();

    // A pointer that really moves ends it.
    for (int i = 1; i <= 20 && saver.Running(); ++i) {
        m_pControl->MovePointer(300 + 20 * i, 300);
        Sleep(0.2);
    }
    EXPECT_EQ(saver.WaitForExit(), 0) << saver.Errors();
}

TEST_F(KWinHost, OnAScaleTwoOutputTheWindowDrawsEveryPixel)
{
    Start();
    ASSERT_TRUE(m_pControl->SetScale("Virtual-0", 2.0));
    const SProgram window = Run({"--no-sound", "--verbose"}, {{"WAYLAND_DEBUG", "client"}});
    ASSERT_TRUE(window.WaitFor("first frames presented")) << window.Errors().substr(0, 4000);
    Sleep(3.0);
    Stop(window);
    EXPECT_DOUBLE_EQ(PixelsPerLogicalPixel(window.Errors()), 2.0); // not drawn at half and scaled up
}

TEST_F(KWinHost, AClickEndsTheRunOnEveryScreen)
{
    Start();
    m_pControl->MovePointer(640, 360);
    const SProgram saver = Run({"--all-screens", "--no-sound", "--verbose"});
    ASSERT_TRUE(saver.WaitFor("first frames presented")) << saver.Errors();
    ASSERT_TRUE(saver.RunsFor(1.5)) << saver.Errors();
    m_pControl->Click();
    EXPECT_EQ(saver.WaitForExit(20), 0) << saver.Errors();
}

TEST_F(KWinHost, AtScaleOneAndAHalfTheBuffersHaveTheOutputsPixels)
{
    Start();
    ASSERT_TRUE(m_pControl->SetScale("Virtual-0", 1.5));
    const SProgram saver = Run({"--all-screens", "--no-sound", "--verbose"}, {{"WAYLAND_DEBUG", "client"}});
    ASSERT_TRUE(saver.WaitFor("first frames presented")) << saver.Errors().substr(0, 4000);
    Sleep(2.0);
    const std::vector<std::string> sizes = AttachedSizes(saver.Errors());
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back(), "1280x720"); // not 1706x960, scaled down by the compositor
    const SKWinShot shot = m_pControl->Screenshot("Virtual-0");
    EXPECT_EQ(shot.width, 1280);
    EXPECT_GT(shot.Colours(), 10u);
    Stop(saver);
}

TEST_F(KWinHost, TheRunsSettingsReachThePicture)
{
    Start();
    const SProgram fps = Run({"--all-screens", "--no-sound", "--verbose", "--fps"});
    ASSERT_TRUE(fps.WaitFor("first frames presented")) << fps.Errors();
    Sleep(1.0);
    const long withFps = CornerText("Virtual-0", 3);
    Stop(fps);

    const SProgram plain = Run({"--all-screens", "--no-sound", "--verbose"});
    ASSERT_TRUE(plain.WaitFor("first frames presented")) << plain.Errors();
    Sleep(1.0);
    const long without = CornerText("Virtual-0", 3);
    Stop(plain);
    EXPECT_GT(withFps, 300) << "no frame rate written";
    EXPECT_LT(without * 5, withFps);
}

// KDE turns an output off and on again (a monitor unplugged and plugged, a
// lid shut and opened): the layer surface there goes, and the scene must be
// on that output again once it is back; in front of the windows and behind them.
TEST_F(KWinHost, AnOutputTurnedOffAndOnIsCoveredAgain)
{
    Start(2);
    for (const char* mode : {"--all-screens", "--background"}) {
        SCOPED_TRACE(mode);
        const SProgram saver = Run({mode, "--no-sound", "--verbose"});
        ASSERT_TRUE(saver.WaitFor("first frames presented")) << saver.Errors();
        Sleep(1.0);
        for (const std::string& output : m_pControl->Outputs())
            EXPECT_GT(m_pControl->Screenshot(output).Colours(), 10u) << output;
        ASSERT_TRUE(m_pControl->SetEnabled("Virtual-1", false));
        Sleep(1.0);
        ASSERT_TRUE(m_pControl->SetEnabled("Virtual-1", true));
        size_t colours = 0;
        for (int i = 0; i < 20 && colours <= 10; ++i) {
            Sleep(0.5);
            colours = m_pControl->Screenshot("Virtual-1").Colours();
        }
        EXPECT_GT(colours, 10u) << saver.Errors();
        ASSERT_TRUE(saver.Running()) << saver.Errors();
        Stop(saver);
    }
}

TEST(SwayLayout, TheMainScreenIsTheOutputAtTheOriginWhereverItIsListed)
{
    CCompositor sway;
    if (!sway.Start(ECompositor::Sway,
                    "output HEADLESS-1 mode --custom 640x360 position 640 0\n"
                    "output HEADLESS-2 mode --custom 640x360 position 0 0\n",
                    2)) {
        if (sway.Missing())
            GTEST_SKIP() << "sway is not installed";
        FAIL() << "sway did not start";
    }
    CTempDir scratch;
    const SProgram saver = StartProgram(&sway, {"--all-screens", "--verbose", "--no-sound"}, scratch / "out.txt");
    ASSERT_TRUE(saver.WaitFor("first frames presented")) << saver.Errors();
    kill(saver.pid, SIGTERM);
    EXPECT_EQ(saver.WaitForExit(), 0);
    const std::string out = saver.Errors();
    EXPECT_NE(out.find("on HEADLESS-2: main screen"), std::string::npos) << out;
    EXPECT_NE(out.find("on HEADLESS-1: secondary screen"), std::string::npos) << out;
}

} // namespace
