// Frame pacing: --frame-rate, and the saver on battery or in power-saver mode
// with UPower and power-profiles-daemon played by python3-dbusmock on a
// private bus that stands in for the system bus; the window runs on a private
// Xvfb and its frames are counted from SIGUSR1's reports. Also where the
// sound server is looked for when a host strips XDG_RUNTIME_DIR.
#include "host/app/Options.h"
#include "host/loop/FramePacing.h"
#include "host/record/QuietAudio.h"
#include "tests/support/Child.h"
#include "tests/support/PngFile.h"
#include "tests/support/Program.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <pwd.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Polls every 50 ms for up to 30 s (a loaded machine): whether done() came true.
template <class F> bool WaitFor(F done)
{
    for (int i = 0; i < 600; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

TEST(FramePacing, SlowRatesDrawEveryFewTicksSoTheSceneNeverStepsPastTheCap)
{
    CFramePacing pacing;
    pacing.Set(1.0 / 30.0, EPowerPolicy::Auto, false);
    EXPECT_DOUBLE_EQ(pacing.TickInterval(), 1.0 / 30.0);
    EXPECT_TRUE(pacing.DrawsNext() && pacing.DrawsNext());

    pacing.Set(1.0 / 5.0, EPowerPolicy::Auto, false); // 3 ticks a frame
    EXPECT_LE(pacing.TickInterval(), CFramePacing::MaxStep);
    EXPECT_DOUBLE_EQ(pacing.DrawInterval(), 0.2);
    int draws = 0;
    for (int i = 0; i < 30; ++i)
        draws += pacing.DrawsNext();
    EXPECT_EQ(draws, 10);
}

TEST(FramePacing, SavingPowerHalvesTheRateOrPausesAsThePolicySays)
{
    CFramePacing pacing;
    pacing.Set(1.0 / 30.0, EPowerPolicy::Auto, true);
    EXPECT_DOUBLE_EQ(pacing.DrawInterval(), 1.0 / 15.0);
    pacing.Set(1.0 / 30.0, EPowerPolicy::Full, true);
    EXPECT_DOUBLE_EQ(pacing.DrawInterval(), 1.0 / 30.0);

    pacing.Set(1.0 / 30.0, EPowerPolicy::Pause, true);
    EXPECT_TRUE(pacing.Paused());
    EXPECT_LE(pacing.TickInterval(), CFramePacing::MaxStep); // the music's time still passes
    int draws = 0;
    for (int i = 0; i < 30; ++i)
        draws += pacing.DrawsNext();
    EXPECT_EQ(draws, 0);
    pacing.DrawAtNextTick(); // a window shown again gets its still back
    EXPECT_TRUE(pacing.DrawsNext());
    EXPECT_FALSE(pacing.DrawsNext());
}

TEST(FrameRateOption, WholeRatesFromOneTo240AndOneLineOtherwise)
{
    for (const char* bad : {"0", "241", "29.97", "-5", "", "fast"}) {
        const char* argv[] = {"veltrix", "--frame-rate", bad};
        SOptions options;
        std::string error;
        EXPECT_FALSE(ParseOptions(3, argv, options, error)) << bad;
        EXPECT_TRUE(error.starts_with("--frame-rate expects")) << error;
    }
    const char* argv[] = {"veltrix", "-frame-rate", "240", "--power", "pause"};
    SOptions options;
    std::string error;
    ASSERT_TRUE(ParseOptions(5, argv, options, error)) << error;
    EXPECT_EQ(options.m_nFrameRate, 240);
    EXPECT_EQ(options.m_Power, EPowerPolicy::Pause);

    // The program: one line, and the status every bad option gives.
    CTempDir scratch;
    const SProgram program = StartProgram(nullptr, {"--frame-rate", "0", "--headless"}, scratch / "err");
    EXPECT_EQ(program.WaitForExit(30.0), 1);
    EXPECT_TRUE(std::regex_match(program.Errors(), std::regex("veltrix: --frame-rate [^\n]*\n"))) << program.Errors();
}

double MeanDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    if (a.size() != b.size() || a.empty())
        return 1e9;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / static_cast<double>(a.size());
}

TEST(FrameRateOption, TheSceneMovesAtTheSameSpeedAtHalfTheRate)
{
    // Recorded on the virtual clock: frame 240 at 30 a second and frame 120 at
    // 15 are both 8 s in, inside the first camera flight (the first path is
    // chosen before any bolt draws a random number, so both fly the same one).
    CTempDir scratch;
    for (const std::string rate : {"30", "15"}) {
        const SProgram program =
            StartProgram(nullptr,
                         {"--headless", "--no-pacing", "--no-sound", "--density", "0", "--size", "160x90", "--frames",
                          "240", "--frame-rate", rate, "--output", scratch / rate},
                         scratch / ("err-" + rate));
        ASSERT_EQ(program.WaitForExit(300.0), 0) << program.Errors();
    }
    const auto at30 = ReadPng(scratch / "30/frame-00240.png").rgba;
    const auto at15 = ReadPng(scratch / "15/frame-00120.png").rgba;
    const auto at15Later = ReadPng(scratch / "15/frame-00240.png").rgba; // 16 s in
    ASSERT_FALSE(at30.empty() || at15.empty() || at15Later.empty());
    const double same = MeanDifference(at30, at15);
    const double later = MeanDifference(at30, at15Later);
    EXPECT_LT(same * 4.0, later) << "same time " << same << ", 8 s apart " << later;
}

TEST(SoundServerLookup, OnlyTheUsersOwnPrivateRuntimeFolder)
{
    CTempDir scratch;
    const std::string good = scratch / "good";
    mkdir(good.c_str(), 0700);
    chmod(good.c_str(), 0700);
    EXPECT_TRUE(IsPrivateRuntimeDir(good.c_str(), getuid()));

    const std::string open = scratch / "open";
    mkdir(open.c_str(), 0755);
    chmod(open.c_str(), 0755);
    EXPECT_FALSE(IsPrivateRuntimeDir(open.c_str(), getuid()));

    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    EXPECT_FALSE(IsPrivateRuntimeDir(good.c_str(), nobody->pw_uid)); // someone else's

    const std::string link = scratch / "link";
    ASSERT_EQ(symlink(good.c_str(), link.c_str()), 0);
    EXPECT_FALSE(IsPrivateRuntimeDir(link.c_str(), getuid()));
    EXPECT_FALSE(IsPrivateRuntimeDir((scratch / "missing").c_str(), getuid()));
}

TEST(SoundServerLookup, AnUnsetRuntimeFolderIsFoundAndASetOneKept)
{
    const std::string own = "/run/user/" + std::to_string(getuid());
    const bool usable = IsPrivateRuntimeDir(own.c_str(), getuid());
    setenv("XDG_RUNTIME_DIR", "/somewhere", 1);
    FindUserRuntimeDir();
    EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), "/somewhere");
    unsetenv("XDG_RUNTIME_DIR");
    FindUserRuntimeDir();
    const char* found = std::getenv("XDG_RUNTIME_DIR");
    if (usable)
        EXPECT_EQ(found ? std::string(found) : "", own);
    else
        EXPECT_EQ(found, nullptr);
}

// A private bus standing in for the system bus, with UPower and
// power-profiles-daemon played by python3-dbusmock.
class CMockSystemBus
{
public:
    ~CMockSystemBus()
    {
        for (auto it = m_Pids.rbegin(); it != m_Pids.rend(); ++it) {
            kill(*it, SIGTERM);
            waitpid(*it, nullptr, 0);
        }
    }

    bool Start(bool upower, bool profiles)
    {
        m_Address = "unix:path=" + (m_Dir / "bus");
        m_Pids.push_back(
            _Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + m_Address}));
        if (m_Pids.back() < 0 || !WaitFor([&] { return access((m_Dir / "bus").c_str(), F_OK) == 0; }))
            return false;
        if (upower && !_Mock("upower", "{\"OnBattery\": false}", "org.freedesktop.UPower"))
            return false;
        return !profiles || _Mock("power_profiles_daemon", "{}", "net.hadess.PowerProfiles");
    }

    const std::string& Address() const { return m_Address; }

    // Sets a property through the mock, which signals the change.
    bool Set(const std::string& service, const std::string& path, const std::string& property, const std::string& value)
    {
        return _Call(service, path, "org.freedesktop.DBus.Properties.Set", {service, property, value});
    }

private:
    // argv, on the bus as the system bus, its output into the services' log.
    pid_t _Start(const std::vector<std::string>& argv)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", m_Address.c_str(), 1);
            if (!freopen((m_Dir / "services.log").c_str(), "a", stderr) || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
                _exit(126);
            ExecArgv(argv);
        }
        return pid;
    }

    bool _Call(const std::string& dest, const std::string& path, const std::string& method,
               const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {"/usr/bin/gdbus", "call", "--address", m_Address, "--dest", dest,
                                         "--object-path",  path,   "--method",  method};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = _Start(argv);
        return pid > 0 && WaitForExit(pid, 30.0) == 0;
    }

    bool _Mock(const std::string& templ, const std::string& parameters, const std::string& name)
    {
        m_Pids.push_back(
            _Start({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", templ, "-p", parameters}));
        return m_Pids.back() > 0 && WaitFor([&] {
                   return _Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetNameOwner",
                                {name});
               });
    }

    CTempDir m_Dir;
    std::string m_Address;
    std::vector<pid_t> m_Pids;
};

constexpr const char* UPowerName = "org.freedesktop.UPower";
constexpr const char* UPowerPath = "/org/freedesktop/UPower";
constexpr const char* ProfilesName = "net.hadess.PowerProfiles";
constexpr const char* ProfilesPath = "/net/hadess/PowerProfiles";

// The saver in a small window at 6 frames a second (cheap enough that a
// loaded machine still holds it), its frames counted from SIGUSR1's reports.
class PowerAwareWindow : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_Xvfb.Start(320, 200)); }
    void TearDown() override { Stop(); }

    void Start(const std::string& systemBus, std::vector<std::string> args = {})
    {
        args.insert(args.begin(),
                    {"--size", "160x90", "--no-sound", "--density", "10", "--frame-rate", "6", "--verbose"});
        m_Program = StartProgram(nullptr, args, m_Scratch / "err",
                                 {{"DISPLAY", m_Xvfb.DisplayName()}, {"DBUS_SYSTEM_BUS_ADDRESS", systemBus}});
        ASSERT_TRUE(m_Program.WaitFor("first frames presented")) << Err();
    }

    void Stop()
    {
        if (m_Program.pid > 0) {
            kill(m_Program.pid, SIGTERM);
            EXPECT_EQ(m_Program.WaitForExit(30.0), 0) << Err();
        }
        m_Program.pid = -1;
    }

    std::string Err() const { return m_Program.Errors(); }

    // The frames the window has drawn so far, from a SIGUSR1 report; -1 when none came.
    long Frames()
    {
        const size_t before = Err().size();
        kill(m_Program.pid, SIGUSR1);
        long frames = -1;
        const std::regex drew("drew (\\d+) frames");
        WaitFor([&] {
            const std::string err = Err();
            std::smatch match;
            if (err.size() > before && std::regex_search(err.cbegin() + long(before), err.cend(), match, drew)) {
                frames = std::stol(match[1]);
                return true;
            }
            return false;
        });
        return frames;
    }

    // Frames a second over a span of about three seconds.
    double Rate()
    {
        const auto begin = std::chrono::steady_clock::now();
        const long first = Frames();
        std::this_thread::sleep_for(3s);
        const long last = Frames();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        return first < 0 || last < 0 ? -1.0 : static_cast<double>(last - first) / seconds;
    }

    // Far apart on purpose: full is 6 a second, saving 3, and a loaded
    // machine (or a sanitizer build, whose frames take tens of milliseconds
    // even at this size) only ever draws fewer.
    static constexpr double FullAtLeast = 4.5;
    static constexpr double SavingAtMost = 4.0;

    CXvfb m_Xvfb;
    CTempDir m_Scratch;
    SProgram m_Program;
};

TEST_F(PowerAwareWindow, HalfRateOnBatteryOrPowerSaverAndFullAgainWhenEitherChangesBack)
{
    CMockSystemBus bus;
    ASSERT_TRUE(bus.Start(true, true));
    Start(bus.Address());
    ASSERT_TRUE(m_Program.WaitFor("power: on mains power")) << Err();
    EXPECT_GE(Rate(), FullAtLeast) << Err();

    ASSERT_TRUE(bus.Set(UPowerName, UPowerPath, "OnBattery", "<true>"));
    ASSERT_TRUE(m_Program.WaitFor("power: on battery:")) << Err();
    const double battery = Rate();
    EXPECT_LE(battery, SavingAtMost) << Err();
    EXPECT_GT(battery, 1.5) << Err();

    ASSERT_TRUE(bus.Set(UPowerName, UPowerPath, "OnBattery", "<false>"));
    ASSERT_TRUE(m_Program.WaitFor("power: on mains power", 60, 2)) << Err();
    EXPECT_GE(Rate(), FullAtLeast) << Err();

    ASSERT_TRUE(bus.Set(ProfilesName, ProfilesPath, "ActiveProfile", "<'power-saver'>"));
    ASSERT_TRUE(m_Program.WaitFor("power: power-saver profile")) << Err();
    EXPECT_LE(Rate(), SavingAtMost) << Err();
}

TEST_F(PowerAwareWindow, PauseKeepsAStillPictureOnBatteryAndFullKeepsTheRate)
{
    CMockSystemBus bus;
    ASSERT_TRUE(bus.Start(true, false));
    ASSERT_TRUE(bus.Set(UPowerName, UPowerPath, "OnBattery", "<true>"));
    Start(bus.Address(), {"--power", "pause"});
    ASSERT_TRUE(m_Program.WaitFor("power: on battery")) << Err();
    EXPECT_EQ(Rate(), 0.0) << Err();
    ASSERT_TRUE(bus.Set(UPowerName, UPowerPath, "OnBattery", "<false>"));
    ASSERT_TRUE(m_Program.WaitFor("power: on mains power")) << Err();
    EXPECT_GE(Rate(), FullAtLeast) << Err();
    Stop();

    Start(bus.Address(), {"--power", "full"});
    ASSERT_TRUE(bus.Set(UPowerName, UPowerPath, "OnBattery", "<true>"));
    EXPECT_GE(Rate(), FullAtLeast) << Err();
}

TEST_F(PowerAwareWindow, WithoutASystemBusTheRateIsFull)
{
    Start("unix:path=" + (m_Scratch / "no-bus"));
    EXPECT_GE(Rate(), FullAtLeast) << Err();
}

} // namespace
