#include "scene/StarField.h"

#include "TestRand.h"

#include <gtest/gtest.h>

namespace {

// Distinct, reproducible values: draw n gives a value spread over the whole range.
int Spread(long n)
{
    return static_cast<int>((static_cast<unsigned long>(n) * 2654435761ul) % 2147483648ul);
}

// Speed 100 (the largest), everything else in the middle: every star starts at the origin.
int FastFromOrigin(long n)
{
    return n % 4 == 0 ? kRandMax : kRandMid;
}

// As above, but y at the bottom of the box (-200).
int FastFromBottom(long n)
{
    return n % 4 == 0 ? kRandMax : (n % 4 == 2 ? 0 : kRandMid);
}

void ExpectAllStars(const CStarField& field, float y, float alpha)
{
    for (unsigned int i = 0; i < field.NumStars(); ++i) {
        ASSERT_EQ(field.GetStar(i).m_vPos.y, y) << i;
        ASSERT_EQ(field.GetStar(i).m_fAlpha, alpha) << i;
    }
}

} // namespace

TEST(StarField, EachStarDrawsSpeedThenZThenYThenX)
{
    ResetRand(Spread);
    CStarField field;
    EXPECT_EQ(RandDraws(), 4 * 4096);
    EXPECT_EQ(field.NumStars(), 4096u);
    for (unsigned int i : {0u, 1u, 4095u}) {
        SCOPED_TRACE(i);
        const CStarField::SStar& s = field.GetStar(i);
        const long n = 4L * i;
        EXPECT_EQ(s.m_fSpeed, RangeRandOf(Spread(n), 10.0f, 100.0f));
        EXPECT_EQ(s.m_vPos.z, RangeRandOf(Spread(n + 1), -100.0f, 100.0f));
        EXPECT_EQ(s.m_vPos.y, RangeRandOf(Spread(n + 2), -200.0f, 200.0f));
        EXPECT_EQ(s.m_vPos.x, RangeRandOf(Spread(n + 3), -100.0f, 100.0f));
        EXPECT_EQ(s.m_vOldPos.x, s.m_vPos.x + 0.001f);
        EXPECT_EQ(s.m_vOldPos.y, s.m_vPos.y + 0.001f);
        EXPECT_EQ(s.m_vOldPos.z, s.m_vPos.z + 0.001f);
    }
}

TEST(StarField, UpdateMovesOnlyYAndKeepsThePreviousPosition)
{
    ResetRand(Spread);
    CStarField field;
    const CStarField::SStar before = field.GetStar(7);
    field.Update(0.0);
    const CStarField::SStar& still = field.GetStar(7);
    EXPECT_EQ(still.m_vPos.y, before.m_vPos.y);
    EXPECT_EQ(still.m_vOldPos.x, still.m_vPos.x);
    EXPECT_EQ(still.m_vOldPos.y, still.m_vPos.y);
    EXPECT_EQ(still.m_vOldPos.z, still.m_vPos.z);

    field.Update(0.01);
    const CStarField::SStar& moved = field.GetStar(7);
    EXPECT_EQ(moved.m_vPos.x, before.m_vPos.x);
    EXPECT_EQ(moved.m_vPos.z, before.m_vPos.z);
    EXPECT_EQ(moved.m_fSpeed, before.m_fSpeed);
    EXPECT_EQ(moved.m_vOldPos.y, before.m_vPos.y);
    const float expected =
        static_cast<float>(static_cast<double>(before.m_vPos.y) + static_cast<double>(before.m_fSpeed) * 0.01);
    ASSERT_LE(expected, 200.0f); // this star does not reach the top in one step
    EXPECT_EQ(moved.m_vPos.y, expected);
    EXPECT_EQ(RandDraws(), 4 * 4096); // no draws after construction
}

TEST(StarField, FadesOverTheLastUnitAtTheTop)
{
    ResetRand(FastFromOrigin);
    CStarField field;
    field.Update(0.0);
    ExpectAllStars(field, 0.0f, 1.0f);
    field.Update(1.99);
    ExpectAllStars(field, 199.0f, 1.0f);
    field.Update(0.005);
    ExpectAllStars(field, 199.5f, 0.5f);
    field.Update(0.005);
    ExpectAllStars(field, 200.0f, 0.0f); // on the edge: no wrap yet
}

TEST(StarField, WrapsToTheBottomWithItsFadeAndAShortTrail)
{
    ResetRand(FastFromOrigin);
    CStarField field;
    field.Update(2.005);
    ExpectAllStars(field, -199.5f, 0.5f);
    const CStarField::SStar& s = field.GetStar(4095);
    EXPECT_EQ(s.m_vOldPos.x, s.m_vPos.x + 0.001f);
    EXPECT_EQ(s.m_vOldPos.y, -199.5f + 0.001f);
    EXPECT_EQ(s.m_vOldPos.z, s.m_vPos.z + 0.001f);
}

TEST(StarField, FadesInOverTheFirstUnitAtTheBottom)
{
    ResetRand(FastFromBottom);
    CStarField field;
    field.Update(0.0);
    ExpectAllStars(field, -200.0f, 0.0f);
    field.Update(0.005);
    ExpectAllStars(field, -199.5f, 0.5f);
    field.Update(0.005);
    ExpectAllStars(field, -199.0f, 1.0f);
}

TEST(StarField, AHugeStepWrapsOnceAndStaysDarkAboveTheBox)
{
    ResetRand(FastFromOrigin);
    CStarField field;
    field.Update(10.0); // to 1000, wrapped once to 600
    ExpectAllStars(field, 600.0f, 0.0f);
    field.Update(0.0); // wraps again on the next step
    ExpectAllStars(field, 200.0f, 0.0f);
    field.Update(0.0);
    ExpectAllStars(field, 200.0f, 0.0f);
}
