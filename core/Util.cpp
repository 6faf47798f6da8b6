#include "core/Util.h"

#include <cstdlib>
#include <sys/time.h>

static_assert(RAND_MAX == 2147483647, "RangeRand's scale assumes a 31-bit rand()");

namespace {
TimeSource g_TimeSource = nullptr;
}

double GetTime()
{
    if (g_TimeSource)
        return g_TimeSource();
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_usec) / 1000000.0 + static_cast<double>(tv.tv_sec);
}

float RangeRand(float min, float max)
{
    // 2^-31 in single precision; the top 64 rand() values round to 2^31, so max is reachable.
    const float scale = 4.656613e-10f;
    const float value = static_cast<float>(rand());
    return ((value * scale) * (max - min)) + min;
}

void SetTimeSourceForTesting(TimeSource source)
{
    g_TimeSource = source;
}
