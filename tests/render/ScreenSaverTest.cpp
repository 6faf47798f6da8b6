// The saver core: when music starts, and that the drawer comes and goes with it.
#include "tests/render/RenderTestSupport.h"

#include "core/ScreenSaver.h"
#include "render/Drawer.h"
#include "sound/AmbientSound.h"

#include <GL/gl.h>

#include <cstdlib>

using namespace rendertest;

namespace {

class ScreenSaverTest : public GLTest
{
protected:
    void SetUp() override
    {
        // No sound card here: OpenAL Soft's null output stands in for one.
        setenv("ALSOFT_DRIVERS", "null", 1);
        GLTest::SetUp();
        InstallVirtualClock(300.0);
        OpenPack(BuildPack(m_Dir, "full.dat", FullMedia()));
    }

    void TearDown() override
    {
        AmbientSound.Done();
        GLTest::TearDown();
    }

    CTempDir m_Dir;
};

} // namespace

TEST_F(ScreenSaverTest, MusicStartsOnlyOnTheMainScreenOutsideThePreviewWithSoundsOn)
{
    struct SCase
    {
        bool preview, mainScreen;
        int sounds;
        bool music;
    };
    const SCase cases[] = {
        {false, true, 1, true}, {true, true, 1, false}, {false, false, 1, false}, {false, true, 0, false}};
    for (const SCase& c : cases) {
        SCONFIG config;
        config.m_nPlasmaDensity = 1;
        config.m_bPreview = c.preview;
        config.m_bMainScreen = c.mainScreen;
        config.m_nEnableSounds = c.sounds;
        CScreenSaver saver;
        EXPECT_TRUE(saver.Init(&config));
        ASSERT_NE(saver.m_pDrawer, nullptr);
        EXPECT_TRUE(saver.m_pDrawer->m_bInit);
        EXPECT_EQ(AmbientSound.m_bInit, c.music) << c.preview << c.mainScreen << c.sounds;
        saver.Draw();
        saver.Done();
        EXPECT_EQ(saver.m_pDrawer, nullptr);
        EXPECT_FALSE(AmbientSound.m_bInit);
    }
}

TEST_F(ScreenSaverTest, FailedSceneStillGivesADrawerAndMusic)
{
    CTempDir dir;
    OpenPack(BuildPack(dir, "textures-only.dat", {{"textures/err.png", SolidPng(4, 4, 255, 0, 0)}}));
    CScreenSaver saver;
    SCONFIG config;
    EXPECT_TRUE(saver.Init(&config));
    ASSERT_NE(saver.m_pDrawer, nullptr);
    EXPECT_FALSE(saver.m_pDrawer->m_bInit);
    EXPECT_TRUE(AmbientSound.m_bInit);
    saver.Draw();
    saver.Done();
}

TEST_F(ScreenSaverTest, DoneTwiceAndDrawWithoutADrawerAreHarmless)
{
    CScreenSaver saver;
    saver.Draw();
    saver.Done();
    SCONFIG config;
    config.m_nEnableSounds = 0;
    ASSERT_TRUE(saver.Init(&config));
    saver.Done();
    saver.Done();
    saver.Draw();
    EXPECT_EQ(saver.m_pDrawer, nullptr);
}

TEST_F(ScreenSaverTest, InitOnARunningSaverReplacesItsDrawer)
{
    CScreenSaver saver;
    SCONFIG config;
    config.m_nEnableSounds = 0;
    config.m_nPlasmaDensity = 2;
    ASSERT_TRUE(saver.Init(&config));
    const std::vector<unsigned int> firstTextures = saver.m_pDrawer->m_TexIds;
    ASSERT_TRUE(saver.Init(&config)); // the first drawer and its textures must not leak
    for (unsigned int id : firstTextures)
        EXPECT_EQ(glIsTexture(id), GL_FALSE);
    EXPECT_EQ(saver.m_pDrawer->m_Bolts.size(), 2u);
    saver.Done();
}
