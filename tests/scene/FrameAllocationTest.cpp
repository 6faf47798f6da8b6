// A frame of the scene must not touch the heap: this program counts every
// operator new while a frame's worth of updates runs.
#include "math/CameraPath.h"
#include "scene/ComplexBolt.h"
#include "scene/StarField.h"

#include "TestRand.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {
long g_Allocations = 0;
}

// Kept out of line, as replacements in a file of their own would be: inlined
// into a caller, GCC sees free() on a pointer from operator new and warns.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    ++g_Allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}

[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

TEST(Frame, UpdatesAndCameraSamplesDoNotAllocate)
{
    ResetRand(nullptr);
    CComplexBolt bolt;
    CStarField stars;
    CCameraPath path;
    const float records[3][6] = {{0, 0, 0, 0, 0, 0}, {10, 20, 30, 0.1f, 0.2f, 0.3f}, {5, 5, 5, 1, 1, 1}};
    ASSERT_TRUE(path.LoadFromMemory(records, sizeof records)); // this host is little-endian

    const long before = g_Allocations;
    ASSERT_GT(before, 0); // the counter sees the set-up's allocations
    for (int frame = 0; frame < 200; ++frame) { // several bolt lives, several star wraps
        bolt.Update(0.1);
        stars.Update(0.1);
        const math::matrix m = path.GetCameraTransform(static_cast<float>(frame) / 200.0f);
        ASSERT_EQ(m[15], 1.0f);
    }
    EXPECT_GT(RandDraws(), 2 * 1875 + 4 * 4096); // at least one new life happened
    EXPECT_EQ(g_Allocations, before);
}
