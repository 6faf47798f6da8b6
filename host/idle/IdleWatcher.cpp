#include "host/idle/Idle.h"
#include "host/idle/IdleSources.h"
#include "host/app/RunSettings.h"

#include <glib-unix.h>
#include <glib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long a saver asked to stop may take before it is killed.
constexpr int StopGraceMs = 5000;

// The program to start the saver from: this one's file as it is now. After a
// package upgrade /proc/self/exe still leads to the old, deleted binary,
// which would start a saver older than the module and pack beside it; the
// path it was installed at holds the new one. /proc/self/exe when that path
// has nothing runnable.
std::string SaverProgram()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "/proc/self/exe";
    std::string program(path, size_t(n));
    constexpr std::string_view deleted = " (deleted)";
    if (program.ends_with(deleted))
        program.erase(program.size() - deleted.size());
    return access(program.c_str(), X_OK) == 0 ? program : std::string("/proc/self/exe");
}

// The saver as a child process: the program itself, started afresh each
// time, so nothing it loads stays in the watcher. Its exit is watched through
// a pidfd on the main loop; no SIGCHLD handler is needed.
class CSaverChild
{
public:
    explicit CSaverChild(bool verbose)
        : m_bVerbose(verbose)
    {}
    ~CSaverChild() { Stop(); }
    CSaverChild(const CSaverChild&) = delete;
    CSaverChild& operator=(const CSaverChild&) = delete;

    bool Running() const { return m_Pid > 0; }

    void Start(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("veltrix"));
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string program = SaverProgram();
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) {
            std::fprintf(stderr, "veltrix: cannot start the saver: %s\n", std::strerror(errno));
            return;
        }
        if (pid == 0) {
            // A watcher killed outright takes its saver with it.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(0);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            LowerSaverPriority();
            execv(program.c_str(), argv.data());
            static const char failed[] = "veltrix: cannot run the saver program\n";
            (void)!write(STDERR_FILENO, failed, sizeof failed - 1);
            _exit(127);
        }
        m_Pid = pid;
        // An exited child stays a zombie until reaped, so this cannot miss it.
        // (Through syscall: Debian 12's <sys/pidfd.h> declares it without C linkage.)
        m_PidFd = int(syscall(SYS_pidfd_open, pid, 0));
        if (m_PidFd < 0) {
            std::fprintf(stderr, "veltrix: cannot watch the saver: %s\n", std::strerror(errno));
            kill(pid, SIGKILL);
            _Reap();
            return;
        }
        m_nSource = g_unix_fd_add(m_PidFd, G_IO_IN, _Exited, this);
        if (m_bVerbose)
            std::fprintf(stderr, "veltrix: idle: the saver runs (process %d)\n", int(pid));
    }

    // Asks the saver to stop, kills it if it does not within StopGraceMs, and reaps it.
    void Stop()
    {
        if (!Running())
            return;
        if (m_nSource)
            g_source_remove(m_nSource);
        m_nSource = 0;
        kill(m_Pid, SIGTERM);
        const gint64 deadline = g_get_monotonic_time() + gint64{StopGraceMs} * 1000;
        bool exited = false;
        while (!exited) {
            const gint64 left = (deadline - g_get_monotonic_time()) / 1000;
            if (left <= 0)
                break;
            pollfd p = {m_PidFd, POLLIN, 0};
            const int n = poll(&p, 1, int(left));
            if (n > 0)
                exited = true;
            else if (n == 0 || errno != EINTR)
                break;
        }
        if (!exited)
            kill(m_Pid, SIGKILL);
        _Reap();
        if (m_bVerbose)
            std::fprintf(stderr, "veltrix: the saver stopped\n");
    }

private:
    static gboolean _Exited(gint, GIOCondition, gpointer data)
    {
        auto* self = static_cast<CSaverChild*>(data);
        self->m_nSource = 0;
        const int status = self->_Reap();
        // A key quit it, or it could not start: the watcher waits for the next idle time.
        if (self->m_bVerbose)
            std::fprintf(stderr, "veltrix: the saver ended by itself (status %d)\n",
                         WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        return G_SOURCE_REMOVE;
    }

    int _Reap()
    {
        int status = 0;
        while (waitpid(m_Pid, &status, 0) < 0 && errno == EINTR) {
        }
        _Forget();
        return status;
    }

    void _Forget()
    {
        if (m_PidFd >= 0)
            close(m_PidFd);
        m_PidFd = -1;
        m_Pid = -1;
    }

    bool m_bVerbose;
    pid_t m_Pid = -1;
    int m_PidFd = -1;
    guint m_nSource = 0;
};

struct SWatcher
{
    GMainLoop* m_pLoop = nullptr;
    int m_nStatus = 0;
    std::string m_Lost; // why the watching ended, when it was not a signal
};

gboolean OnStopSignal(gpointer data)
{
    g_main_loop_quit(static_cast<SWatcher*>(data)->m_pLoop);
    return G_SOURCE_CONTINUE;
}

} // namespace

std::string IdleConflict(const SOptions& options)
{
    const char* other = options.m_bHeadless    ? "--headless"
                        : options.m_bRoot      ? "--root"
                        : options.m_WindowId   ? "--window-id"
                        : options.m_bConfigure ? "--configure"
                                               : nullptr;
    return other ? std::string("--idle shows the saver on every screen and cannot go with ") + other : std::string();
}

std::vector<std::string> SaverArguments(const SOptions& options)
{
    std::vector<std::string> a = {"--all-screens"};
    if (options.m_bNoSound)
        a.push_back("--no-sound");
    if (options.m_nVolume >= 0)
        a.insert(a.end(), {"--volume", std::to_string(options.m_nVolume)});
    if (options.m_nDensity >= 0)
        a.insert(a.end(), {"--density", std::to_string(options.m_nDensity)});
    if (options.m_bStaticCamera)
        a.push_back("--static-camera");
    if (options.m_bShowFps)
        a.push_back("--fps");
    if (options.m_dRenderScale > 0.0)
        a.insert(a.end(), {"--render-scale", std::to_string(options.m_dRenderScale)});
    if (options.m_nFrameRate != SOptions().m_nFrameRate)
        a.insert(a.end(), {"--frame-rate", std::to_string(options.m_nFrameRate)});
    if (options.m_Power != EPowerPolicy::Auto)
        a.insert(a.end(), {"--power", options.m_Power == EPowerPolicy::Full ? "full" : "pause"});
    if (options.m_bVerbose)
        a.push_back("--verbose");
    if (options.m_bX11)
        a.push_back("--x11");
    if (!options.m_Module.empty())
        a.insert(a.end(), {"--module", options.m_Module});
    if (!options.m_Audio.empty())
        a.insert(a.end(), {"--audio", options.m_Audio});
    return a;
}

int RunIdle(const SOptions& options)
{
    std::string error;
    CWaylandIdle wayland;
    if (!wayland.Connect(error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }

    SWatcher watcher;
    CSaverChild saver(options.m_bVerbose);
    const std::vector<std::string> arguments = SaverArguments(options);
    SIdleHandlers handlers;
    handlers.m_OnIdle = [&] {
        if (!saver.Running())
            saver.Start(arguments);
    };
    handlers.m_OnActive = [&] { saver.Stop(); };
    handlers.m_OnLost = [&](const std::string& reason) {
        if (watcher.m_Lost.empty())
            watcher.m_Lost = wayland.Answers(1000) ? reason : std::string("lost the Wayland compositor");
        watcher.m_nStatus = 1;
        g_main_loop_quit(watcher.m_pLoop);
    };

    const unsigned timeoutMs = unsigned(options.m_nIdleSeconds) * 1000u;
    CMutterIdle mutter;
    const char* source = wayland.Protocol();
    wayland.Watch(timeoutMs, handlers);
    if (!source) {
        std::string why;
        if (!mutter.Watch(timeoutMs, handlers, why)) {
            std::fprintf(stderr,
                         "veltrix: --idle needs the compositor's ext_idle_notifier_v1 or org_kde_kwin_idle%s, "
                         "or GNOME's org.gnome.Mutter.IdleMonitor, and has none of them (%s)\n",
                         wayland.NoSeat() ? " on a seat (it offers no wl_seat)" : "", why.c_str());
            return 1;
        }
        source = "org.gnome.Mutter.IdleMonitor";
    }
    if (options.m_bVerbose)
        std::fprintf(stderr, "veltrix: waiting for %d s without input (%s)\n", options.m_nIdleSeconds, source);

    watcher.m_pLoop = g_main_loop_new(nullptr, FALSE);
    const guint signals[] = {
        g_unix_signal_add(SIGTERM, OnStopSignal, &watcher),
        g_unix_signal_add(SIGINT, OnStopSignal, &watcher),
        g_unix_signal_add(SIGHUP, OnStopSignal, &watcher),
    };
    g_main_loop_run(watcher.m_pLoop);
    saver.Stop();
    for (guint s : signals)
        g_source_remove(s);
    g_main_loop_unref(watcher.m_pLoop);
    if (!watcher.m_Lost.empty())
        std::fprintf(stderr, "veltrix: %s\n", watcher.m_Lost.c_str());
    return watcher.m_nStatus;
}
