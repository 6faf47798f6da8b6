#include "tests/support/Compositor.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool Installed(const char* program)
{
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        if (access((std::string(dir) + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

// Whether a client connecting now sees at least one output.
bool SeesAnOutput(const std::string& socket)
{
    wl_display* display = wl_display_connect(socket.c_str());
    if (!display)
        return false;
    int outputs = 0;
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, wl_output_interface.name) == 0)
                ++*static_cast<int*>(data);
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &outputs);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return outputs > 0;
}

} // namespace

CCompositor::~CCompositor()
{
    Stop();
}

bool CCompositor::Start(ECompositor kind, const std::string& swayConfig, int outputs)
{
    Stop();
    const bool sway = kind == ECompositor::Sway || kind == ECompositor::NestedSway;
    const bool ownBus = kind == ECompositor::Mutter || kind == ECompositor::KWin;
    const char* program = sway                          ? "sway"
                          : kind == ECompositor::Weston ? "weston"
                          : kind == ECompositor::Mutter ? "mutter"
                                                        : "kwin_wayland";
    m_bMissing = !Installed(program) || (sway && !Installed("setpriv")) || (ownBus && !Installed("dbus-run-session"));
    if (m_bMissing)
        return false;
    if (kind == ECompositor::NestedSway) {
        m_pOuter = std::make_unique<CCompositor>();
        if (!m_pOuter->Start(ECompositor::Sway, "output HEADLESS-1 mode --custom 1920x1080\ndefault_border none", 1))
            return false;
    }
    std::string pattern = "/tmp/veltrix-wl-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return false;
    m_RuntimeDir = pattern;
    chmod(m_RuntimeDir.c_str(), 0700);
    const passwd* nobody = getpwnam("nobody");
    if (sway) {
        if (!nobody || chown(m_RuntimeDir.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            return false;
        std::ofstream(m_RuntimeDir + "/config") << swayConfig << "\n";
        if (chown((m_RuntimeDir + "/config").c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            return false;
    }
    // The installed binary carries a file capability that a container may
    // refuse to exec; a plain copy runs, and as root needs none.
    std::error_code copyError;
    if (kind == ECompositor::KWin &&
        !std::filesystem::copy_file("/usr/bin/kwin_wayland", m_RuntimeDir + "/kwin_wayland", copyError))
        return false;
    const std::string log = m_RuntimeDir + "/compositor.log";
    m_Pid = fork();
    if (m_Pid == 0) {
        setsid(); // Stop takes its children (Xwayland, dbus, helpers) with it
        if (int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        clearenv();
        setenv("PATH", "/usr/local/bin:/usr/bin:/bin", 1);
        setenv("XDG_RUNTIME_DIR", m_RuntimeDir.c_str(), 1);
        setenv("HOME", m_RuntimeDir.c_str(), 1);
        if (sway) {
            setenv("WLR_RENDERER", "pixman", 1);
            setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
            if (kind == ECompositor::NestedSway) {
                setenv("WLR_BACKENDS", "wayland", 1);
                setenv("WLR_WL_OUTPUTS", std::to_string(outputs).c_str(), 1);
                setenv("WAYLAND_DISPLAY", m_pOuter->Socket().c_str(), 1);
            } else {
                setenv("WLR_BACKENDS", "headless", 1);
                setenv("WLR_HEADLESS_OUTPUTS", std::to_string(outputs).c_str(), 1);
            }
            const std::string config = m_RuntimeDir + "/config";
            execlp("setpriv", "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "sway", "-c",
                   config.c_str(), static_cast<char*>(nullptr));
        } else if (kind == ECompositor::Weston) {
            execlp("weston", "weston", "--backend=headless-backend.so", "--use-pixman", "--socket=wayland-test",
                   "--width=1280", "--height=720", "--idle-time=0", static_cast<char*>(nullptr));
        } else {
            // The bus address comes back through a file: clients need it for the D-Bus interfaces.
            std::string script = "echo \"$DBUS_SESSION_BUS_ADDRESS\" > " + m_RuntimeDir + "/bus; exec ";
            if (kind == ECompositor::Mutter) {
                script += "mutter --headless --wayland --no-x11 --virtual-monitor 1280x720 --wayland-display "
                          "wayland-test";
            } else {
                setenv("KWIN_WAYLAND_NO_PERMISSION_CHECKS", "1", 1);
                setenv("KWIN_SCREENSHOT_NO_PERMISSION_CHECKS", "1", 1);
                script += m_RuntimeDir +
                          "/kwin_wayland --virtual --no-lockscreen --no-global-shortcuts "
                          "--no-kactivities --socket wayland-test --width 1280 --height 720 "
                          "--output-count " +
                          std::to_string(outputs);
            }
            execlp("dbus-run-session", "dbus-run-session", "--", "sh", "-c", script.c_str(),
                   static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    if (m_Pid < 0 || !_WaitForOutput()) {
        Stop();
        return false;
    }
    if (ownBus) {
        std::ifstream(m_RuntimeDir + "/bus") >> m_SessionBus;
        if (m_SessionBus.empty()) {
            Stop();
            return false;
        }
    }
    return true;
}

bool CCompositor::_WaitForOutput()
{
    for (int i = 0; i < 600; ++i) {
        if (waitpid(m_Pid, nullptr, WNOHANG) == m_Pid) {
            m_Pid = -1;
            return false;
        }
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(m_RuntimeDir, ignored)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("wayland-") && !name.ends_with(".lock"))
                m_Socket = entry.path().string();
            else if (name.starts_with("sway-ipc."))
                m_SwaySock = entry.path().string();
        }
        if (!m_Socket.empty() && SeesAnOutput(m_Socket))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void CCompositor::Stop()
{
    if (m_Pid > 0) {
        kill(-m_Pid, SIGTERM);
        kill(m_Pid, SIGTERM);
        for (int i = 0; i < 100 && waitpid(m_Pid, nullptr, WNOHANG) != m_Pid; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(-m_Pid, SIGKILL);
        waitpid(m_Pid, nullptr, WNOHANG);
    }
    m_Pid = -1;
    if (!m_RuntimeDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_RuntimeDir, ignored);
    }
    m_RuntimeDir.clear();
    m_Socket.clear();
    m_SwaySock.clear();
    m_SessionBus.clear();
    m_pOuter.reset();
}

void CCompositor::Kill()
{
    if (m_Pid > 0) {
        kill(-m_Pid, SIGKILL);
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, nullptr, 0);
        m_Pid = -1;
    }
}

void CCompositor::SetClientEnvironment() const
{
    setenv("XDG_RUNTIME_DIR", m_RuntimeDir.c_str(), 1);
    setenv("WAYLAND_DISPLAY", m_Socket.c_str(), 1);
    if (!m_SwaySock.empty())
        setenv("SWAYSOCK", m_SwaySock.c_str(), 1);
    if (!m_SessionBus.empty())
        setenv("DBUS_SESSION_BUS_ADDRESS", m_SessionBus.c_str(), 1);
    unsetenv("DISPLAY");
}

int CCompositor::Run(const std::vector<std::string>& argv, std::string* out) const
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        if (int null = open("/dev/null", O_WRONLY); null >= 0)
            dup2(null, STDERR_FILENO);
        SetClientEnvironment();
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
