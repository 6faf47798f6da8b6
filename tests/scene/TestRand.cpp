#include "TestRand.h"

#include "core/Util.h"

#include <cstdint>

namespace {
RandSource g_Source = nullptr;
long g_Draws = 0;
uint32_t g_State = 12345;
int g_Forced = -1;
} // namespace

extern "C" int rand() noexcept
{
    if (g_Forced >= 0)
        return g_Forced;
    const long n = g_Draws++;
    if (g_Source)
        return g_Source(n);
    g_State = g_State * 1103515245u + 12345u;
    return static_cast<int>(g_State >> 1);
}

void ResetRand(RandSource source)
{
    g_Source = source;
    g_Draws = 0;
    g_State = 12345;
}

long RandDraws()
{
    return g_Draws;
}

float RangeRandOf(int value, float min, float max)
{
    g_Forced = value;
    const float r = RangeRand(min, max);
    g_Forced = -1;
    return r;
}
