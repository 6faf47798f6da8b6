// The veltrix program on private headless Wayland compositors: layer
// surfaces on every output of sway (one at scale 2), outputs that come, go
// and power off, the window mode, full-screen windows where there is no
// layer shell (weston, mutter), and the faults a compositor can cause.
#include "tests/wlhost/WlHostFixture.h"

namespace {

TEST_F(WaylandHost, EveryOutputShowsTheSceneAtItsBufferSizeWithOneMainAndAKeyQuits)
{
    START_OR_SKIP(ECompositor::Sway, TwoOutputs, 2);
    const std::string wav = m_Scratch / "sound.wav";
    const SChild child = Spawn({"--all-screens", "--verbose", "--audio", wav});
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    ASSERT_TRUE(DrawsOn(child, "HEADLESS-2", 4)) << ReadWholeFile(child.errPath);

    const SPicture left = Grab("HEADLESS-1"), right = Grab("HEADLESS-2");
    EXPECT_EQ(left.width, 1280);
    EXPECT_EQ(left.height, 720);
    EXPECT_EQ(right.width, 1600); // drawn at the buffer size, not 800x450 scaled up
    EXPECT_EQ(right.height, 900);
    EXPECT_GT(left.colours, 10u);
    EXPECT_GT(right.colours, 10u);
    EXPECT_GT(right.lit, 20);

    EXPECT_TRUE(TypeUntilGone(child, "x"));
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
    const std::string err = ReadWholeFile(child.errPath);
    EXPECT_NE(err.find("view 1280x720 at scale 1 on HEADLESS-1: main screen, music\n"), std::string::npos) << err;
    EXPECT_NE(err.find("view 1600x900 at scale 2 on HEADLESS-2: secondary screen, no music\n"), std::string::npos)
        << err;
    EXPECT_EQ(err.find("main screen"), err.rfind("main screen")) << err; // exactly one
    EXPECT_GT(WaveDataBytes(ReadWholeFile(wav)), 0u);
}

TEST_F(WaylandHost, OutputsComingAndGoingAndTheMainOneLeavingNeverStopTheScene)
{
    START_OR_SKIP(ECompositor::NestedSway, "", 2);
    const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"});
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);

    ASSERT_EQ(m_Compositor.Run({"swaymsg", "create_output"}), 0);
    ASSERT_TRUE(WaitFor(child, "on WL-3: secondary screen")) << ReadWholeFile(child.errPath);
    ASSERT_TRUE(DrawsOn(child, "WL-3", 3)) << ReadWholeFile(child.errPath);
    ASSERT_EQ(m_Compositor.Outer().Run({"swaymsg", "[title=\"wlroots - WL-3\"] kill"}), 0);
    for (int i = 0; i < 100 && Report(child).count("WL-3"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Report(child).count("WL-3"), 0u) << ReadWholeFile(child.errPath);

    // The main output goes: the one left becomes the main screen and draws on.
    ASSERT_EQ(m_Compositor.Outer().Run({"swaymsg", "[title=\"wlroots - WL-1\"] kill"}), 0);
    ASSERT_TRUE(WaitFor(child, "on WL-2: main screen, no music (--no-sound)")) << ReadWholeFile(child.errPath);
    const auto views = Report(child);
    ASSERT_EQ(views.size(), 1u) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "WL-2", views.begin()->second.frames + 3)) << ReadWholeFile(child.errPath);

    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
}

TEST_F(WaylandHost, TheWindowFollowsItsSizeAtTheOutputsScaleAndQuitsOnQOrClose)
{
    START_OR_SKIP(ECompositor::Sway,
                  "output HEADLESS-1 mode --custom 1280x720 scale 2\n"
                  "default_border none\ndefault_floating_border none\n",
                  1);
    // A size of its own until sway tiles it, so that 1280x720 can only be the tiled one.
    const SChild child = Spawn({"--verbose", "--no-sound", "--size", "400x300"});
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    // Tiled over the whole output: 640x360 logical, drawn at 1280x720 once it is on the output.
    bool sized = false;
    for (int i = 0; i < 60 && !sized; ++i)
        sized = Report(child)["the window"].size == "1280x720";
    EXPECT_TRUE(sized) << ReadWholeFile(child.errPath);
    // sway has taken that frame once it asks for the next one. A frame answering
    // the tiling that came after the window floats would be taken as the
    // window's own new size, and the floating size asked for below lost.
    EXPECT_TRUE(DrawsOn(child, "the window", Report(child)["the window"].frames)) << ReadWholeFile(child.errPath);

    ASSERT_EQ(m_Compositor.Run({"swaymsg", "[app_id=org.veltrix.Veltrix] floating enable, resize set 400 300"}), 0);
    sized = false;
    for (int i = 0; i < 60 && !sized; ++i)
        sized = Report(child)["the window"].size == "800x600";
    EXPECT_TRUE(sized) << ReadWholeFile(child.errPath);

    // On a workspace nobody sees, the compositor sends no frame callbacks: no frames.
    ASSERT_EQ(m_Compositor.Run({"swaymsg", "[app_id=org.veltrix.Veltrix] move container to workspace 9"}), 0);
    std::this_thread::sleep_for(std::chrono::seconds(1)); // a frame on its way may still land
    const long hidden = Report(child)["the window"].frames;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(Report(child)["the window"].frames, hidden);
    ASSERT_EQ(m_Compositor.Run({"swaymsg", "workspace 9"}), 0);
    EXPECT_TRUE(DrawsOn(child, "the window", hidden)) << ReadWholeFile(child.errPath);

    EXPECT_TRUE(TypeUntilGone(child, "q"));
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);

    const SChild closed = Spawn({"--no-sound", "--verbose"});
    ASSERT_TRUE(WaitFor(closed, "first frames presented")) << ReadWholeFile(closed.errPath);
    ASSERT_EQ(m_Compositor.Run({"swaymsg", "[app_id=org.veltrix.Veltrix] kill"}), 0);
    EXPECT_EQ(WaitForExit(closed), 0) << ReadWholeFile(closed.errPath);
    std::string tree;
    m_Compositor.Run({"swaymsg", "-t", "get_tree"}, &tree);
    EXPECT_EQ(tree.find("org.veltrix.Veltrix"), std::string::npos);
}

TEST_F(WaylandHost, WithoutALayerShellEveryOutputGetsAFullScreenWindow)
{
    for (ECompositor kind : {ECompositor::Weston, ECompositor::Mutter}) {
        SCOPED_TRACE(kind == ECompositor::Weston ? "weston" : "mutter");
        if (!StartCompositor(kind)) {
            EXPECT_TRUE(m_bSkip) << "the compositor did not start";
            continue;
        }
        const SChild child = Spawn({"--all-screens", "--verbose", "--no-sound"});
        ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
        const auto views = Report(child);
        ASSERT_EQ(views.size(), 1u) << ReadWholeFile(child.errPath);
        EXPECT_EQ(views.begin()->second.size, "1280x720");
        EXPECT_TRUE(DrawsOn(child, views.begin()->first, views.begin()->second.frames + 3))
            << ReadWholeFile(child.errPath);
        EXPECT_NE(ReadWholeFile(child.errPath).find("at scale 1 on"), std::string::npos);
        kill(child.pid, SIGTERM);
        EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
        m_Compositor.Stop();
    }
}

TEST_F(WaylandHost, NoCompositorAndALostOneAreOneLineAndStatusOne)
{
    const SChild nothing = [&] {
        SChild child;
        child.errPath = m_Scratch / "nothing.txt";
        child.pid = fork();
        if (child.pid == 0) {
            freopen(child.errPath.c_str(), "w", stderr);
            setenv("WAYLAND_DISPLAY", (m_Scratch / "no-such-socket").c_str(), 1);
            unsetenv("DISPLAY");
            execl(VELTRIX_BINARY_DIR "/veltrix", "veltrix", "--all-screens", static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }();
    EXPECT_EQ(WaitForExit(nothing), 1);
    EXPECT_TRUE(std::regex_match(ReadWholeFile(nothing.errPath), std::regex("veltrix: cannot connect to the Wayland "
                                                                            "compositor [^\n]*no-such-socket[^\n]*\n")))
        << ReadWholeFile(nothing.errPath);

    START_OR_SKIP(ECompositor::Sway, TwoOutputs, 2);
    const std::string wav = m_Scratch / "sound.wav";
    const SChild child = Spawn({"--all-screens", "--verbose", "--audio", wav});
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    ASSERT_TRUE(DrawsOn(child, "HEADLESS-1", 3)) << ReadWholeFile(child.errPath);
    const size_t shown = ReadWholeFile(child.errPath).size();
    m_Compositor.Kill();
    EXPECT_EQ(WaitForExit(child), 1);
    EXPECT_EQ(ReadWholeFile(child.errPath).substr(shown), "veltrix: lost the Wayland compositor\n");
    const std::string wave = ReadWholeFile(wav);
    uint32_t riff = 0;
    EXPECT_GT(WaveDataBytes(wave, &riff), 0u);
    EXPECT_EQ(riff, wave.size() - 8);
}

} // namespace
