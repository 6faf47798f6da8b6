// The drawer on real pixels: error screen, first frames, frame-time rules,
// colour ramp, a second Init, absurd densities, and two drawers in one process.
#include "tests/render/RenderTestSupport.h"

#include "core/SoundGain.h"
#include "render/Drawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

using namespace rendertest;

namespace {

class DrawerTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        InstallVirtualClock(5000.0);
    }

    // Draws one frame 1/30 s after the previous one.
    static void Tick(CDrawer& drawer)
    {
        AdvanceVirtualTime(1.0 / 30.0);
        drawer.Draw();
    }

    CTempDir m_Dir;
};

SCONFIG MainScreen(int density = 3)
{
    SCONFIG c;
    c.m_nPlasmaDensity = density;
    return c;
}

bool IsBlack(const SRgb& c)
{
    return c.r == 0 && c.g == 0 && c.b == 0;
}
bool IsRed(const SRgb& c)
{
    return c.r > 240 && c.g < 10 && c.b < 10;
}

} // namespace

TEST_F(DrawerTest, MissingCameraPath_ShowsErrorPictureInTheMiddleOfABlackScreen)
{
    Entries media = FullMedia();
    media.erase("cameras/camera03.path"); // the fifth path
    OpenPack(BuildPack(m_Dir, "broken.dat", media));

    CDrawer drawer;
    const SCONFIG config = MainScreen();
    EXPECT_FALSE(drawer.Init(&config));
    EXPECT_EQ(drawer.m_Paths.size(), 4u); // kept until the drawer goes
    EXPECT_TRUE(drawer.m_Bolts.empty());

    for (int frame = 0; frame < 2; ++frame) {
        Tick(drawer);
        const std::vector<unsigned char> px = Pixels();
        int wrong = 0;
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                // Picture: x from 0.2 to 0.8 of the width, y from 0.3 to 0.7 of the height.
                const bool inside = x >= 32 && x < 128 && y >= 30 && y < 70;
                const bool border =
                    x == 31 || x == 32 || x == 127 || x == 128 || y == 29 || y == 30 || y == 69 || y == 70;
                if (border)
                    continue;
                const SRgb c = At(px, x, y);
                if (inside ? !IsRed(c) : !IsBlack(c))
                    ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "frame " << frame;
    }
    // The error picture is loaded once and then found in the registry.
    int errEntries = 0;
    for (const std::string& name : drawer.m_TexNames)
        errEntries += name == "textures/err.png";
    EXPECT_EQ(errEntries, 1);
}

TEST_F(DrawerTest, MissingErrorPicture_DrawsThePlainWhiteQuad)
{
    Entries media = FullMedia();
    media.erase("cameras/camera01.path");
    media.erase("textures/err.png");
    OpenPack(BuildPack(m_Dir, "bare.dat", media));

    CDrawer drawer;
    const SCONFIG config = MainScreen();
    EXPECT_FALSE(drawer.Init(&config));
    Tick(drawer);
    const std::vector<unsigned char> px = Pixels();
    const SRgb middle = At(px, Width / 2, Height / 2);
    EXPECT_EQ(middle.r, 255);
    EXPECT_EQ(middle.g, 255);
    EXPECT_EQ(middle.b, 255);
    EXPECT_TRUE(IsBlack(At(px, 5, 5)));
}

TEST_F(DrawerTest, FirstMainScreenFrame_IsCompletelyBlackWithSilentMusic)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    CDrawer drawer;
    const SCONFIG config = MainScreen();
    ASSERT_TRUE(drawer.Init(&config));
    Tick(drawer);

    EXPECT_EQ(CDrawer::m_fDarkStrength, 1.0f);
    EXPECT_EQ(g_SoundGain[0], 0.0f);
    EXPECT_EQ(g_SoundGain[1], 0.0f);
    const std::vector<unsigned char> px = Pixels();
    int lit = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            lit += !IsBlack(At(px, x, y));
    EXPECT_EQ(lit, 0);

    // A second later the fade has let the ball through.
    for (int i = 0; i < 30; ++i)
        Tick(drawer);
    EXPECT_FALSE(IsBlack(At(Pixels(), Width / 2, Height / 2)));
}

TEST_F(DrawerTest, FirstPreviewFrame_IsNotFaded)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    CDrawer drawer;
    SCONFIG config = MainScreen();
    config.m_bPreview = true;
    ASSERT_TRUE(drawer.Init(&config));
    Tick(drawer);

    EXPECT_EQ(CDrawer::m_fDarkStrength, 0.0f);
    // The ball sits in the middle of the view, lit by its grey-tinted environment map.
    const SRgb middle = At(Pixels(), Width / 2, Height / 2);
    EXPECT_GT(middle.r, 60);
    EXPECT_GT(middle.g, 60);
}

TEST_F(DrawerTest, FrameTime_IsSmoothedCappedAndNeverNegative)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    CDrawer drawer;
    const SCONFIG config = MainScreen(0);
    ASSERT_TRUE(drawer.Init(&config));

    for (int i = 0; i < 30; ++i)
        Tick(drawer);
    EXPECT_NEAR(drawer.m_dRawFrameTime, 1.0 / 30.0, 1e-9);
    EXPECT_NEAR(drawer.m_dFrameTime, 1.0 / 30.0, 1e-9);

    // Half old, half new: one 0.05 s frame after steady 1/30 s.
    AdvanceVirtualTime(0.05);
    drawer.Draw();
    EXPECT_NEAR(drawer.m_dFrameTime, 0.5 / 30.0 + 0.025, 1e-9);

    // A stall of 1 s would give 0.5 * 0.0333 + 0.5; the cap keeps the scene from jumping.
    for (int i = 0; i < 10; ++i)
        Tick(drawer);
    AdvanceVirtualTime(1.0);
    drawer.Draw();
    EXPECT_NEAR(drawer.m_dRawFrameTime, 1.0, 1e-9);
    EXPECT_EQ(drawer.m_dFrameTime, 0.1);

    // The wall clock steps back an hour: the frame counts as no time at all,
    // and the path clock does not run backwards.
    const float pathTime = drawer.m_fPathTime;
    AdvanceVirtualTime(-3600.0);
    drawer.Draw();
    EXPECT_LT(drawer.m_dRawFrameTime, 0.0);
    EXPECT_NEAR(drawer.m_dFrameTime, 0.05, 1e-9);
    EXPECT_GE(drawer.m_fPathTime, pathTime);
    for (int i = 0; i < 5; ++i) {
        const float before = drawer.m_fPathTime;
        Tick(drawer);
        EXPECT_GE(drawer.m_dFrameTime, 0.0);
        EXPECT_GT(drawer.m_fPathTime, before);
    }
}

TEST_F(DrawerTest, ColourRamp_RunsFromColor2AtTheEndsToColor1InTheMiddle)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    CDrawer drawer;
    const SCONFIG config = MainScreen(0);
    ASSERT_TRUE(drawer.Init(&config));

    ASSERT_EQ(drawer.m_Colors.size(), 64u);
    for (int j : {0, 63}) {
        EXPECT_FLOAT_EQ(drawer.m_Colors[j].x, 0.5f) << j;
        EXPECT_FLOAT_EQ(drawer.m_Colors[j].y, 0.1f) << j;
        EXPECT_FLOAT_EQ(drawer.m_Colors[j].z, 0.1f) << j;
    }
    for (int j = 19; j <= 44; ++j) {
        EXPECT_FLOAT_EQ(drawer.m_Colors[j].x, 0.1f) << j;
        EXPECT_FLOAT_EQ(drawer.m_Colors[j].z, 0.5f) << j;
    }
    EXPECT_NEAR(drawer.m_Colors[1].x, 0.47884f, 1e-5);
    EXPECT_NEAR(drawer.m_Colors[1].y, 0.1f, 1e-6);
    EXPECT_NEAR(drawer.m_Colors[1].z, 0.12116f, 1e-5);
    // Mirror image about the middle, blending linearly on each side.
    for (int j = 1; j < 19; ++j) {
        EXPECT_LT(drawer.m_Colors[j].x, drawer.m_Colors[j - 1].x) << j;
        EXPECT_NEAR(drawer.m_Colors[j].x, drawer.m_Colors[63 - j].x, 1e-5) << j;
    }
}

TEST_F(DrawerTest, SecondInit_RestartsTheCycleAndRebuildsTheScene)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    CDrawer drawer;
    const SCONFIG config = MainScreen(4);
    ASSERT_TRUE(drawer.Init(&config));
    for (int i = 0; i < 40; ++i)
        Tick(drawer);
    ASSERT_NE(drawer.m_pCurPath, nullptr);
    ASSERT_GT(drawer.m_fPathTime, 1.0f);

    ASSERT_TRUE(drawer.Init(&config));
    EXPECT_EQ(drawer.m_pCurPath, nullptr); // the old path was freed with the old scene
    EXPECT_EQ(drawer.m_fPathTime, -1.0f);
    EXPECT_TRUE(drawer.m_bFirstPath);
    EXPECT_EQ(drawer.m_nCurTrack, -1);
    EXPECT_EQ(drawer.m_Colors.size(), 64u);
    EXPECT_EQ(drawer.m_Paths.size(), 10u);
    EXPECT_EQ(drawer.m_Bolts.size(), 4u);
    EXPECT_EQ(drawer.m_TexNames.size(), 9u);

    // It flies one of the new paths, from black again.
    Tick(drawer);
    bool known = false;
    for (CCameraPath* path : drawer.m_Paths)
        known |= path == drawer.m_pCurPath;
    EXPECT_TRUE(known);
    EXPECT_EQ(CDrawer::m_fDarkStrength, 1.0f);
}

TEST_F(DrawerTest, InitAfterAFailedInit_DoesNotStackPaths)
{
    Entries media = FullMedia();
    media.erase("cameras/camera05m.path");
    OpenPack(BuildPack(m_Dir, "broken.dat", media));
    CDrawer drawer;
    const SCONFIG config = MainScreen(2);
    ASSERT_FALSE(drawer.Init(&config));
    ASSERT_EQ(drawer.m_Paths.size(), 9u);

    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    ASSERT_TRUE(drawer.Init(&config));
    EXPECT_EQ(drawer.m_Paths.size(), 10u);
    EXPECT_EQ(drawer.m_TexNames.size(), 9u);
}

TEST_F(DrawerTest, InitWithoutARecord_LeavesAFailedDrawerAsItWas)
{
    Entries media = FullMedia();
    media.erase("cameras/camera02.path");
    OpenPack(BuildPack(m_Dir, "broken.dat", media));
    CDrawer drawer;
    const SCONFIG config = MainScreen(2);
    ASSERT_FALSE(drawer.Init(&config));
    Tick(drawer); // loads the error picture
    const std::vector<unsigned int> ids = drawer.m_TexIds;
    ASSERT_EQ(ids.size(), 10u);
    ASSERT_EQ(drawer.m_Paths.size(), 2u);

    EXPECT_FALSE(drawer.Init(nullptr));
    EXPECT_FALSE(drawer.m_bInit);
    EXPECT_EQ(drawer.m_Paths.size(), 2u);
    EXPECT_EQ(drawer.m_TexIds, ids);
    for (unsigned int id : ids)
        EXPECT_EQ(glIsTexture(id), GL_TRUE);
    EXPECT_EQ(drawer.m_Config.m_nPlasmaDensity, 2);
}

TEST_F(DrawerTest, DensityOutOfRange_IsBoundedAndStillDraws)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    {
        CDrawer drawer;
        const SCONFIG config = MainScreen(INT_MAX);
        ASSERT_TRUE(drawer.Init(&config));
        EXPECT_EQ(drawer.m_Bolts.size(), static_cast<size_t>(CDrawer::MaxBolts));
        Tick(drawer);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    {
        CDrawer drawer;
        const SCONFIG config = MainScreen(-5);
        ASSERT_TRUE(drawer.Init(&config));
        EXPECT_TRUE(drawer.m_Bolts.empty());
        Tick(drawer);
    }
}

TEST_F(DrawerTest, SecondaryScreen_RendersTheMainScreensCameraWithoutMovingIt)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    CDrawer main;
    CDrawer secondary;
    const SCONFIG mainConfig = MainScreen(2);
    SCONFIG secondaryConfig = MainScreen(2);
    secondaryConfig.m_bMainScreen = false;
    ASSERT_TRUE(main.Init(&mainConfig));
    ASSERT_TRUE(secondary.Init(&secondaryConfig));

    // Alone, the secondary screen leaves the shared camera where it is.
    CDrawer::m_CFrom = {1.0f, 2.0f, 30.0f};
    CDrawer::m_CTo = {0.0f, 0.0f, 0.0f};
    CDrawer::m_CUp = {0.0f, 1.0f, 0.0f};
    Tick(secondary);
    EXPECT_EQ(CDrawer::m_CFrom.z, 30.0f);
    EXPECT_EQ(secondary.m_vEye.x, 1.0f);
    EXPECT_EQ(secondary.m_fPathTime, -1.0f);

    // Frame by frame, the main screen moves the camera and the secondary one follows it.
    for (int i = 0; i < 20; ++i) {
        AdvanceVirtualTime(1.0 / 30.0);
        main.Draw();
        secondary.Draw();
        EXPECT_EQ(secondary.m_vEye.x, main.m_vEye.x);
        EXPECT_EQ(secondary.m_vEye.y, main.m_vEye.y);
        EXPECT_EQ(secondary.m_vEye.z, main.m_vEye.z);
    }
    EXPECT_NE(CDrawer::m_CFrom.z, 30.0f);
    EXPECT_EQ(secondary.m_fPathTime, -1.0f);
    EXPECT_GT(main.m_fPathTime, 0.5f);
}

TEST_F(DrawerTest, PortraitView_ShowsTheBallAtTheLandscapeScale)
{
    OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    // The ball's width and height in pixels (the environment map's tint, not
    // a white star), through the middle of a preview's first frame.
    auto ballSize = [&](int width, int height) {
        m_GL.Destroy();
        EXPECT_TRUE(m_GL.Create(width, height)) << m_GL.Error();
        CDrawer drawer;
        SCONFIG config = MainScreen();
        config.m_bPreview = true;
        EXPECT_TRUE(drawer.Init(&config));
        Tick(drawer);
        std::vector<unsigned char> px;
        EXPECT_TRUE(m_GL.ReadPixels(px));
        auto isBall = [&](int x, int y) {
            const unsigned char* p = &px[(static_cast<size_t>(y) * width + x) * 4];
            return p[0] > 100 && p[0] < 200 && p[2] < p[0];
        };
        std::pair<int, int> size{0, 0};
        for (int x = 0; x < width; ++x)
            size.first += isBall(x, height / 2);
        for (int y = 0; y < height; ++y)
            size.second += isBall(width / 2, y);
        return size;
    };
    const auto landscape = ballSize(160, 100);
    EXPECT_GT(landscape.first, 20);
    EXPECT_NEAR(ballSize(100, 160).first, landscape.first, 1);
    EXPECT_NEAR(ballSize(100, 160).second, landscape.second, 1);
}

TEST_F(DrawerTest, ResizedView_KeepsTheFlareSpritesSquare)
{
    // Only the flare's widest sprite (f0) shows; everything else is black.
    Entries media = FullMedia();
    for (auto& [name, bytes] : media) {
        if (name.starts_with("textures/"))
            bytes = SolidPng(4, 4, 0, 0, 0);
    }
    media["textures/flare/f0.jpg"] = SolidPng(4, 4, 255, 255, 255);
    OpenPack(BuildPack(m_Dir, "flare.dat", media));
    m_GL.Destroy();
    ASSERT_TRUE(m_GL.Create(1280, 1280)) << m_GL.Error();

    // A secondary screen keeps the camera it is given: looking straight at the
    // flare's light, so the sprites sit in the middle of the view.
    glViewport(0, 0, 1280, 720);
    CDrawer drawer;
    SCONFIG config = MainScreen(0);
    config.m_bMainScreen = false;
    ASSERT_TRUE(drawer.Init(&config));
    CDrawer::m_CFrom = {50.0f, 50.0f, 50.0f};
    CDrawer::m_CTo = {53.6f, 43.0f, 45.9f};
    CDrawer::m_CUp = {0.0f, 0.0f, 1.0f};
    CDrawer::m_fDarkStrength = 0.0f;
    for (int i = 0; i < 10; ++i) // the flare fades fully in
        Tick(drawer);

    glViewport(0, 0, 720, 1280);
    Tick(drawer);
    std::vector<unsigned char> px;
    ASSERT_TRUE(m_GL.ReadPixels(px));
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
    for (int y = 0; y < 1280; ++y) {
        for (int x = 0; x < 1280; ++x) {
            if (px[(static_cast<size_t>(y) * 1280 + x) * 4] > 40) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    ASSERT_GE(right, 0) << "no flare drawn";
    EXPECT_NEAR(right - left + 1, 2 * 0.3 * 720, 2);
    EXPECT_NEAR(bottom - top + 1, right - left + 1, 2);
}
