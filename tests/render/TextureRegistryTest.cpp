// The drawer's texture registry and BindImage, with the pack swapped under it
// to show when the pack is (and is not) read again.
#include "tests/render/RenderTestSupport.h"

#include "pack/Texture.h"
#include "render/Drawer.h"

#include <GL/gl.h>

using namespace rendertest;

namespace {

class TextureRegistryTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        InstallVirtualClock(100.0);
        m_Full = BuildPack(m_Dir, "full.dat", FullMedia());
        m_Empty = BuildPack(m_Dir, "empty.dat", {{"readme.txt", "nothing here"}});
    }

    CTempDir m_Dir;
    std::string m_Full;
    std::string m_Empty;
};

} // namespace

TEST_F(TextureRegistryTest, LoadTexture_ReusesANameIgnoringCaseWithoutReadingThePack)
{
    OpenPack(m_Full);
    CDrawer drawer;
    const unsigned int light = drawer.LoadTexture("textures/light.jpg");
    ASSERT_NE(light, 0u);
    EXPECT_EQ(glIsTexture(light), GL_TRUE);

    OpenPack(m_Empty); // from here on the pack has no textures
    EXPECT_EQ(drawer.LoadTexture("TEXTURES/LIGHT.JPG"), light);
    EXPECT_EQ(drawer.m_TexNames.size(), 1u);
    EXPECT_EQ(drawer.m_TexNames[0], "textures/light.jpg");
    EXPECT_EQ(drawer.m_TexOwned[0], 1);
}

TEST_F(TextureRegistryTest, LoadTexture_AsksThePackAgainForAMissingEntry)
{
    OpenPack(m_Empty);
    CDrawer drawer;
    EXPECT_EQ(drawer.LoadTexture("textures/galaxy.jpg"), 0u);
    EXPECT_EQ(drawer.LoadTexture("textures/galaxy.jpg"), 0u);
    EXPECT_TRUE(drawer.m_TexNames.empty());

    OpenPack(m_Full);
    const unsigned int galaxy = drawer.LoadTexture("textures/galaxy.jpg");
    EXPECT_NE(galaxy, 0u);
    EXPECT_EQ(drawer.m_TexNames.size(), 1u);
}

TEST_F(TextureRegistryTest, LoadTexture_RemembersAnUndecodableEntryAsZero)
{
    CTempDir dir;
    OpenPack(BuildPack(dir, "junk.dat", {{"textures/junk.jpg", "definitely not an image"}}));
    CDrawer drawer;
    EXPECT_EQ(drawer.LoadTexture("textures/junk.jpg"), 0u);
    ASSERT_EQ(drawer.m_TexNames.size(), 1u);
    EXPECT_EQ(drawer.m_TexIds[0], 0u);
    OpenPack(m_Full);
    EXPECT_EQ(drawer.LoadTexture("textures/junk.jpg"), 0u);
    EXPECT_EQ(drawer.m_TexNames.size(), 1u);
}

TEST_F(TextureRegistryTest, RegisterTexture_KeepsTheFirstTextureForAName)
{
    OpenPack(m_Full);
    CDrawer drawer;
    const unsigned int light = drawer.LoadTexture("textures/light.jpg");
    EXPECT_TRUE(drawer.RegisterTexture("Textures/Light.jpg", light + 100, 0));
    EXPECT_EQ(drawer.LoadTexture("textures/light.jpg"), light);
    EXPECT_TRUE(drawer.RegisterTexture("fonts/own.png", 77, 0));
    EXPECT_EQ(drawer.LoadTexture("FONTS/OWN.PNG"), 77u);
    EXPECT_EQ(drawer.m_TexNames.size(), 2u);
}

TEST_F(TextureRegistryTest, Done_DeletesEveryOwnedTextureAndSparesTheOthers)
{
    OpenPack(m_Full);
    GLuint external = 0;
    glGenTextures(1, &external);
    glBindTexture(GL_TEXTURE_2D, external);
    ASSERT_EQ(glIsTexture(external), GL_TRUE);

    CDrawer drawer;
    SCONFIG config;
    config.m_nPlasmaDensity = 1;
    ASSERT_TRUE(drawer.Init(&config));
    drawer.RegisterTexture("external", external, 0);
    const std::vector<unsigned int> ids = drawer.m_TexIds;
    ASSERT_EQ(ids.size(), 10u); // nine of the scene's, one external
    for (size_t i = 0; i + 1 < ids.size(); ++i)
        EXPECT_EQ(glIsTexture(ids[i]), GL_TRUE) << drawer.m_TexNames[i];

    drawer.Done();
    for (size_t i = 0; i + 1 < ids.size(); ++i)
        EXPECT_EQ(glIsTexture(ids[i]), GL_FALSE) << i;
    EXPECT_EQ(glIsTexture(external), GL_TRUE);
    EXPECT_TRUE(drawer.m_TexNames.empty());
    EXPECT_TRUE(drawer.m_TexIds.empty());
    EXPECT_TRUE(drawer.m_TexOwned.empty());
    EXPECT_FALSE(drawer.m_bInit);
    glDeleteTextures(1, &external);
}

TEST_F(TextureRegistryTest, DestroyingAFailedDrawer_ReleasesItsTexturesToo)
{
    Entries media = FullMedia();
    media.erase("cameras/camera04m.path");
    OpenPack(BuildPack(m_Dir, "broken.dat", media));
    std::vector<unsigned int> ids;
    {
        CDrawer drawer;
        SCONFIG config;
        ASSERT_FALSE(drawer.Init(&config));
        drawer.Draw(); // loads the error picture
        ids = drawer.m_TexIds;
        drawer.Done(); // not initialised: nothing happens
        for (unsigned int id : ids)
            EXPECT_EQ(glIsTexture(id), GL_TRUE);
    }
    ASSERT_EQ(ids.size(), 10u);
    for (unsigned int id : ids)
        EXPECT_EQ(glIsTexture(id), GL_FALSE);
}

TEST_F(TextureRegistryTest, BindImage_SetsWrapAndFiltersAndFlipsRows)
{
    // Top row red, bottom row blue: after the flip the top row sits at t = 1.
    // Two RGB pixels make a 6-byte row, which OpenGL's default unpack
    // alignment of 4 would read skewed.
    CTempDir dir;
    std::vector<unsigned char> rgba(2 * 2 * 4, 255);
    const unsigned char rows[2][3] = {{255, 0, 0}, {0, 0, 255}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 3; ++c)
                rgba[static_cast<size_t>((y * 2 + x) * 4 + c)] = rows[y][c];
    const std::string png = PngBytes(2, 2, rgba);
    OpenPack(BuildPack(dir, "two.dat", {{"two.png", png}}));

    unsigned int texture = 99;
    ASSERT_TRUE(BindImage("two.png", &texture, false, GL_CLAMP));
    ASSERT_NE(texture, 0u);
    GLint bound = 0, wrapS = 0, wrapT = 0, minFilter = 0, magFilter = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(static_cast<unsigned int>(bound), texture);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_TRUE);
    EXPECT_EQ(wrapS, GL_CLAMP);
    EXPECT_EQ(wrapT, GL_CLAMP);
    EXPECT_EQ(minFilter, GL_NEAREST);
    EXPECT_EQ(magFilter, GL_NEAREST);
    GLint level1 = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
    EXPECT_EQ(level1, 1); // the mipmap chain exists all the same

    unsigned char texels[2 * 2 * 3] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    EXPECT_EQ(texels[0], 0); // first stored row (t = 0): the image's bottom, blue
    EXPECT_EQ(texels[2], 255);
    EXPECT_EQ(texels[6], 255); // second stored row (t = 1): the image's top, red
    EXPECT_EQ(texels[8], 0);

    ASSERT_TRUE(BindImage("TWO.PNG", &texture, true, GL_REPEAT));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);

    texture = 99;
    EXPECT_FALSE(BindImage("missing.png", &texture, true, GL_REPEAT));
    EXPECT_EQ(texture, 0u);
}
