// The veltrix program as a test starts it on a compositor: stderr and stdout
// into a file of the test's, the compositor's environment plus the test's,
// and waits that end however the program behaves.
#pragma once

#include "tests/support/Compositor.h"

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct SProgram
{
    pid_t pid = -1;
    std::string errPath;

    std::string Errors() const;
    bool Running() const; // not exited yet (an exited child stays unreaped for WaitForExit)
    // The count-th appearance of text in its output; false once it exited without.
    bool WaitFor(const std::string& text, double seconds = 60, int count = 1) const;
    bool RunsFor(double seconds) const; // still running after that long
    int WaitForExit(double seconds = 60) const; // the status; -1 after killing it at the limit
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// veltrix with args on compositor (null: none), with no sound device and env on top.
SProgram StartProgram(const CCompositor* compositor, const std::vector<std::string>& args, const std::string& errPath,
                      const Environment& env = {});
