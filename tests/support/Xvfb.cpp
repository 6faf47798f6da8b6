#include "tests/support/Xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

CXvfb::~CXvfb()
{
    Stop();
}

bool CXvfb::Start(int width, int height)
{
    Stop();
    // -displayfd: the server takes the first free display number and writes
    // it to the pipe once it accepts connections, which is both the choice of
    // number and the wait in one, without races against other tests.
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(fds[1]);
    m_Pid = fork();
    if (m_Pid == 0) {
        close(fds[0]);
        // Its notes on displays already taken are no test's business.
        if (int null = open("/dev/null", O_WRONLY); null >= 0)
            dup2(null, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (m_Pid > 0 && poll(&wait, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty() || c != '\n') {
        Stop();
        return false;
    }
    m_DisplayName = ":" + number;
    return true;
}

void CXvfb::Stop()
{
    if (m_Pid > 0) {
        kill(m_Pid, SIGTERM);
        waitpid(m_Pid, nullptr, 0);
    }
    m_Pid = -1;
    m_DisplayName.clear();
}
