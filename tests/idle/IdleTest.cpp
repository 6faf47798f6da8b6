// veltrix --idle against compositors started here, never a display of the
// machine: headless sway (its org_kde_kwin_idle, keys through wtype), headless
// KWin (ext-idle-notify, keys through its fake input), headless mutter
// (GNOME's idle monitor on the session bus, keys through its remote desktop
// interface) and headless weston (neither). The saver the watcher
// starts finds a private Xvfb as well as the compositor, so it comes up
// whichever of them it draws on.
#include "host/idle/Idle.h"
#include "host/app/Options.h"
#include "tests/support/Child.h"
#include "tests/support/Compositor.h"
#include "tests/support/KWin.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Polls every 50 ms for up to 30 s (a loaded machine): whether done() came true.
template <class F> bool WaitFor(F done, int seconds = 30)
{
    for (int i = 0; i < seconds * 20; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// Starts program (veltrix) with args on the compositor (none: on no
// compositor at all), with env on top; its stderr and stdout into errPath.
pid_t Spawn(std::vector<std::string> args, const CCompositor* compositor, const Env& env, const std::string& errPath,
            const std::string& program)
{
    args.insert(args.begin(), program);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const char* name : {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DBUS_SESSION_BUS_ADDRESS"})
            unsetenv(name);
        if (compositor)
            compositor->SetClientEnvironment();
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        if (!freopen(errPath.c_str(), "w", stderr) || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
            _exit(126);
        ExecArgv(args);
    }
    return pid;
}

// The exit status (128 + signal when killed); -1 after killing it at 30 s.
int WaitForExit(pid_t pid)
{
    return ::WaitForExit(pid, 30.0);
}

bool Gone(pid_t pid)
{
    return kill(pid, 0) != 0 && errno == ESRCH; // a zombie not yet reaped still counts as there
}

// Not running: gone, or a zombie left to a parent that does not reap (an
// orphan's, in a container whose first process never waits).
bool Ended(pid_t pid)
{
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return Gone(pid) || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
}

// The watcher's child running the saver, or -1.
pid_t SaverOf(pid_t watcher)
{
    std::istringstream children(
        ReadWholeFile("/proc/" + std::to_string(watcher) + "/task/" + std::to_string(watcher) + "/children"));
    for (pid_t child = 0; children >> child;) {
        std::string cmdline = ReadWholeFile("/proc/" + std::to_string(child) + "/cmdline");
        if (cmdline.find(std::string("--all-screens\0", 14)) != std::string::npos)
            return child;
    }
    return -1;
}

pid_t WaitForSaver(pid_t watcher)
{
    pid_t saver = -1;
    WaitFor([&] { return (saver = SaverOf(watcher)) > 0; });
    return saver;
}

// Whether mutter's idle monitor answers on its bus yet (it comes up after the compositor's socket).
bool MutterAnswers(const std::string& address)
{
    GDBusConnection* bus =
        g_dbus_connection_new_for_address_sync(address.c_str(),
                                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                               nullptr, nullptr, nullptr);
    GVariant* reply =
        bus ? g_dbus_connection_call_sync(bus, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                                          "org.gnome.Mutter.IdleMonitor", "GetIdletime", nullptr, nullptr,
                                          G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr)
            : nullptr;
    if (reply)
        g_variant_unref(reply);
    if (bus)
        g_object_unref(bus);
    return reply != nullptr;
}

// A key pressed and released on mutter's virtual input, through a remote
// desktop session on a bus connection of its own.
bool PressKeyOnMutter(const std::string& address)
{
    GDBusConnection* bus =
        g_dbus_connection_new_for_address_sync(address.c_str(),
                                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                               nullptr, nullptr, nullptr);
    if (!bus)
        return false;
    auto call = [&](const char* path, const char* interface, const char* method, GVariant* args) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, "org.gnome.Mutter.RemoteDesktop", path, interface, method,
                                                      args, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
        if (error) {
            ADD_FAILURE() << method << ": " << error->message;
            g_error_free(error);
        }
        return reply;
    };
    bool pressed = false;
    if (GVariant* created =
            call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr)) {
        const char* session = nullptr;
        g_variant_get(created, "(&o)", &session);
        const char* iface = "org.gnome.Mutter.RemoteDesktop.Session";
        GVariant* steps[] = {call(session, iface, "Start", nullptr),
                             call(session, iface, "NotifyKeyboardKeycode", g_variant_new("(ub)", 30u, TRUE)),
                             call(session, iface, "NotifyKeyboardKeycode", g_variant_new("(ub)", 30u, FALSE)),
                             call(session, iface, "Stop", nullptr)};
        pressed = true;
        for (GVariant* step : steps) {
            pressed = pressed && step;
            if (step)
                g_variant_unref(step);
        }
        g_variant_unref(created);
    }
    g_object_unref(bus);
    return pressed;
}

class IdleWatcher : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pXvfb = new CXvfb;
        ASSERT_TRUE(s_pXvfb->Start(640, 360));
    }
    static void TearDownTestSuite() { delete s_pXvfb; }

    void TearDown() override
    {
        if (m_Watcher > 0 && waitpid(m_Watcher, nullptr, WNOHANG) == 0) {
            kill(m_Watcher, SIGKILL);
            waitpid(m_Watcher, nullptr, 0);
        }
        if (!m_ErrPath.empty())
            std::remove(m_ErrPath.c_str());
    }

    // The watcher (or any veltrix) on the compositor, the saver able to reach the Xvfb too.
    pid_t StartVeltrix(const CCompositor* compositor, const std::vector<std::string>& args, Env env = {},
                       const std::string& program = VELTRIX_BINARY_DIR "/veltrix")
    {
        env.insert(env.end(), {{"DISPLAY", s_pXvfb->DisplayName()}, {"ALSOFT_DRIVERS", "null"}});
        m_ErrPath = "/tmp/veltrix-idle-test-" + std::to_string(getpid()) + ".txt";
        return m_Watcher = Spawn(args, compositor, env, m_ErrPath, program);
    }

    std::string Errors() const { return ReadWholeFile(m_ErrPath); }

    static bool Wtype(const CCompositor& sway) { return sway.Run({"wtype", "-k", "a"}) == 0; }

    static inline CXvfb* s_pXvfb = nullptr;
    pid_t m_Watcher = -1;
    std::string m_ErrPath;
};

TEST(IdleOptions, SecondsTheSaversArgumentsAndWhatCannotGoWithIt)
{
    for (const char* bad : {"0", "-3", "2.5", "abc", "", "4294968"}) {
        const char* argv[] = {"veltrix", "--idle", bad};
        SOptions options;
        std::string error;
        EXPECT_FALSE(ParseOptions(3, argv, options, error)) << bad;
        EXPECT_TRUE(error.starts_with("--idle expects")) << error;
    }
    const char* argv[] = {"veltrix", "-idle",          "300",      "--no-sound", "--volume", "40",    "--density",
                          "7",       "--fps",          "--module", "/opt/b",     "--audio",  "a.wav", "--static-camera",
                          "--x11",   "--render-scale", "0.75"};
    SOptions options;
    std::string error;
    ASSERT_TRUE(ParseOptions(17, argv, options, error)) << error;
    EXPECT_EQ(options.m_nIdleSeconds, 300);
    EXPECT_TRUE(IdleConflict(options).empty());
    const std::vector<std::string> expected = {
        "--all-screens", "--no-sound",     "--volume",           "40",    "--density", "7",      "--static-camera",
        "--fps",         "--render-scale", std::to_string(0.75), "--x11", "--module",  "/opt/b", "--audio",
        "a.wav"};
    EXPECT_EQ(SaverArguments(options), expected);
    EXPECT_EQ(SaverArguments(SOptions()), std::vector<std::string>{"--all-screens"});
    SOptions paced;
    paced.m_nFrameRate = 15;
    paced.m_Power = EPowerPolicy::Pause;
    EXPECT_EQ(SaverArguments(paced),
              (std::vector<std::string>{"--all-screens", "--frame-rate", "15", "--power", "pause"}));
    options.m_WindowId = 0x42;
    EXPECT_NE(IdleConflict(options).find("--window-id"), std::string::npos);
}

TEST_F(IdleWatcher, OnSwayTheSaverComesWhenIdleAndGoesOnAKeyUntilSigterm)
{
    CCompositor sway;
    ASSERT_TRUE(sway.Start(ECompositor::Sway, "output HEADLESS-1 mode --custom 640x360"));
    // On the Xvfb (--x11) the saver never sees the compositor's keys: only the watcher can stop it.
    pid_t watcher = StartVeltrix(&sway, {"--idle", "2", "--x11", "--no-sound", "--density", "0", "--verbose"});
    for (int round = 1; round <= 2; ++round) {
        const pid_t saver = WaitForSaver(watcher);
        ASSERT_GT(saver, 0) << "round " << round << ": " << Errors();
        ASSERT_TRUE(WaitFor([&] { return Count(Errors(), "first frames presented") == round; })) << Errors();
        // Yielding to the user's own programs, as XScreenSaver's hacks do.
        EXPECT_EQ(getpriority(PRIO_PROCESS, saver), getpriority(PRIO_PROCESS, watcher) + 10);
        ASSERT_TRUE(Wtype(sway));
        EXPECT_TRUE(WaitFor([&] { return Gone(saver); })) << "round " << round << ": the saver stayed";
        // The watcher reaps the saver before it says so.
        EXPECT_TRUE(WaitFor([&] { return Count(Errors(), "veltrix: the saver stopped") == round; })) << Errors();
        EXPECT_EQ(SaverOf(watcher), -1);
    }
    // Stopped by a signal while the saver shows: the saver goes first.
    pid_t saver = WaitForSaver(watcher);
    ASSERT_GT(saver, 0) << Errors();
    kill(watcher, SIGTERM);
    EXPECT_EQ(WaitForExit(watcher), 0) << Errors();
    EXPECT_TRUE(Gone(saver));

    // On the compositor itself: a layer surface on its output, gone on a key.
    watcher = StartVeltrix(&sway, {"--idle", "2", "--no-sound", "--density", "0", "--verbose"});
    saver = WaitForSaver(watcher);
    ASSERT_GT(saver, 0) << Errors();
    ASSERT_TRUE(WaitFor([&] { return Errors().find("first frames presented") != std::string::npos; })) << Errors();
    EXPECT_NE(Errors().find(" on HEADLESS-1: "), std::string::npos) << Errors();
    ASSERT_TRUE(Wtype(sway));
    EXPECT_TRUE(WaitFor([&] { return Gone(saver); })) << Errors();
    // A watcher killed outright leaves no saver behind.
    saver = WaitForSaver(watcher);
    ASSERT_GT(saver, 0) << Errors();
    kill(watcher, SIGKILL);
    EXPECT_EQ(WaitForExit(watcher), 128 + SIGKILL);
    EXPECT_TRUE(WaitFor([&] { return Ended(saver); }));
}

TEST_F(IdleWatcher, SaverThatEndsByItselfWaitsForTheNextIdleTime)
{
    CCompositor sway;
    ASSERT_TRUE(sway.Start(ECompositor::Sway, "output HEADLESS-1 mode --custom 640x360"));
    // A saver that cannot load its module ends at once, like one a key quit.
    const pid_t watcher = StartVeltrix(&sway, {"--idle", "1", "--verbose", "--module", "/nonexistent"});
    ASSERT_TRUE(WaitFor([&] { return Errors().find("ended by itself") != std::string::npos; })) << Errors();
    // Still idle: no second saver until input came and went.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(Count(Errors(), "the saver runs"), 1) << Errors();
    ASSERT_TRUE(Wtype(sway));
    EXPECT_TRUE(WaitFor([&] { return Count(Errors(), "ended by itself") == 2; })) << Errors();
    kill(watcher, SIGINT);
    EXPECT_EQ(WaitForExit(watcher), 0) << Errors();
}

TEST_F(IdleWatcher, AfterAnUpgradeTheNextSaverIsTheNewProgram)
{
    CCompositor sway;
    ASSERT_TRUE(sway.Start(ECompositor::Sway, "output HEADLESS-1 mode --custom 640x360"));
    CTempDir bin;
    const std::string program = bin / "veltrix";
    std::filesystem::copy_file(VELTRIX_BINARY_DIR "/veltrix", program);
    // A saver that cannot load its module ends at once, like one a key quit.
    const pid_t watcher = StartVeltrix(&sway, {"--idle", "1", "--verbose", "--module", "/nonexistent"}, {}, program);
    ASSERT_TRUE(WaitFor([&] { return Errors().find("ended by itself") != std::string::npos; })) << Errors();
    // A package manager puts the new file in the old one's place; the old one is deleted.
    std::filesystem::remove(program);
    std::ofstream(program) << "#!/bin/sh\necho 'the new program runs' >&2\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    ASSERT_TRUE(Wtype(sway));
    EXPECT_TRUE(WaitFor([&] { return Count(Errors(), "ended by itself") == 2; })) << Errors();
    EXPECT_EQ(Count(Errors(), "the new program runs"), 1) << Errors();
    kill(watcher, SIGINT);
    EXPECT_EQ(WaitForExit(watcher), 0) << Errors();
}

TEST_F(IdleWatcher, OnKWinExtIdleNotifyDrivesItAndALostCompositorEndsItInOneLine)
{
    CCompositor kwin;
    if (!kwin.Start(ECompositor::KWin)) {
        if (kwin.Missing())
            GTEST_SKIP() << "kwin_wayland is not installed";
        FAIL() << "KWin did not start";
    }
    CKWinControl input(kwin);
    ASSERT_TRUE(input.Ok());
    // On KWin itself: the scene covers its output while idle, and goes on a key.
    pid_t watcher = StartVeltrix(&kwin, {"--idle", "2", "--no-sound", "--verbose"});
    pid_t saver = WaitForSaver(watcher);
    ASSERT_GT(saver, 0) << "no saver when idle: " << Errors();
    ASSERT_TRUE(WaitFor([&] { return Errors().find("first frames presented") != std::string::npos; })) << Errors();
    EXPECT_TRUE(WaitFor([&] { return input.Screenshot("Virtual-0").Colours() > 10; })) << Errors();
    input.Key(30); // KEY_A
    EXPECT_TRUE(WaitFor([&] { return Gone(saver); })) << Errors();
    EXPECT_LT(input.Screenshot("Virtual-0").Colours(), 4u);
    kill(watcher, SIGTERM);
    EXPECT_EQ(WaitForExit(watcher), 0) << Errors();

    // On the Xvfb (--x11) the saver never sees KWin's keys: only the watcher can stop it.
    watcher = StartVeltrix(&kwin, {"--idle", "2", "--x11", "--no-sound", "--density", "0", "--verbose"});
    for (int round = 1; round <= 2; ++round) {
        saver = WaitForSaver(watcher);
        ASSERT_GT(saver, 0) << "round " << round << ": no saver when idle: " << Errors();
        EXPECT_NE(Errors().find("(ext_idle_notifier_v1)"), std::string::npos) << Errors();
        input.Key(30); // KEY_A
        EXPECT_TRUE(WaitFor([&] { return Gone(saver); })) << "round " << round << ": the saver stayed";
        // Not started again by that input either: the next one waits for idle time.
        EXPECT_EQ(SaverOf(watcher), -1) << Errors();
    }
    saver = WaitForSaver(watcher);
    ASSERT_GT(saver, 0) << Errors();
    const size_t before = Errors().size();
    kwin.Kill();
    EXPECT_EQ(WaitForExit(watcher), 1) << Errors();
    EXPECT_TRUE(Gone(saver));
    const std::string after = Errors().substr(before);
    EXPECT_EQ(Count(after, "veltrix: lost"), 1) << after;
    EXPECT_TRUE(after.ends_with("veltrix: lost the Wayland compositor\n")) << after;
}

TEST_F(IdleWatcher, OnGnomeTheIdleMonitorDrivesItAndALostCompositorEndsIt)
{
    CCompositor mutter;
    ASSERT_TRUE(mutter.Start(ECompositor::Mutter));
    ASSERT_TRUE(WaitFor([&] { return MutterAnswers(mutter.SessionBus()); }));
    const pid_t watcher = StartVeltrix(&mutter, {"--idle", "2", "--no-sound", "--density", "0", "--verbose"});
    const pid_t first = WaitForSaver(watcher);
    ASSERT_GT(first, 0) << Errors();
    EXPECT_NE(Errors().find("(org.gnome.Mutter.IdleMonitor)"), std::string::npos) << Errors();
    ASSERT_TRUE(PressKeyOnMutter(mutter.SessionBus()));
    EXPECT_TRUE(WaitFor([&] { return Gone(first); })) << Errors();
    const pid_t second = WaitForSaver(watcher);
    ASSERT_GT(second, 0) << Errors();
    mutter.Kill();
    EXPECT_EQ(WaitForExit(watcher), 1) << Errors();
    EXPECT_TRUE(Gone(second));
    EXPECT_NE(Errors().find("\nveltrix: lost the Wayland compositor\n"), std::string::npos) << Errors();
}

TEST_F(IdleWatcher, WithoutAnIdleSourceOrACompositorOneLineAndStatusOne)
{
    CCompositor weston;
    ASSERT_TRUE(weston.Start(ECompositor::Weston));
    // weston offers no idle protocol, and this session bus is nowhere.
    pid_t watcher = StartVeltrix(&weston, {"--idle", "2"}, {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"}});
    EXPECT_EQ(WaitForExit(watcher), 1);
    std::string errors = Errors();
    EXPECT_EQ(Count(errors, "\n"), 1) << errors;
    EXPECT_TRUE(errors.starts_with("veltrix: --idle needs")) << errors;
    EXPECT_NE(errors.find("org_kde_kwin_idle"), std::string::npos) << errors;

    watcher = StartVeltrix(nullptr, {"--idle", "2"}, {{"WAYLAND_DISPLAY", weston.RuntimeDir() + "/nothing-here"}});
    EXPECT_EQ(WaitForExit(watcher), 1);
    errors = Errors();
    EXPECT_EQ(Count(errors, "\n"), 1) << errors;
    EXPECT_TRUE(errors.starts_with("veltrix: --idle needs a Wayland compositor")) << errors;
}

} // namespace
