// veltrix --background: a background-layer surface on every output, quiet
// unless --sound, under the windows (a full-screen window stops it drawing
// there), until SIGTERM or SIGINT; through a connection handed over in
// WAYLAND_SOCKET as a lock screen's launcher does.
#include "tests/support/GlobalFilter.h"
#include "tests/wlhost/WlHostFixture.h"

#include <sys/socket.h>
#include <sys/un.h>

namespace {

const char TwoSmallOutputs[] = "output HEADLESS-1 mode --custom 640x360 position 0 0\n"
                               "output HEADLESS-2 mode --custom 640x360 position 640 0\n";

TEST_F(WaylandHost, TheBackgroundLiesUnderEveryWindowTakesNoInputAndIsQuietUnlessAsked)
{
    START_OR_SKIP(ECompositor::Sway, TwoSmallOutputs, 2);
    const std::string quietWav = m_Scratch / "quiet.wav";
    const SChild child =
        Spawn({"--background", "--verbose", "--audio", quietWav}, [](void*) { setenv("WAYLAND_DEBUG", "client", 1); });
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    ASSERT_TRUE(DrawsOn(child, "HEADLESS-2", 60)) << ReadWholeFile(child.errPath);
    EXPECT_GT(Grab("HEADLESS-1").lit, 100);
    EXPECT_GT(Grab("HEADLESS-2").lit, 100);

    // A full-screen window over the first output: the compositor stops asking
    // for frames there, and the other output draws on.
    const SChild window = Spawn({"--no-sound", "--verbose"});
    ASSERT_TRUE(WaitFor(window, "first frames presented")) << ReadWholeFile(window.errPath);
    ASSERT_EQ(m_Compositor.Run({"swaymsg", "[app_id=org.veltrix.Veltrix] fullscreen enable"}), 0);
    std::this_thread::sleep_for(std::chrono::seconds(1)); // a frame on its way may still land
    const auto covered = Report(child);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto later = Report(child);
    ASSERT_EQ(later.size(), 2u) << ReadWholeFile(child.errPath);
    // One of the two outputs is covered (the one sway put the window on).
    const bool firstCovered = later.at("HEADLESS-1").frames == covered.at("HEADLESS-1").frames;
    const std::string hidden = firstCovered ? "HEADLESS-1" : "HEADLESS-2";
    const std::string shown = firstCovered ? "HEADLESS-2" : "HEADLESS-1";
    EXPECT_EQ(later.at(hidden).frames, covered.at(hidden).frames);
    EXPECT_GT(later.at(shown).frames, covered.at(shown).frames);
    kill(window.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(window), 0);
    EXPECT_TRUE(DrawsOn(child, hidden, later.at(hidden).frames)) << ReadWholeFile(child.errPath);

    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0);
    const std::string log = ReadWholeFile(child.errPath);
    // The background layer (0), no keyboard, the whole output, an input region.
    EXPECT_EQ(Requests(log, "get_layer_surface\\(new id zwlr_layer_surface_v1@\\d+, wl_surface@\\d+, wl_output@\\d+, "
                            "0, \"veltrix\"\\)")
                  .size(),
              2u)
        << log;
    EXPECT_TRUE(Requests(log, ", [123], \"veltrix\"\\)").empty()) << log; // no other layer
    EXPECT_GE(Requests(log, "set_keyboard_interactivity\\(0\\)").size(), 2u);
    EXPECT_GE(Requests(log, "set_exclusive_zone\\(-1\\)").size(), 2u);
    EXPECT_GE(Requests(log, "wl_surface@\\d+\\.set_input_region\\(wl_region@\\d+\\)").size(), 2u);
    EXPECT_TRUE(Requests(log, "wl_region@\\d+\\.add\\(0, 0, 640, 360\\)").size() >= 2u); // the opaque ones
    const std::string quietWave = ReadWholeFile(quietWav); // none at all: the device never opened
    const double quiet = quietWave.empty() ? 0.0 : WaveRms(quietWave);
    EXPECT_GE(quiet, 0.0);
    EXPECT_LT(quiet, 0.0001);

    // --sound: the music plays.
    const std::string loudWav = m_Scratch / "loud.wav";
    const SChild loud = Spawn({"--background", "--sound", "--verbose", "--audio", loudWav});
    ASSERT_TRUE(WaitFor(loud, "first frames presented")) << ReadWholeFile(loud.errPath);
    ASSERT_TRUE(DrawsOn(loud, "HEADLESS-1", 60)) << ReadWholeFile(loud.errPath);
    kill(loud.pid, SIGINT);
    EXPECT_EQ(WaitForExit(loud), 0);
    EXPECT_GT(WaveRms(ReadWholeFile(loudWav)), 0.001);
}

// As swaylock-plugin runs its command: the connection made for it in
// WAYLAND_SOCKET, and neither WAYLAND_DISPLAY nor a runtime folder.
void HandOverConnection(void* socketPath)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0); // inherited by the program
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", static_cast<const char*>(socketPath));
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        _exit(126);
    setenv("WAYLAND_SOCKET", std::to_string(fd).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(WaylandHost, TheBackgroundRunsOnAConnectionHandedOverInWaylandSocket)
{
    START_OR_SKIP(ECompositor::Sway, TwoSmallOutputs, 2);
    std::string socket = m_Compositor.Socket();
    const SChild child = Spawn({"--background", "--verbose"}, HandOverConnection, socket.data());
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "HEADLESS-1", 3)) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "HEADLESS-2", 60)) << ReadWholeFile(child.errPath); // past the fade-in
    EXPECT_GT(Grab("HEADLESS-2").lit, 100);
    kill(child.pid, SIGINT);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
}

} // namespace

namespace {

// As a lock screen's nested compositor offers: outputs and the layer shell,
// but neither a seat nor xdg_wm_base.
TEST_F(WaylandHost, TheBackgroundNeedsNeitherASeatNorXdgShell)
{
    START_OR_SKIP(ECompositor::Sway, TwoSmallOutputs, 2);
    CGlobalFilter filter;
    std::string socket = m_Scratch / "filtered";
    ASSERT_TRUE(filter.Start(socket, m_Compositor.Socket(), {"wl_seat", "xdg_wm_base"}));
    const SChild child = Spawn(
        {"--background", "--verbose"}, [](void* path) { setenv("WAYLAND_DISPLAY", static_cast<char*>(path), 1); },
        socket.data());
    ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "HEADLESS-1", 3)) << ReadWholeFile(child.errPath);
    EXPECT_TRUE(DrawsOn(child, "HEADLESS-2", 3)) << ReadWholeFile(child.errPath);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);

    // What the filter hides is really gone: the window mode cannot start there.
    const SChild window = Spawn(
        {"--no-sound"}, [](void* path) { setenv("WAYLAND_DISPLAY", static_cast<char*>(path), 1); }, socket.data());
    EXPECT_EQ(WaitForExit(window), 1);
    EXPECT_NE(ReadWholeFile(window.errPath).find("no xdg_wm_base"), std::string::npos) << ReadWholeFile(window.errPath);
}

} // namespace
