#include "tests/support/Program.h"

#include "tests/support/Child.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

std::string SProgram::Errors() const
{
    return ReadWholeFile(errPath);
}

bool SProgram::Running() const
{
    siginfo_t info{};
    return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != pid;
}

bool SProgram::WaitFor(const std::string& text, double seconds, int count) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const bool running = Running(); // before the read: its last words are in the file by then
        const std::string errors = Errors();
        int seen = 0;
        for (size_t at = errors.find(text); at != std::string::npos && seen < count; at = errors.find(text, at + 1))
            ++seen;
        if (seen == count)
            return true;
        if (!running || std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool SProgram::RunsFor(double seconds) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Running();
}

int SProgram::WaitForExit(double seconds) const
{
    return ::WaitForExit(pid, seconds);
}

SProgram StartProgram(const CCompositor* compositor, const std::vector<std::string>& args, const std::string& errPath,
                      const Environment& env)
{
    SProgram program;
    program.errPath = errPath;
    program.pid = fork();
    if (program.pid == 0) {
        for (const char* name : {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
            unsetenv(name);
        if (compositor)
            compositor->SetClientEnvironment();
        setenv("ALSOFT_DRIVERS", "null", 1);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        if (!freopen(errPath.c_str(), "w", stderr) || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
            _exit(126);
        std::vector<std::string> argv = {VELTRIX_BINARY_DIR "/veltrix"};
        argv.insert(argv.end(), args.begin(), args.end());
        ExecArgv(argv);
    }
    return program;
}
