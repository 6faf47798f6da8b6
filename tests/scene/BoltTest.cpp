#include "scene/Bolt.h"

#include "TestRand.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Every draw gives the middle of the range (no displacement) except one chosen draw.
long g_SpecialDraw = -1;
int g_SpecialValue = 0;
int OneSpecialDraw(long n)
{
    return n == g_SpecialDraw ? g_SpecialValue : kRandMid;
}

const math::vector kStart{0.0f, 0.0f, 0.0f};
const math::vector kEnd{63.0f, 0.0f, 0.0f};

void Generate(CBolt& bolt, long specialDraw, float amplitude = 0.1f)
{
    g_SpecialDraw = specialDraw;
    g_SpecialValue = 0; // RangeRand(-0.5, 0.5) = -0.5
    ResetRand(OneSpecialDraw);
    bolt.GenBolt(kStart, kEnd, amplitude);
    bolt.GenTangents();
}

void ExpectSamePoint(const math::vector& a, const math::vector& b)
{
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

} // namespace

TEST(Bolt, GenerationTakes186DrawsAndTangentsNone)
{
    CBolt bolt;
    ResetRand(nullptr);
    bolt.GenBolt({1, 2, 3}, {4, -5, 6}, 0.12f);
    EXPECT_EQ(RandDraws(), 186);
    bolt.GenTangents();
    EXPECT_EQ(RandDraws(), 186);
    EXPECT_EQ(bolt.NumPoints(), 64u);
}

TEST(Bolt, DrawsGoToPointsInPreOrderLeftFirstAsZThenYThenX)
{
    CBolt reference;
    Generate(reference, -1);

    // The first ten intervals split, in the order the draws are consumed.
    struct Split
    {
        unsigned int i, j, k;
    };
    const Split order[] = {{0, 63, 31}, {0, 31, 15}, {0, 15, 7}, {0, 7, 3}, {0, 3, 1},
                           {1, 3, 2},   {3, 7, 5},   {3, 5, 4},  {5, 7, 6}, {7, 15, 11}};
    for (unsigned int m = 0; m < 10; ++m) {
        SCOPED_TRACE(m);
        CBolt bolt;
        Generate(bolt, 3 * m); // the first of the point's three draws displaces z
        const Split& s = order[m];
        const float length = reference.GetPoint(s.j).x - reference.GetPoint(s.i).x;
        const math::vector& p = bolt.GetPoint(s.k);
        EXPECT_EQ(p.x, reference.GetPoint(s.k).x);
        EXPECT_EQ(p.y, 0.0f);
        EXPECT_FLOAT_EQ(p.z, -0.5f * 0.1f * length);
        for (unsigned int earlier = 0; earlier < m; ++earlier)
            ExpectSamePoint(bolt.GetPoint(order[earlier].k), reference.GetPoint(order[earlier].k));
    }

    // Second and third draws of a point: y, then x.
    CBolt y, x;
    Generate(y, 1);
    EXPECT_FLOAT_EQ(y.GetPoint(31).y, -0.5f * 0.1f * 63.0f);
    EXPECT_EQ(y.GetPoint(31).z, 0.0f);
    Generate(x, 2);
    EXPECT_FLOAT_EQ(x.GetPoint(31).x, 31.5f - 0.5f * 0.1f * 63.0f);
    EXPECT_EQ(x.GetPoint(31).y, 0.0f);

    // The last draw displaces x of point 62, the last point split.
    CBolt last;
    Generate(last, 185);
    for (unsigned int i = 0; i < 62; ++i)
        ExpectSamePoint(last.GetPoint(i), reference.GetPoint(i));
    const float lastLength = reference.GetPoint(63).x - reference.GetPoint(61).x;
    EXPECT_FLOAT_EQ(last.GetPoint(62).x, reference.GetPoint(62).x - 0.5f * 0.1f * lastLength);
    EXPECT_EQ(last.GetPoint(62).z, 0.0f);
}

TEST(Bolt, ZeroAmplitudeSplitsAtRecursiveMidpoints)
{
    CBolt bolt;
    ResetRand(nullptr);
    bolt.GenBolt(kStart, kEnd, 0.0f);
    ExpectSamePoint(bolt.GetPoint(0), kStart);
    ExpectSamePoint(bolt.GetPoint(63), kEnd);
    EXPECT_EQ(bolt.GetPoint(31).x, 31.5f); // halfway, not at 31/63 of the way
    EXPECT_EQ(bolt.GetPoint(15).x, 15.75f);
    EXPECT_EQ(bolt.GetPoint(47).x, 47.25f);
    for (unsigned int i = 0; i < 64; ++i) {
        EXPECT_EQ(bolt.GetPoint(i).y, 0.0f);
        EXPECT_EQ(bolt.GetPoint(i).z, 0.0f);
        if (i > 0) {
            EXPECT_GT(bolt.GetPoint(i).x, bolt.GetPoint(i - 1).x);
        }
    }
}

TEST(Bolt, TangentsAreOneSidedAtTheEndsAndCentralInside)
{
    CBolt bolt;
    ResetRand(nullptr);
    bolt.GenBolt({-1, 2, 0.5f}, {3, 9, -4}, 0.15f);
    bolt.GenTangents();
    const auto diff = [&](unsigned int a, unsigned int b) {
        const math::vector& p = bolt.GetPoint(a);
        const math::vector& q = bolt.GetPoint(b);
        return math::vector{p.x - q.x, p.y - q.y, p.z - q.z};
    };
    ExpectSamePoint(bolt.GetTangent(0), diff(1, 0));
    ExpectSamePoint(bolt.GetTangent(63), diff(63, 62));
    for (unsigned int i : {1u, 31u, 62u})
        ExpectSamePoint(bolt.GetTangent(i), diff(i + 1, i - 1));
}

TEST(Bolt, DegenerateBoltAndOutOfRangeIndexes)
{
    CBolt bolt;
    ResetRand(nullptr);
    const math::vector p{2.5f, -1.0f, 7.0f};
    bolt.GenBolt(p, p, 0.15f);
    bolt.GenTangents();
    for (unsigned int i = 0; i < 64; ++i) {
        ExpectSamePoint(bolt.GetPoint(i), p);
        ExpectSamePoint(bolt.GetTangent(i), {0.0f, 0.0f, 0.0f});
    }

    bolt.GenBolt({0, 0, 0}, {1, 1, 1}, 0.1f);
    bolt.GenTangents();
    EXPECT_EQ(&bolt.GetPoint(64), &bolt.GetPoint(0));
    EXPECT_EQ(&bolt.GetPoint(1000), &bolt.GetPoint(0));
    EXPECT_EQ(&bolt.GetTangent(64), &bolt.GetTangent(0));
    EXPECT_EQ(&bolt.GetTangent(0xFFFFFFFFu), &bolt.GetTangent(0));
}
