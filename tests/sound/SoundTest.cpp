#include "sound/Sound.h"

#include "pack/PackReader.h"
#include "tests/sound/AlCallRecorder.h"
#include "tests/sound/SoundTestSupport.h"

#include <AL/al.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

using namespace soundtest;

namespace {

class SoundEngineTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RecordingPath();
        s_pDir = new CTempDir;
        const Bytes ogg = EncodeOgg(2, 22050, 11025, 440.0);
        const Bytes wav = MakeWav(1, 22050, 16, SineSamples16(22050, 2205, 440.0, 0.5));
        ASSERT_FALSE(ogg.empty());
        s_Pack = (*s_pDir / "test.dat");
        ASSERT_TRUE(MakePack((*s_pDir / "src"), s_Pack,
                             {{"music/a.ogg", ogg},
                              {"tone.OgG", ogg},
                              {"wave.ogg", wav}, // an Ogg name: decoded as Ogg, so refused
                              {"ogg", wav}, // too short to count as an Ogg name
                              {".ogg", ogg}, // likewise: decoded as WAVE, so refused
                              {"beep.wav", wav},
                              {"bad.wav", Bytes(100, 7)}}));
    }
    static void TearDownTestSuite()
    {
        CPackReader::Done();
        delete s_pDir;
        s_pDir = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(CPackReader::Init(s_Pack.c_str()));
        ASSERT_EQ(sndInit(), 1);
        ResetAlCalls();
    }
    void TearDown() override { sndDone(); }

    static ALint SourceInt(int handle, ALenum param)
    {
        ALint value = -1;
        alGetSourcei(snd::SourceArray[size_t(handle)], param, &value);
        return value;
    }
    static ALfloat SourceFloat(int handle, ALenum param)
    {
        ALfloat value = -1;
        alGetSourcef(snd::SourceArray[size_t(handle)], param, &value);
        return value;
    }

    static CTempDir* s_pDir;
    static std::string s_Pack;
};

CTempDir* SoundEngineTest::s_pDir = nullptr;
std::string SoundEngineTest::s_Pack;

} // namespace

TEST_F(SoundEngineTest, Create_SameNameSharesOneBufferAndReadsThePackOnce)
{
    EXPECT_EQ(sndCreate("music/a.ogg"), 0);
    CPackReader::Done(); // a second read would now fail
    EXPECT_EQ(sndCreate("music/a.ogg"), 1);
    EXPECT_EQ(sndCreate("beep.wav"), -1); // proof that the pack is really closed

    ASSERT_EQ(snd::BufferArray.size(), 1u);
    ASSERT_EQ(snd::NameArray.size(), 1u);
    EXPECT_EQ(snd::NameArray[0], "music/a.ogg");
    ASSERT_EQ(snd::SourceArray.size(), 2u);
    EXPECT_NE(snd::SourceArray[0], snd::SourceArray[1]);
    EXPECT_EQ(SourceInt(0, AL_BUFFER), ALint(snd::BufferArray[0]));
    EXPECT_EQ(SourceInt(1, AL_BUFFER), ALint(snd::BufferArray[0]));
    EXPECT_EQ(AlCalls().m_GenBuffers.size(), 1u);
}

TEST_F(SoundEngineTest, Create_NamesDifferingInCaseAreLoadedTwice)
{
    EXPECT_EQ(sndCreate("music/a.ogg"), 0);
    EXPECT_EQ(sndCreate("music/A.ogg"), 1); // the pack ignores case, the table does not
    EXPECT_EQ(snd::BufferArray.size(), 2u);
    EXPECT_NE(snd::BufferArray[0], snd::BufferArray[1]);
}

TEST_F(SoundEngineTest, Create_DecoderFollowsTheNamesLastThreeLetters)
{
    EXPECT_EQ(sndCreate("tone.OgG"), 0); // Ogg image under an Ogg name
    EXPECT_EQ(sndCreate("wave.ogg"), -1); // WAVE image under an Ogg name
    EXPECT_EQ(sndCreate("ogg"), 1); // short names are WAVE
    EXPECT_EQ(sndCreate(".ogg"), -1); // an Ogg image there is not a WAVE image
    EXPECT_EQ(snd::NameArray, (std::vector<std::string>{"tone.OgG", "ogg"}));
}

TEST_F(SoundEngineTest, Create_FailureConsumesNoHandleAndRegistersNothing)
{
    EXPECT_EQ(sndCreate(nullptr), -1);
    EXPECT_EQ(sndCreate("missing.wav"), -1);
    EXPECT_EQ(sndCreate("bad.wav"), -1); // read, but not a sound
    EXPECT_TRUE(snd::BufferArray.empty());
    EXPECT_TRUE(snd::NameArray.empty());
    EXPECT_TRUE(snd::SourceArray.empty());
    EXPECT_EQ(sndCreate("beep.wav"), 0);
    EXPECT_EQ(sndCreate("bad.wav"), -1);
    EXPECT_EQ(sndCreate("music/a.ogg"), 1);
    EXPECT_EQ(AlCalls().m_GenBuffers.size(), 2u);
}

TEST_F(SoundEngineTest, Handles_RestartAtZeroAfterDoneAndInit)
{
    EXPECT_EQ(sndCreate("beep.wav"), 0);
    EXPECT_EQ(sndCreate("beep.wav"), 1);
    sndDone();
    EXPECT_TRUE(snd::BufferArray.empty());
    EXPECT_TRUE(snd::NameArray.empty());
    EXPECT_TRUE(snd::SourceArray.empty());
    EXPECT_EQ(sndPlay(0, false), 0);
    EXPECT_EQ(sndMakeCurrentContext(), 0); // the context is gone
    // Teardown deleted every source and buffer it had made.
    EXPECT_EQ(AlCalls().m_nDelSources, 2);
    EXPECT_EQ(AlCalls().m_GenBuffers, AlCalls().m_DelBuffers);

    ASSERT_EQ(sndInit(), 1);
    EXPECT_EQ(sndMakeCurrentContext(), 1);
    EXPECT_EQ(sndCreate("beep.wav"), 0); // loaded anew: the old table is gone
    EXPECT_EQ(snd::BufferArray.size(), 1u);
}

TEST_F(SoundEngineTest, InvalidHandles_ReturnZeroWithoutAnyOpenALCall)
{
    ASSERT_EQ(sndCreate("beep.wav"), 0);
    ResetAlCalls();
    for (int handle : {-1, 1, 2, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(sndPlay(handle, true), 0);
        EXPECT_EQ(sndStop(handle), 0);
        EXPECT_EQ(sndIsPlaying(handle), 0);
        EXPECT_EQ(sndSetVolume(handle, 0.5f), 0);
        EXPECT_EQ(sndSetPitch(handle, 2.0f), 0);
        EXPECT_EQ(sndSetPan(handle, 1.0f), 0);
        EXPECT_EQ(sndDelete(handle), 0);
    }
    EXPECT_EQ(AlCalls().m_nSourceCalls, 0);
    EXPECT_EQ(sndSetVolume(0, 0.5f), 1); // the recorder does see a valid one
    EXPECT_EQ(AlCalls().m_nSourceCalls, 1);
}

TEST_F(SoundEngineTest, SetPan_PlacesTheSourceOnAUnitCircleAroundTheListener)
{
    ASSERT_EQ(sndCreate("beep.wav"), 0);
    struct
    {
        float pan, x, z;
    } cases[] = {
        {1.0f, 1.0f, 0.0f},   {0.0f, 0.0f, -1.0f},
        {-1.0f, -1.0f, 0.0f}, {0.5f, std::cos(float(M_PI / 4)), -std::sin(float(M_PI / 4))},
        {3.0f, -1.0f, 0.0f}, // beyond full right the circle continues behind
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pan);
        EXPECT_EQ(sndSetPan(0, c.pan), 1);
        ALfloat p[3] = {9, 9, 9};
        alGetSourcefv(snd::SourceArray[0], AL_POSITION, p);
        EXPECT_NEAR(p[0], c.x, 1e-6);
        EXPECT_EQ(p[1], 0.0f);
        EXPECT_NEAR(p[2], c.z, 1e-6);
        EXPECT_NEAR(std::hypot(p[0], p[2]), 1.0, 1e-6);
    }
}

TEST_F(SoundEngineTest, SourceControls_ReachTheSource)
{
    const int h = sndCreate("beep.wav");
    ASSERT_EQ(h, 0);
    EXPECT_EQ(SourceFloat(h, AL_GAIN), 1.0f);
    EXPECT_EQ(SourceFloat(h, AL_PITCH), 1.0f);
    EXPECT_EQ(SourceInt(h, AL_LOOPING), AL_FALSE);

    EXPECT_EQ(sndIsPlaying(h), 0);
    EXPECT_EQ(sndPlay(h, true), 1);
    EXPECT_EQ(SourceInt(h, AL_LOOPING), AL_TRUE);
    EXPECT_EQ(sndIsPlaying(h), 1);
    EXPECT_EQ(sndStop(h), 1);
    EXPECT_EQ(sndIsPlaying(h), 0);

    EXPECT_EQ(sndSetVolume(h, 0.25f), 1);
    EXPECT_EQ(SourceFloat(h, AL_GAIN), 0.25f);
    EXPECT_EQ(sndSetPitch(h, 1.5f), 1);
    EXPECT_EQ(SourceFloat(h, AL_PITCH), 1.5f);

    EXPECT_EQ(sndSetMasterVolume(0.3f), 1);
    ALfloat listener = 0;
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_EQ(listener, 0.3f);
}

TEST_F(SoundEngineTest, Delete_KeepsTheHandleCounted)
{
    ASSERT_EQ(sndCreate("beep.wav"), 0);
    ASSERT_EQ(sndCreate("beep.wav"), 1);
    EXPECT_EQ(sndDelete(0), 1);
    EXPECT_EQ(snd::SourceArray.size(), 2u);
    EXPECT_EQ(sndPlay(0, false), 1); // reaches OpenAL, which refuses the dead name
    EXPECT_EQ(sndIsPlaying(0), 0);
    EXPECT_EQ(sndCreate("beep.wav"), 2); // handles are never reused
    EXPECT_EQ(sndPlay(1, false), 1);
    EXPECT_EQ(sndIsPlaying(1), 1);
}

TEST_F(SoundEngineTest, Delete_DeadHandleNeverReachesALaterSound)
{
    ASSERT_EQ(sndCreate("beep.wav"), 0);
    EXPECT_EQ(sndDelete(0), 1);
    ASSERT_EQ(sndCreate("beep.wav"), 1); // OpenAL may hand the freed name out again
    EXPECT_EQ(sndPlay(0, true), 1);
    EXPECT_EQ(sndIsPlaying(1), 0);
    EXPECT_EQ(sndDelete(0), 1); // deleting the dead handle again
    EXPECT_EQ(sndPlay(1, false), 1); // leaves the live sound's source alone
    EXPECT_EQ(sndIsPlaying(1), 1);
}

TEST_F(SoundEngineTest, Done_AfterDeleteStillReleasesEveryOtherSourceAndBuffer)
{
    ASSERT_EQ(sndCreate("beep.wav"), 0);
    ASSERT_EQ(sndCreate("beep.wav"), 1);
    ASSERT_EQ(sndCreate("music/a.ogg"), 2);
    ASSERT_EQ(sndPlay(2, true), 1);
    EXPECT_EQ(sndDelete(1), 1);
    ResetAlCalls();
    sndDone();
    EXPECT_EQ(AlCalls().m_nDelSources, 2); // the live ones, in one call
    EXPECT_EQ(AlCalls().m_nSourcesLeft, 0);
    EXPECT_EQ(AlCalls().m_DelBuffers.size(), 2u);
    EXPECT_EQ(AlCalls().m_nBuffersLeft, 0); // no source held on to them
    ASSERT_EQ(sndInit(), 1);
}
