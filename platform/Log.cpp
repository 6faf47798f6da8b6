#include "platform/Log.h"

#include <cerrno>
#include <cstdio>

void SaverLog(const char* line)
{
    // One write per line, so lines of several processes on one terminal do not interleave.
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line ? line : "");
}
