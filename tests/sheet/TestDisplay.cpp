#include "tests/sheet/TestDisplay.h"

#include "platform/SheetLibrary.h"

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
struct SXvfb
{
    pid_t m_Pid = -1;
    std::string m_Name;

    SXvfb()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_Pid = fork();
        if (m_Pid == 0)
        {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-br", "-nolisten", "tcp", "-screen", "0",
                   "2560x720x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the number and its newline separately and dies if the pipe closes in between.
        std::string number;
        char c = 0;
        while (m_Pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (c == '\n' && !number.empty())
        {
            m_Name = ":" + number;
            setenv("DISPLAY", m_Name.c_str(), 1);
        }
        // Linked into the test rather than loaded from the bundle, the sheet code looks for its library here.
        SetSheetLibraryPath(VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Linux/VeltrixSheet.so");
    }

    ~SXvfb()
    {
        if (m_Pid > 0)
        {
            kill(m_Pid, SIGTERM);
            waitpid(m_Pid, nullptr, 0);
        }
    }
};
} // namespace

const std::string& sheet_test::Display()
{
    static SXvfb s_Xvfb;
    return s_Xvfb.m_Name;
}

void sheet_test::SetTwoMonitors()
{
    static bool s_bDone = false;   // the server refuses a monitor that exists
    if (s_bDone)
        return;
    s_bDone = true;
    const std::string d = "xrandr -d " + Display();
    // The left monitor takes the screen's output, so the automatic whole-screen monitor goes away.
    std::system((d + " --setmonitor VL 1280/338x720/190+0+0 screen >/dev/null").c_str());
    std::system((d + " --setmonitor '*VR' 1280/338x720/190+1280+0 none >/dev/null").c_str());
}
