// The window's decorations where the compositor draws none (mutter and
// weston offer no xdg-decoration): libdecor's title bar and borders, read
// from the protocol; and with no libdecor plugin, a plain window that works.
#include "tests/wlhost/WlHostFixture.h"

#include <filesystem>

namespace {

void DebugProtocol(void* plugins)
{
    setenv("WAYLAND_DEBUG", "client", 1);
    if (plugins)
        setenv("LIBDECOR_PLUGIN_DIR", static_cast<const char*>(plugins), 1);
}

} // namespace

TEST_F(WaylandHost, WithoutServerDecorationsTheWindowGetsLibdecorsAndStillDrawsAtItsSize)
{
    for (ECompositor kind : {ECompositor::Mutter, ECompositor::Weston}) {
        SCOPED_TRACE(kind == ECompositor::Weston ? "weston" : "mutter");
        if (!StartCompositor(kind)) {
            EXPECT_TRUE(m_bSkip) << "the compositor did not start";
            continue;
        }
        const std::string noPlugins = m_Scratch / "no-plugins";
        std::filesystem::create_directories(noPlugins);
        for (const char* plugins : {static_cast<const char*>(nullptr), noPlugins.c_str()}) {
            SCOPED_TRACE(plugins ? "no libdecor plugin" : "libdecor's plugin");
            const SChild child =
                Spawn({"--verbose", "--no-sound", "--size", "500x400"}, DebugProtocol, const_cast<char*>(plugins));
            ASSERT_TRUE(WaitFor(child, "first frames presented")) << ReadWholeFile(child.errPath);
            EXPECT_TRUE(DrawsOn(child, "the window", 3)) << ReadWholeFile(child.errPath);
            // The size asked for, or the compositor's: never the 1x1 of an unconfigured window.
            const std::string size = Report(child)["the window"].size;
            EXPECT_EQ(size, "500x400") << ReadWholeFile(child.errPath);
            kill(child.pid, SIGTERM);
            EXPECT_EQ(WaitForExit(child), 0) << ReadWholeFile(child.errPath);
            const std::string log = ReadWholeFile(child.errPath);

            // The compositor offers no server-side decorations, so none are asked for.
            EXPECT_EQ(log.find("zxdg_toplevel_decoration_v1"), std::string::npos);
            // libdecor's frame: its parts are subsurfaces of ours, drawn in shared memory.
            const auto parts = Requests(log, "wl_subcompositor@\\d+\\.get_subsurface\\(");
            if (plugins)
                EXPECT_TRUE(parts.empty()) << log;
            else
                EXPECT_GE(parts.size(), 1u) << log;
            // The toplevel is configured and acked before our first buffer, which is never 1x1.
            const auto acks = Requests(log, "xdg_surface@\\d+\\.ack_configure\\(");
            EXPECT_FALSE(acks.empty()) << log;
            bool ours = false;
            for (const auto& b : Requests(log, "create_buffer\\(new id wl_buffer@\\d+, \\d+, (\\d+), (\\d+),")) {
                EXPECT_TRUE(std::stoi(b[1]) > 1 && std::stoi(b[2]) > 1) << b[0];
                ours = ours || (b[1] == "500" && b[2] == "400");
            }
            EXPECT_TRUE(ours) << log;
        }
        m_Compositor.Stop();
    }
}
