// The camera cycle's schedule, driven straight through PrepareToDraw with a
// chosen frame interval. This program supplies rand() itself, so a test can
// script the path draws; unscripted calls come from a small generator.
#include "tests/render/RenderTestSupport.h"

#include "core/SoundGain.h"
#include "render/Drawer.h"

#include <cmath>
#include <deque>

using namespace rendertest;

namespace {

std::deque<int> g_Script;
unsigned int g_State = 1;

} // namespace

extern "C" int rand() noexcept
{
    if (!g_Script.empty()) {
        const int v = g_Script.front();
        g_Script.pop_front();
        return v;
    }
    g_State = g_State * 1103515245u + 12345u;
    return static_cast<int>((g_State >> 1) & 0x7FFFFFFF);
}

extern "C" void srand(unsigned int seed) noexcept
{
    g_State = seed;
}

namespace {

constexpr float Pi = 3.14159265f;

class CameraCycleTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        g_Script.clear();
        InstallVirtualClock(7000.0);
        OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    }

    void Start(CDrawer& drawer, bool preview = false, int staticCamera = 0)
    {
        SCONFIG config;
        config.m_nPlasmaDensity = 0;
        config.m_bPreview = preview;
        config.m_nStaticCamera = staticCamera;
        ASSERT_TRUE(drawer.Init(&config));
    }

    // Runs the cycle until its path time has reached t (on entry of the call).
    static void RunTo(CDrawer& drawer, float t, double step = 0.5)
    {
        drawer.m_dFrameTime = step;
        while (!(drawer.m_fPathTime >= t - 1e-4f))
            drawer.PrepareToDraw();
        drawer.PrepareToDraw(); // the call that sees path time t
    }

    static int PathIndex(const CDrawer& drawer)
    {
        for (size_t i = 0; i < drawer.m_Paths.size(); ++i)
            if (drawer.m_Paths[i] == drawer.m_pCurPath)
                return static_cast<int>(i);
        return -1;
    }

    CTempDir m_Dir;
};

} // namespace

TEST_F(CameraCycleTest, FirstCycle_FadesInPictureAndFirstTrackThenCrossFades)
{
    CDrawer drawer;
    Start(drawer);
    drawer.m_dFrameTime = 0.5;
    drawer.PrepareToDraw();
    ASSERT_TRUE(drawer.m_nCurTrack == 0 || drawer.m_nCurTrack == 1);
    const int cur = drawer.m_nCurTrack;
    const int next = 1 - cur;
    EXPECT_EQ(drawer.m_nNextTrack, next);
    EXPECT_EQ(CDrawer::m_fDarkStrength, 1.0f);
    EXPECT_EQ(g_SoundGain[0], 0.0f);
    EXPECT_EQ(g_SoundGain[1], 0.0f);

    RunTo(drawer, 1.5f);
    EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 0.5f);
    EXPECT_FLOAT_EQ(g_SoundGain[cur], 0.5f);
    EXPECT_EQ(g_SoundGain[next], 0.0f);

    RunTo(drawer, 10.0f);
    EXPECT_EQ(CDrawer::m_fDarkStrength, 0.0f);
    EXPECT_EQ(g_SoundGain[cur], 1.0f);

    RunTo(drawer, 21.5f);
    EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 0.5f);
    EXPECT_FLOAT_EQ(g_SoundGain[cur], 0.5f);
    EXPECT_FLOAT_EQ(g_SoundGain[next], 0.5f);

    RunTo(drawer, 23.0f);
    EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 1.0f);
    EXPECT_TRUE(drawer.m_bFirstPath);

    // Past 23 s the next cycle starts, black, on the track faded in.
    drawer.PrepareToDraw();
    EXPECT_FALSE(drawer.m_bFirstPath);
    EXPECT_EQ(drawer.m_nCurTrack, next);
    EXPECT_EQ(CDrawer::m_fDarkStrength, 1.0f);
    EXPECT_GE(CDrawer::m_fStarsTimeScale, 0.0f);
    EXPECT_LE(CDrawer::m_fStarsTimeScale, 0.5f);
    EXPECT_FLOAT_EQ(drawer.m_fPathTime, 0.5f);
}

TEST_F(CameraCycleTest, TrackChoice_SwitchesAfterEveryCycleWithoutACrossFade)
{
    CDrawer drawer;
    Start(drawer);
    drawer.m_dFrameTime = 0.5;
    drawer.PrepareToDraw();
    int sameCycles = 0;
    int switchCycles = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        const int cur = drawer.m_nCurTrack;
        const int next = drawer.m_nNextTrack;
        RunTo(drawer, 21.5f);
        if (cur == next) {
            // No cross-fade: the track plays on at full gain while the picture fades.
            ++sameCycles;
            EXPECT_EQ(g_SoundGain[cur], 1.0f);
            EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 0.5f);
        } else {
            ++switchCycles;
            EXPECT_FLOAT_EQ(g_SoundGain[cur], 0.5f);
            EXPECT_FLOAT_EQ(g_SoundGain[next], 0.5f);
        }
        RunTo(drawer, 23.5f); // starts the next cycle
        EXPECT_EQ(drawer.m_nCurTrack, next);
        if (cur == next) {
            EXPECT_NE(drawer.m_nNextTrack, drawer.m_nCurTrack);
        }
    }
    EXPECT_GT(sameCycles, 30);
    EXPECT_GT(switchCycles, 80);
}

TEST_F(CameraCycleTest, TrackChoice_ACrossFadeCutShortStillHandsTheMusicOver)
{
    CDrawer drawer;
    Start(drawer);
    drawer.m_dFrameTime = 0.5;
    drawer.PrepareToDraw();
    int quietCycles = 0;
    for (int cycle = 0; cycle < 60; ++cycle) {
        RunTo(drawer, 20.0f);
        // The cycle's last frame comes at 22.9 s, the next one past 23 s.
        drawer.m_fPathTime = 22.9f;
        drawer.PrepareToDraw();
        drawer.PrepareToDraw();
        ASSERT_FLOAT_EQ(drawer.m_fPathTime, 0.5f);
        drawer.PrepareToDraw(); // well inside the new cycle, before any cross-fade
        const int cur = drawer.m_nCurTrack;
        EXPECT_EQ(g_SoundGain[cur], 1.0f) << "cycle " << cycle;
        EXPECT_EQ(g_SoundGain[1 - cur], 0.0f) << "cycle " << cycle;
        if (drawer.m_nNextTrack == cur)
            ++quietCycles;
    }
    EXPECT_GT(quietCycles, 5); // the case that used to keep the old track at -30 dB
}

TEST_F(CameraCycleTest, Preview_SkipsOnlyTheFirstFadeIn)
{
    CDrawer drawer;
    Start(drawer, true);
    drawer.m_dFrameTime = 0.5;
    drawer.PrepareToDraw();
    EXPECT_EQ(CDrawer::m_fDarkStrength, 0.0f);
    RunTo(drawer, 1.5f);
    EXPECT_EQ(CDrawer::m_fDarkStrength, 0.0f);
    RunTo(drawer, 21.5f);
    EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 0.5f);
    RunTo(drawer, 23.5f);
    EXPECT_EQ(CDrawer::m_fDarkStrength, 1.0f);
    RunTo(drawer, 1.5f);
    EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 0.5f);
}

TEST_F(CameraCycleTest, StaticCamera_PicksAViewpointPerCycleWithinItsRanges)
{
    CDrawer drawer;
    Start(drawer, false, 1);
    drawer.m_dFrameTime = 0.5;
    drawer.PrepareToDraw();
    for (int cycle = 0; cycle < 100; ++cycle) {
        const math::vector eye = CDrawer::m_CFrom;
        const float d = std::sqrt(eye.x * eye.x + eye.y * eye.y + eye.z * eye.z);
        EXPECT_GE(d, 10.0f - 1e-3f);
        EXPECT_LE(d, 20.0f + 1e-3f);
        EXPECT_LE(std::fabs(std::asin(eye.z / d)), Pi / 6 + 1e-4f);
        const float azimuth = std::atan2(eye.y, eye.x);
        EXPECT_GE(azimuth, Pi / 4 - 1e-4f);
        EXPECT_LE(azimuth, 3 * Pi / 4 + 1e-4f);
        EXPECT_EQ(CDrawer::m_CTo.x, 0.0f);
        EXPECT_EQ(CDrawer::m_CTo.y, 0.0f);
        EXPECT_EQ(CDrawer::m_CTo.z, 0.0f);
        EXPECT_EQ(CDrawer::m_CUp.z, 1.0f);
        EXPECT_EQ(drawer.m_pCurPath, nullptr);

        // The eye holds still for the whole cycle; fades run as with paths.
        RunTo(drawer, 21.5f);
        EXPECT_EQ(CDrawer::m_CFrom.x, eye.x);
        EXPECT_EQ(CDrawer::m_CFrom.z, eye.z);
        EXPECT_FLOAT_EQ(CDrawer::m_fDarkStrength, 0.5f);
        RunTo(drawer, 23.5f); // starts the next cycle
        EXPECT_EQ(CDrawer::m_fDarkStrength, 1.0f);
    }
}

TEST_F(CameraCycleTest, PathChoice_RepeatsAPathOnlyWhenTenDrawsSaySo)
{
    CDrawer drawer;
    Start(drawer);
    drawer.m_dFrameTime = 0.5;
    g_Script = {3};
    drawer.PrepareToDraw();
    ASSERT_EQ(PathIndex(drawer), 3);
    // The path flown follows the chosen entry: camera 02m starts at z = 3.75.
    EXPECT_FLOAT_EQ(CDrawer::m_CFrom.z, 3.75f);

    // Nine draws of the same path, then another: the other one is flown.
    RunTo(drawer, 23.0f);
    g_Script = {3, 13, 23, 33, 43, 53, 63, 73, 83, 7};
    drawer.PrepareToDraw(); // path time 23.5: a new cycle
    EXPECT_EQ(PathIndex(drawer), 7);
    EXPECT_TRUE(g_Script.empty());

    // Ten draws of the current path: it is flown again, and an eleventh value
    // (left for the track and star draws) never picks a path.
    RunTo(drawer, 23.0f);
    g_Script = {7, 17, 27, 37, 47, 57, 67, 77, 87, 97, 5};
    drawer.PrepareToDraw();
    EXPECT_EQ(PathIndex(drawer), 7);
}

TEST_F(CameraCycleTest, PathCamera_FollowsThePathOverTheWholeCycle)
{
    CDrawer drawer;
    Start(drawer);
    g_Script = {0};
    drawer.m_dFrameTime = 0.5;
    drawer.PrepareToDraw();
    ASSERT_EQ(PathIndex(drawer), 0);
    // Two key frames, z = 3 then z = 3.5; the camera looks along -z with +y up.
    EXPECT_FLOAT_EQ(CDrawer::m_CFrom.z, 3.0f);
    EXPECT_FLOAT_EQ(CDrawer::m_CTo.z, 2.0f);
    EXPECT_FLOAT_EQ(CDrawer::m_CUp.y, 1.0f);
    RunTo(drawer, 11.5f);
    const float middle = CDrawer::m_CFrom.z;
    EXPECT_GT(middle, 3.0f);
    RunTo(drawer, 23.0f);
    EXPECT_GT(CDrawer::m_CFrom.z, 3.0f);
    EXPECT_LE(CDrawer::m_CFrom.z, 3.5f + 1e-4f);
}
