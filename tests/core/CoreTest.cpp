#include "core/Config.h"
#include "core/Util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

// This test program supplies its own rand(), so RangeRand can be fed exact values.
static int g_NextRand = 0;
extern "C" int rand() noexcept
{
    return g_NextRand;
}

TEST(Config, ConstructorSetsDefaultsAndLeavesScreenBufferEmpty)
{
    SCONFIG c;
    EXPECT_EQ(c.m_nEnableSounds, 1);
    EXPECT_EQ(c.m_nSoundVolume, 30);
    EXPECT_EQ(c.m_nPlasmaDensity, 100);
    EXPECT_EQ(c.m_nStaticCamera, 0);
    EXPECT_FALSE(c.m_bPreview);
    EXPECT_TRUE(c.m_bMainScreen);
    EXPECT_EQ(c.m_pScreenBuf, nullptr);
}

TEST(Config, ResetRestoresItsSixFieldsAndKeepsTheOtherTwo)
{
    SCONFIG c;
    unsigned char buffer[4];
    c.m_nEnableSounds = 0;
    c.m_nSoundVolume = 99;
    c.m_nUseDesktopBitmap = 7;
    c.m_nPlasmaDensity = 3;
    c.m_nStaticCamera = 1;
    c.m_bPreview = true;
    c.m_bMainScreen = false;
    c.m_pScreenBuf = buffer;
    c.Reset();
    EXPECT_EQ(c.m_nEnableSounds, 1);
    EXPECT_EQ(c.m_nSoundVolume, 30);
    EXPECT_EQ(c.m_nPlasmaDensity, 100);
    EXPECT_EQ(c.m_nStaticCamera, 0);
    EXPECT_FALSE(c.m_bPreview);
    EXPECT_TRUE(c.m_bMainScreen);
    EXPECT_EQ(c.m_nUseDesktopBitmap, 7);
    EXPECT_EQ(c.m_pScreenBuf, buffer);
}

TEST(RangeRand, MapsTheGeneratorRangeOntoTheClosedInterval)
{
    g_NextRand = 0;
    EXPECT_EQ(RangeRand(10.0f, 20.0f), 10.0f);
    g_NextRand = 1073741824;
    EXPECT_EQ(RangeRand(10.0f, 20.0f), 15.0f);
    g_NextRand = 2147483647;
    EXPECT_EQ(RangeRand(10.0f, 20.0f), 20.0f);
    g_NextRand = 2147483584; // the lowest value that rounds up to 2^31
    EXPECT_EQ(RangeRand(0.0f, 1.0f), 1.0f);
}

TEST(RangeRand, ReversedBoundsStayBetweenThem)
{
    g_NextRand = 1073741824;
    EXPECT_EQ(RangeRand(5.0f, -5.0f), 0.0f);
    g_NextRand = 0;
    EXPECT_EQ(RangeRand(5.0f, -5.0f), 5.0f);
}

static double FixedClock()
{
    return 12.5;
}

TEST(GetTime, ReadsTheWallClockUnlessATestSourceIsInstalled)
{
    const double now = GetTime();
    EXPECT_NEAR(now, static_cast<double>(std::time(nullptr)), 2.0);
    SetTimeSourceForTesting(&FixedClock);
    EXPECT_EQ(GetTime(), 12.5);
    SetTimeSourceForTesting(nullptr);
    EXPECT_NEAR(GetTime(), now, 2.0);
}
