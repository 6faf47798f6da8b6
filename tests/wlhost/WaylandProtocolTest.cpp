// What the program asks of the compositor and what it shows there, read
// from the protocol (WAYLAND_DEBUG=client), the screen and the recorded
// sound: the run's settings, buffer sizes and scales, the order of
// configures and buffers, regions, decorations, the outputs' power, and a
// run whose views all fail.
#include "tests/wlhost/WlHostFixture.h"

namespace {

const char OneSmallOutput[] = "output HEADLESS-1 mode --custom 640x360 position 0 0\n";

void DebugProtocol(void*)
{
    setenv("WAYLAND_DEBUG", "client", 1);
}

// Index of the first line of log that matches pattern; npos for none.
size_t First(const std::string& log, const std::string& pattern)
{
    std::smatch m;
    return std::regex_search(log, m, std::regex(pattern)) ? static_cast<size_t>(m.position(0)) : std::string::npos;
}

TEST_F(WaylandHost, RunSettingsReachTheSaver_NoSoundIsSilentAndTheDensityShowsInThePicture)
{
    START_OR_SKIP(ECompositor::Sway, OneSmallOutput, 1);
    // The sound: music with the defaults, silence with --no-sound.
    double rms[2] = {-1.0, -1.0};
    for (int quiet = 0; quiet < 2; ++quiet) {
        const std::string wav = m_Scratch / ("sound-" + std::to_string(quiet) + ".wav");
        std::vector<std::string> args = {"--all-screens", "--verbose", "--audio", wav};
        if (quiet)
            args.push_back("--no-sound");
        const SChild child = Spawn(args);
        ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
        ASSERT_TRUE(DrawsOn(child, "HEADLESS-1", 60)) << ReadWholeFile(child.errPath); // past the fade-in
        kill(child.pid, SIGTERM);
        EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
        // No sound at all leaves no recording: the device is never opened.
        const std::string wave = ReadWholeFile(wav);
        rms[quiet] = wave.empty() && quiet ? 0.0 : WaveRms(wave);
    }
    EXPECT_GT(rms[0], 0.001);
    EXPECT_GE(rms[1], 0.0);
    EXPECT_LT(rms[1], 0.0001);

    // The picture: no bolts at all with --density 0, a crowd of them at 1000.
    int reddish[2] = {-1, -1};
    for (int many = 0; many < 2; ++many) {
        const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound", "--density", many ? "1000" : "0"});
        ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
        ASSERT_TRUE(DrawsOn(child, "HEADLESS-1", 60)) << ReadWholeFile(child.errPath);
        reddish[many] = Grab("HEADLESS-1").reddish;
        kill(child.pid, SIGTERM);
        EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    }
    EXPECT_EQ(reddish[0], 0);
    EXPECT_GT(reddish[1], 50);
}

TEST_F(WaylandHost, FullScreenSurfacesAreOpaqueXrgbAtTheirOutputsScaleAckedBeforeAnyBufferAndHoldNoOutputPower)
{
    START_OR_SKIP(ECompositor::Sway, TwoOutputs, 2);
    const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"}, DebugProtocol);
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    ASSERT_TRUE(DrawsOn(child, "HEADLESS-2", 4)) << ReadWholeFile(child.errPath);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0);
    const std::string log = ReadWholeFile(child.errPath);

    // wlroots hands one power object per output to all its clients: holding
    // one keeps other tools from turning the output off.
    EXPECT_EQ(log.find("get_output_power"), std::string::npos);
    EXPECT_TRUE(Requests(log, "bind\\(\\d+, \"zwlr_output_power_manager_v1\"").empty()) << log;

    // Each layer surface acks its configure before its first buffer.
    const size_t ack = First(log, "zwlr_layer_surface_v1@\\d+\\.ack_configure\\(");
    const size_t attach = First(log, "wl_surface@\\d+\\.attach\\(");
    ASSERT_NE(ack, std::string::npos) << log;
    ASSERT_NE(attach, std::string::npos) << log;
    EXPECT_LT(ack, attach);
    EXPECT_EQ(Requests(log, "zwlr_layer_surface_v1@\\d+\\.ack_configure\\(").size() >= 2, true);

    // The scale-2 output's surface says so, and its buffers are 1600x900.
    EXPECT_FALSE(Requests(log, "wl_surface@\\d+\\.set_buffer_scale\\(2\\)").empty()) << log;
    const auto buffers = Requests(log, "create_buffer\\(new id wl_buffer@\\d+, \\d+, (\\d+), (\\d+), \\d+, (\\d+)\\)");
    ASSERT_FALSE(buffers.empty()) << log;
    bool large = false;
    for (const auto& b : buffers) {
        EXPECT_EQ(b[3], "1") << b[0]; // XRGB8888: no alpha for the compositor to blend
        EXPECT_GT(std::stoi(b[1]), 1) << b[0];
        large = large || (b[1] == "1600" && b[2] == "900");
    }
    EXPECT_TRUE(large) << log;

    // Opaque regions, so a compositor can skip what lies under them.
    EXPECT_GE(Requests(log, "wl_surface@\\d+\\.set_opaque_region\\(wl_region@\\d+\\)").size(), 2u) << log;
}

TEST_F(WaylandHost, TheWindowWaitsForItsConfigureAsksForDecorationsAndCommitsItsOutputsScale)
{
    START_OR_SKIP(ECompositor::Sway, "output HEADLESS-1 mode --custom 1280x720 scale 2\n", 1);
    const SChild child = Spawn({"--verbose", "--no-sound"}, DebugProtocol);
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    // Once on the scale-2 output, drawn at its scale.
    EXPECT_TRUE(WaitFor(child, ".set_buffer_scale(2)")) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "the window", 3)) << ReadWholeFile(child.errPath);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0);
    const std::string log = ReadWholeFile(child.errPath);

    const size_t ack = First(log, "xdg_surface@\\d+\\.ack_configure\\(");
    const size_t attach = First(log, "wl_surface@\\d+\\.attach\\(");
    ASSERT_NE(ack, std::string::npos) << log;
    ASSERT_NE(attach, std::string::npos) << log;
    EXPECT_LT(ack, attach);
    for (const auto& b : Requests(log, "create_buffer\\(new id wl_buffer@\\d+, \\d+, (\\d+), (\\d+),"))
        EXPECT_TRUE(std::stoi(b[1]) > 1 && std::stoi(b[2]) > 1) << b[0]; // never a 1x1 window
    EXPECT_FALSE(Requests(log, "wl_surface@\\d+\\.set_buffer_scale\\(2\\)").empty()) << log;
    // Server-side decorations where the compositor offers them (mode 2).
    EXPECT_FALSE(Requests(log, "zxdg_toplevel_decoration_v1@\\d+\\.set_mode\\(2\\)").empty()) << log;
}

TEST_F(WaylandHost, TheOutputAtTheOriginIsTheMainScreenWhereverTheCompositorListsIt)
{
    START_OR_SKIP(ECompositor::Sway,
                  "output HEADLESS-1 mode --custom 640x360 position 640 0\n"
                  "output HEADLESS-2 mode --custom 640x360 position 0 0\n",
                  2);
    const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"});
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0);
    const std::string err = ReadWholeFile(child.errPath);
    EXPECT_NE(err.find("on HEADLESS-2: main screen"), std::string::npos) << err;
    EXPECT_NE(err.find("on HEADLESS-1: secondary screen"), std::string::npos) << err;
}

// The camera's picture spans the layout: when outputs move, the other views'
// frames are set again from the main one's (the view is made again there).
TEST_F(WaylandHost, RearrangedOutputsGetTheirFramesPlacedAgain)
{
    START_OR_SKIP(ECompositor::Sway,
                  "output HEADLESS-1 mode --custom 640x360 position 0 0\n"
                  "output HEADLESS-2 mode --custom 640x360 position 640 0\n",
                  2);
    const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"});
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    ASSERT_TRUE(DrawsOn(child, "HEADLESS-2", 3)) << ReadWholeFile(child.errPath);
    const std::string placed = "on HEADLESS-2: secondary screen";
    ASSERT_EQ(Requests(ReadWholeFile(child.errPath), placed).size(), 1u);
    ASSERT_EQ(m_Compositor.Run({"swaymsg", "output HEADLESS-2 position 0 360"}), 0);
    bool again = false;
    for (int i = 0; i < 100 && !again; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        again = Requests(ReadWholeFile(child.errPath), placed).size() == 2u;
    }
    EXPECT_TRUE(again) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "HEADLESS-2", 3)) << ReadWholeFile(child.errPath);
    // The main one stays where the music is.
    EXPECT_EQ(Requests(ReadWholeFile(child.errPath), "main screen").size(), 1u);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0);
}

// A keyboard the seat has before the program starts is announced once, as
// the seat is bound; missing that event leaves the run without keys.
TEST_F(WaylandHost, AKeyboardThatWasThereBeforeTheStartEndsAllScreens)
{
    START_OR_SKIP(ECompositor::Sway, OneSmallOutput, 1);
    const pid_t keyboard = fork();
    if (keyboard == 0) {
        m_Compositor.SetClientEnvironment();
        ExecArgv({"/usr/bin/wtype", "-s", "8000", "-k", "Escape"}); // plugged in now, typing in 8 s
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"});
    EXPECT_EQ(::WaitForExit(keyboard, 30.0), 0);
    int status = 0;
    for (int i = 0; i < 40 && waitpid(child.pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const bool ended = kill(child.pid, 0) != 0;
    if (!ended)
        kill(child.pid, SIGKILL);
    EXPECT_TRUE(ended) << ReadWholeFile(child.errPath);
    EXPECT_NE(ReadWholeFile(child.errPath).find("first frames presented"), std::string::npos);
}

TEST_F(WaylandHost, ARunWhoseViewsAllFailSaysWhyAndExitsOne)
{
    START_OR_SKIP(ECompositor::Sway, OneSmallOutput, 1);
    // No EGL vendor at all: no view can be made on any output.
    const SChild child = Spawn({"--all-screens", "--no-sound"},
                               [](void*) { setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent.json", 1); });
    EXPECT_EQ(WaitForExit(child), 1);
    const std::string err = ReadWholeFile(child.errPath);
    EXPECT_TRUE(std::regex_search(err, std::regex("(^|\n)veltrix: cannot make an OpenGL view[^\n]*\\(EGL\\)\n$")))
        << err;
}

} // namespace
