// The saver on the built media pack with each entry missing in turn, and in
// turn replaced by garbage of its own length: it always comes up and draws,
// showing the error picture exactly when a camera path is gone, and otherwise
// its scene without the piece or the track that was lost.
#include "tests/media/MediaPack.h"
#include "tests/render/RenderTestSupport.h"

#include "core/ScreenSaver.h"
#include "render/Drawer.h"
#include "sound/AmbientSound.h"

#include <GL/gl.h>

#include <cstdlib>

using namespace rendertest;

namespace {

class PackFailureTest : public GLTest
{
protected:
    void SetUp() override
    {
        setenv("ALSOFT_DRIVERS", "null", 1); // no sound card here
        GLTest::SetUp();
        InstallVirtualClock(700.0);
    }

    void TearDown() override
    {
        AmbientSound.Done();
        GLTest::TearDown();
    }
};

bool Starts(const std::string& name, const char* prefix)
{
    return name.rfind(prefix, 0) == 0;
}

std::string Garbage(size_t size)
{
    std::string bytes(size, '\0');
    unsigned int state = 12345;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

int LoadedTextures(const CDrawer& drawer)
{
    int n = (drawer.m_nLightTex != 0) + (drawer.m_nEnvTex != 0) + (drawer.m_nEnv2Tex != 0) + (drawer.m_nGalaxyTex != 0);
    for (unsigned int flare : drawer.m_nFlareTex)
        n += flare != 0;
    return n;
}

} // namespace

TEST_F(PackFailureTest, EachEntryMissingOrDamagedGivesTheErrorScreenOrThePieceMissing)
{
    const std::vector<std::string> names = media_test::ListEntries();
    if (names.empty())
        GTEST_SKIP() << "no media pack in this build";
    ASSERT_TRUE(CPackReader::Init(media_test::PackPath().c_str()));
    Entries all;
    for (const std::string& name : names) {
        const std::unique_ptr<IData> blob = CPackReader::LoadData(name.c_str());
        ASSERT_TRUE(blob) << name;
        all[name].assign(reinterpret_cast<const char*>(blob->GetData()), static_cast<size_t>(blob->GetSize()));
    }

    int pack = 0;
    for (const std::string& name : names) {
        const bool camera = Starts(name, "cameras/");
        const bool music = Starts(name, "music/");
        // The error picture and the frame-rate overlay's font are not part of the scene.
        const bool sceneTexture =
            Starts(name, "textures/") && name != "textures/err.png" && name != "textures/font.png";
        for (const bool damaged : {false, true}) {
            SCOPED_TRACE(name + (damaged ? " damaged" : " missing"));
            Entries media = all;
            if (damaged)
                media[name] = Garbage(media[name].size());
            else
                media.erase(name);
            // The tracks are decoded only where the case is about them.
            if (!music)
                std::erase_if(media, [](const auto& entry) { return Starts(entry.first, "music/"); });
            CTempDir dir;
            OpenPack(BuildPack(dir, "case" + std::to_string(pack++) + ".dat", media));

            SCONFIG config;
            config.m_nPlasmaDensity = 3;
            config.m_nEnableSounds = music ? 1 : 0;
            CScreenSaver saver;
            ASSERT_TRUE(saver.Init(&config));
            for (int frame = 0; frame < 3; ++frame) {
                AdvanceVirtualTime(1.0 / 30.0);
                saver.Draw();
            }
            // Garbage of a path's length is still whole records, so only a
            // missing path stops the scene.
            EXPECT_EQ(saver.m_pDrawer->m_bInit, !(camera && !damaged));
            if (saver.m_pDrawer->m_bInit) {
                EXPECT_EQ(LoadedTextures(*saver.m_pDrawer), sceneTexture ? 8 : 9);
            }
            if (music) {
                const bool first = name == "music/theme1.ogg";
                EXPECT_TRUE(AmbientSound.m_bInit);
                EXPECT_EQ(AmbientSound.m_nTheme1 < 0, first);
                EXPECT_EQ(AmbientSound.m_nTheme2 < 0, !first);
            }
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            saver.Done();
        }
    }
}
