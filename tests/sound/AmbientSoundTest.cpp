#include "sound/AmbientSound.h"

#include "core/SoundGain.h"
#include "pack/PackReader.h"
#include "sound/Sound.h"
#include "tests/sound/AlCallRecorder.h"
#include "tests/sound/SoundTestSupport.h"

#include <AL/al.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace soundtest;

namespace {

const double Theme1Hz = 440.0;
const double Theme2Hz = 660.0;

// The two themes are one-second looping tones of different pitch.
class AmbientSoundTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RecordingPath();
        s_pDir = new CTempDir;
        const Bytes theme1 = EncodeOgg(2, 44100, 44100, Theme1Hz, 0.5);
        const Bytes theme2 = EncodeOgg(2, 44100, 44100, Theme2Hz, 0.5);
        ASSERT_FALSE(theme1.empty());
        ASSERT_FALSE(theme2.empty());
        s_Both = (*s_pDir / "both.dat");
        s_OnlyFirst = (*s_pDir / "first.dat");
        ASSERT_TRUE(MakePack((*s_pDir / "a"), s_Both, {{"music/theme1.ogg", theme1}, {"music/theme2.ogg", theme2}}));
        ASSERT_TRUE(MakePack((*s_pDir / "b"), s_OnlyFirst, {{"music/theme1.ogg", theme1}}));
    }
    static void TearDownTestSuite()
    {
        CPackReader::Done();
        delete s_pDir;
        s_pDir = nullptr;
    }
    void SetUp() override
    {
        g_SoundGain[0] = g_SoundGain[1] = 0.0f;
        ResetAlCalls();
    }
    void TearDown() override
    {
        m_Music.Done();
        g_SoundGain[0] = g_SoundGain[1] = 0.0f;
    }
    float Gain(int handle)
    {
        ALfloat gain = -1;
        alGetSourcef(snd::SourceArray[size_t(handle)], AL_GAIN, &gain);
        return gain;
    }

    CAmbientSound m_Music;
    static CTempDir* s_pDir;
    static std::string s_Both;
    static std::string s_OnlyFirst;
};

CTempDir* AmbientSoundTest::s_pDir = nullptr;
std::string AmbientSoundTest::s_Both;
std::string AmbientSoundTest::s_OnlyFirst;

void Hold(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

TEST_F(AmbientSoundTest, BeforeInit_NothingReachesTheSoundEngine)
{
    EXPECT_FALSE(m_Music.m_bInit);
    g_SoundGain[0] = 1.0f;
    m_Music.Update();
    m_Music.SetVolume(0.5f);
    m_Music.Done();
    EXPECT_EQ(AlCalls().m_nSourceCalls, 0);
    EXPECT_EQ(AlCalls().m_nListenerCalls, 0);
    EXPECT_EQ(sndMakeCurrentContext(), 0); // no device was opened
}

TEST_F(AmbientSoundTest, Init_StartsBothThemesSilentAndLooping)
{
    ASSERT_TRUE(CPackReader::Init(s_Both.c_str()));
    m_Music.Init();
    ASSERT_TRUE(m_Music.m_bInit);
    EXPECT_EQ(m_Music.m_nTheme1, 0);
    EXPECT_EQ(m_Music.m_nTheme2, 1);
    for (int h : {0, 1}) {
        EXPECT_EQ(sndIsPlaying(h), 1);
        EXPECT_EQ(Gain(h), 0.0f);
        ALint looping = 0;
        alGetSourcei(snd::SourceArray[size_t(h)], AL_LOOPING, &looping);
        EXPECT_EQ(looping, AL_TRUE);
    }

    m_Music.SetVolume(0.75f);
    ALfloat listener = 0;
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_EQ(listener, 0.75f);

    g_SoundGain[0] = 0.25f;
    g_SoundGain[1] = 0.5f;
    m_Music.Update();
    EXPECT_EQ(Gain(0), 0.25f);
    EXPECT_EQ(Gain(1), 0.5f);

    m_Music.Done();
    EXPECT_FALSE(m_Music.m_bInit);
    EXPECT_TRUE(snd::SourceArray.empty());
    ResetAlCalls();
    m_Music.Done(); // a second stop does nothing
    m_Music.Update();
    EXPECT_EQ(AlCalls().m_nSourceCalls + AlCalls().m_nListenerCalls, 0);
}

TEST_F(AmbientSoundTest, SecondInit_StopsTheRunningMusicFirst)
{
    ASSERT_TRUE(CPackReader::Init(s_Both.c_str()));
    m_Music.Init();
    m_Music.Init();
    EXPECT_EQ(snd::SourceArray.size(), 2u);
    EXPECT_EQ(sndIsPlaying(m_Music.m_nTheme1), 1);
    m_Music.Done();
    EXPECT_EQ(AlCalls().m_nDevicesOpened, 2);
    EXPECT_EQ(AlCalls().m_nDevicesClosed, 2);
}

TEST_F(AmbientSoundTest, MissingSecondTheme_FirstStillFollowsItsGain)
{
    ASSERT_TRUE(CPackReader::Init(s_OnlyFirst.c_str()));
    m_Music.Init();
    EXPECT_TRUE(m_Music.m_bInit);
    EXPECT_EQ(m_Music.m_nTheme1, 0);
    EXPECT_EQ(m_Music.m_nTheme2, -1);
    g_SoundGain[0] = 0.5f;
    g_SoundGain[1] = 1.0f;
    m_Music.Update();
    EXPECT_EQ(Gain(0), 0.5f);
    EXPECT_EQ(snd::SourceArray.size(), 1u);
}

// What the device really plays: silence at gain 0, then theme 1, then theme 2,
// and nothing at all at volume 0 although both themes keep playing.
TEST_F(AmbientSoundTest, Recording_FollowsTheGainsAndTheVolume)
{
    ASSERT_TRUE(CPackReader::Init(s_Both.c_str()));
    m_Music.Init();
    m_Music.SetVolume(1.0f);
    m_Music.Update();
    Hold(400);
    g_SoundGain[0] = 1.0f;
    m_Music.Update();
    Hold(400);
    g_SoundGain[0] = 0.0f;
    g_SoundGain[1] = 1.0f;
    m_Music.Update();
    Hold(400);
    m_Music.SetVolume(0.0f);
    Hold(400);
    EXPECT_EQ(sndIsPlaying(m_Music.m_nTheme1), 1);
    EXPECT_EQ(sndIsPlaying(m_Music.m_nTheme2), 1);
    m_Music.Done();

    SRecording rec;
    ASSERT_TRUE(LoadRecording(RecordingPath(), rec));
    ASSERT_EQ(rec.m_nRate, 44100);
    // Classify 50 ms windows: 0 silent, 1 theme 1, 2 theme 2, 3 a mix.
    const size_t window = 2205;
    std::vector<int> kinds;
    for (size_t at = 0; at + window <= rec.Frames(); at += window) {
        const double a = ToneLevel(rec, at, at + window, Theme1Hz);
        const double b = ToneLevel(rec, at, at + window, Theme2Hz);
        const double rms = Rms(rec, at, at + window);
        if (rms < 1e-3)
            kinds.push_back(0);
        else if (a > 0.2 && b < 0.02)
            kinds.push_back(1);
        else if (b > 0.2 && a < 0.02)
            kinds.push_back(2);
        else
            kinds.push_back(3);
    }
    // Collapse runs of two or more windows. A gain change lands between two
    // mixer updates, so the windows around it hear both themes or a partial one.
    std::vector<int> phases;
    int mixed = 0;
    for (size_t i = 0; i < kinds.size(); ++i) {
        mixed += kinds[i] == 3;
        const bool steady = (i + 1 < kinds.size() && kinds[i + 1] == kinds[i]) || (i > 0 && kinds[i - 1] == kinds[i]);
        if (kinds[i] != 3 && steady && (phases.empty() || phases.back() != kinds[i]))
            phases.push_back(kinds[i]);
    }
    EXPECT_LE(mixed, 6) << "windows: " << ::testing::PrintToString(kinds);
    EXPECT_EQ(phases, (std::vector<int>{0, 1, 2, 0})) << "windows: " << ::testing::PrintToString(kinds);
}
