#include "scene/ComplexBolt.h"

#include "TestRand.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Draw layout of one life: 0-3 angles, then per key bolt i its amplitude at
// 4 + 187 i and its 186 displacement draws, and the speed last, at 1874.
const long kLife = 1875;
const long kSpeedDraw = 1874;
long AmplitudeDraw(int bolt)
{
    return 4 + 187L * bolt;
}

const int kTheta = 1610612736; // 3/4 of the range
const int kPhi = 536870912; // 1/4
const int kDriftTheta = 214748364;
const int kDriftPhi = 1932735283;

int ChosenDraws(long n)
{
    switch (n % kLife) {
    case 0:
        return kTheta;
    case 1:
        return kPhi;
    case 2:
        return kDriftTheta;
    case 3:
        return kDriftPhi;
    case kSpeedDraw:
        return kRandMax; // speed 0.5
    default:
        break;
    }
    for (int bolt : {0, 9}) {
        if (n % kLife == AmplitudeDraw(bolt))
            return kRandMax; // amplitude 0.15
        if (n % kLife == AmplitudeDraw(bolt) + 1)
            return 0; // z offset of point 31: -0.5
    }
    return kRandMid;
}

float Length(const math::vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

math::vector Direction(float theta, float phi)
{
    return {std::cos(theta) * std::cos(phi), std::cos(theta) * std::sin(phi), std::sin(theta)};
}

void ExpectNear(const math::vector& a, const math::vector& b, float tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

} // namespace

TEST(ComplexBolt, LifeTakes1875DrawsAndStartsOnTheBallAtKeyZero)
{
    ResetRand(nullptr);
    CComplexBolt bolt;
    EXPECT_EQ(RandDraws(), kLife);
    EXPECT_EQ(bolt.NumPoints(), 64u);
    EXPECT_NEAR(Length(bolt.GetPoint(0)), 1.0f, 1e-6f);
    EXPECT_NEAR(Length(bolt.GetPoint(63)), 9.0f, 1e-5f);

    const math::vector before = bolt.GetPoint(20);
    bolt.Update(0.0);
    EXPECT_EQ(RandDraws(), kLife);
    const math::vector after = bolt.GetPoint(20);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(after.z, before.z);
}

TEST(ComplexBolt, DrawsFollowTheLifeLayoutAndPhaseOneShowsKeyNine)
{
    ResetRand(ChosenDraws);
    CComplexBolt bolt;
    ASSERT_EQ(RangeRandOf(kRandMax, 0.2f, 0.5f), 0.5f);

    const float theta1 = RangeRandOf(kTheta, -1.0471976f, 1.0471976f);
    const float phi1 = RangeRandOf(kPhi, 0.0f, 6.2831855f);
    const float theta2 = theta1 + RangeRandOf(kDriftTheta, -0.2f, 0.2f);
    const float phi2 = phi1 + RangeRandOf(kDriftPhi, -0.2f, 0.2f);
    const math::vector s1 = Direction(theta1, phi1), s2 = Direction(theta2, phi2);
    const math::vector e1 = s1 * 9.0f, e2 = s2 * 9.0f;

    // Key bolt 0: from S1 to E1, amplitude 0.15 (its first draw), point 31 pushed down in z (its second).
    ExpectNear(bolt.GetPoint(0), s1, 1e-6f);
    ExpectNear(bolt.GetPoint(63), e1, 1e-5f);
    const float length0 = Length(e1 - s1);
    const math::vector middle0 = (s1 + e1) / 2.0f;
    ExpectNear(bolt.GetPoint(31), {middle0.x, middle0.y, middle0.z - 0.5f * 0.15f * length0}, 1e-5f);

    // Speed 0.5 (the last draw): two seconds bring the phase to exactly 1, which keeps the
    // life and shows key bolt 9 alone.
    bolt.Update(2.0);
    EXPECT_EQ(RandDraws(), kLife);
    ExpectNear(bolt.GetPoint(0), s2, 1e-6f);
    ExpectNear(bolt.GetPoint(63), e2, 1e-5f);
    const float length9 = Length(e2 - s2);
    const math::vector middle9 = (s2 + e2) / 2.0f;
    ExpectNear(bolt.GetPoint(31), {middle9.x, middle9.y, middle9.z - 0.5f * 0.15f * length9}, 1e-5f);

    bolt.Update(1e-3);
    EXPECT_EQ(RandDraws(), 2 * kLife);
}

TEST(ComplexBolt, BlendWeighsTheNextKeyByThePhase)
{
    ResetRand(ChosenDraws);
    CComplexBolt bolt;
    const math::vector key0 = bolt.GetPoint(0);
    const math::vector tangent0 = bolt.GetTangent(10);
    bolt.Update(2.0 / 9.0); // key 1 alone
    const math::vector key1 = bolt.GetPoint(0);
    const math::vector tangent1 = bolt.GetTangent(10);
    EXPECT_GT(Length(key1 - key0), 1e-3f);

    ResetRand(ChosenDraws);
    CComplexBolt blended;
    blended.Update(0.5 / 9.0); // a quarter of the way from key 0 to key 1
    ExpectNear(blended.GetPoint(0), key0 * 0.75f + key1 * 0.25f, 1e-6f);
    ExpectNear(blended.GetTangent(10), tangent0 * 0.75f + tangent1 * 0.25f, 1e-5f);
    // Indexes past the end read entry 0 of both keys.
    for (unsigned int i : {64u, 1000u}) {
        ExpectNear(blended.GetPoint(i), blended.GetPoint(0), 0.0f);
        ExpectNear(blended.GetTangent(i), blended.GetTangent(0), 0.0f);
    }
}

TEST(ComplexBolt, AHugeStepStartsExactlyOneLifeAtPhaseZero)
{
    ResetRand(ChosenDraws);
    CComplexBolt bolt;
    bolt.Update(1e6);
    EXPECT_EQ(RandDraws(), 2 * kLife);
    EXPECT_NEAR(Length(bolt.GetPoint(0)), 1.0f, 1e-6f);

    // The new life's speed is 0.5 again: it lasts two seconds from phase 0, no more, no less.
    bolt.Update(1.0);
    bolt.Update(1.0);
    EXPECT_EQ(RandDraws(), 2 * kLife);
    bolt.Update(1e-3);
    EXPECT_EQ(RandDraws(), 3 * kLife);
}

TEST(ComplexBolt, NaNStepStartsANewLifeInsteadOfFreezing)
{
    ResetRand(nullptr);
    CComplexBolt bolt;
    bolt.Update(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(RandDraws(), 2 * kLife);
    for (unsigned int i = 0; i < bolt.NumPoints(); ++i) {
        const math::vector p = bolt.GetPoint(i);
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << i;
    }
}
