// The programs that tests start: exec in a forked child, and waiting for
// their exit without ever hanging a test run.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

// The whole file (a child's stderr, a /proc entry); "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// In a forked child: runs argv[0] with argv; exits 127 when it cannot.
[[noreturn]] void ExecArgv(const std::vector<std::string>& argv);

// The exit status (128 + signal when killed); -1 after killing it at the limit.
int WaitForExit(pid_t pid, double seconds);
