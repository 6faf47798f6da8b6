// A private X server for one test: Xvfb on a display number it picks itself
// (never a display of the machine), stopped when the object goes. Start
// returns once the server accepts connections, or false (Xvfb missing, or it
// did not come up within 20 s).
#pragma once

#include <sys/types.h>

#include <string>

class CXvfb
{
public:
    CXvfb() = default;
    ~CXvfb(); // Stop
    CXvfb(const CXvfb&) = delete;
    CXvfb& operator=(const CXvfb&) = delete;

    bool Start(int width, int height); // one screen, 24-bit colour
    void Stop(); // safe to repeat
    const std::string& DisplayName() const { return m_DisplayName; } // ":N"; empty until started

private:
    pid_t m_Pid = -1;
    std::string m_DisplayName;
};
