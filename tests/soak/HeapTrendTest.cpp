// The soak's verdict on the heap: a trend fails it, a one-off step does not.
#include "tools/soak/HeapTrend.h"

#include <gtest/gtest.h>

namespace {

// samples of a heap of 90 MB with scratch memory taken and let go every
// other sample, plus what grow(sample) adds.
template <class Grow> CHeapTrend Samples(long samples, Grow grow)
{
    CHeapTrend trend(samples);
    for (long s = 0; s < samples; ++s)
        trend.Add(s, 90'000'000 + (s % 2 ? 3'000'000 : 0) + grow(s));
    return trend;
}

} // namespace

TEST(HeapTrend, OnlyGrowthInEveryWindowIsALeak)
{
    // The driver's one-off 128 KiB step, anywhere in the run, stays and is no leak.
    for (long at : {1L, 2999L, 3000L, 5999L})
        EXPECT_FALSE(Samples(6000, [at](long s) { return s >= at ? 131136L : 0L; }).Grew()) << at;
    EXPECT_FALSE(Samples(6000, [](long) { return 0L; }).Grew());

    // 32 bytes a sample: 192000 over the run, a little in every window.
    const CHeapTrend leak = Samples(6000, [](long s) { return 32 * s; });
    EXPECT_TRUE(leak.Grew());
    EXPECT_EQ(leak.Last() - leak.First(), 32 * 4800);
    // Too little to tell from the allocator's own movement.
    EXPECT_FALSE(Samples(6000, [](long s) { return s / 100; }).Grew());

    // Fewer samples than windows: each sample is a window.
    CHeapTrend few(3);
    for (long s = 0; s < 3; ++s)
        few.Add(s, 90'000'000 + s * 100'000);
    EXPECT_TRUE(few.Grew());
    EXPECT_FALSE(Samples(1, [](long) { return 0L; }).Grew());
}
