#include "sound/AmbientSound.h"

#include "core/SoundGain.h"
#include "pack/PackReader.h"
#include "sound/Sound.h"
#include "sound/SoundDecode.h"
#include "tests/sound/AlCallRecorder.h"
#include "tests/sound/SoundTestSupport.h"

#include <AL/al.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
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

namespace {

// Themes long enough to take many Updates, the second one mono so that the
// two decodes differ in frame size too.
class DeferredMusicTest : public AmbientSoundTest
{
protected:
    static void SetUpTestSuite()
    {
        AmbientSoundTest::SetUpTestSuite();
        s_Theme2 = EncodeOgg(1, 44100, 44100 * 8, Theme2Hz, 0.5);
        const Bytes theme1 = EncodeOgg(2, 44100, 44100 * 8, Theme1Hz, 0.5);
        Bytes shortTheme2 = s_Theme2;
        ASSERT_FALSE(theme1.empty());
        ASSERT_FALSE(s_Theme2.empty());
        // The stream claims two seconds more than it holds.
        ASSERT_TRUE(SetLastGranule(shortTheme2, 44100 * 10));
        s_Long = (*s_pDir / "long.dat");
        s_Short = (*s_pDir / "short.dat");
        ASSERT_TRUE(MakePack((*s_pDir / "c"), s_Long, {{"music/theme1.ogg", theme1}, {"music/theme2.ogg", s_Theme2}}));
        ASSERT_TRUE(
            MakePack((*s_pDir / "d"), s_Short, {{"music/theme1.ogg", theme1}, {"music/theme2.ogg", shortTheme2}}));
    }

    // One frame of a 30 Hz virtual clock: theme 1 fades in from the second
    // frame; theme 2 rises from riseFrame on.
    void Frame(int frame, int riseFrame)
    {
        g_SoundGain[0] = std::min(1.0f, float(frame) / 90.0f);
        g_SoundGain[1] = frame >= riseFrame ? 0.01f * float(frame - riseFrame + 1) : 0.0f;
        m_Music.Update();
    }

    // Everything generated was released once, and nothing is left.
    static void ExpectEveryBufferReleasedOnce()
    {
        EXPECT_FALSE(AlCalls().m_GenBuffers.empty());
        EXPECT_EQ(AlCalls().m_GenBuffers, AlCalls().m_DelBuffers);
        EXPECT_EQ(AlCalls().m_nBuffersLeft, 0);
        EXPECT_EQ(AlCalls().m_nGenSources, AlCalls().m_nDelSources);
        EXPECT_EQ(AlCalls().m_nSourcesLeft, 0);
    }

    static Bytes s_Theme2;
    static std::string s_Long;
    static std::string s_Short;
};

Bytes DeferredMusicTest::s_Theme2;
std::string DeferredMusicTest::s_Long;
std::string DeferredMusicTest::s_Short;

} // namespace

TEST_F(DeferredMusicTest, SecondThemeIsWholeAndExactBeforeItIsFirstHeard)
{
    ASSERT_TRUE(CPackReader::Init(s_Long.c_str()));
    m_Music.Init();
    ASSERT_EQ(m_Music.m_nTheme2, 1);
    const int rise = 4; // sooner than the slices alone would finish it
    for (int frame = 0; frame < rise; ++frame)
        Frame(frame, rise);
    EXPECT_NE(sndFramesAhead(m_Music.m_nTheme2), INT_MAX) << "already whole: the test proves nothing";
    EXPECT_EQ(sndIsPlaying(m_Music.m_nTheme2), 1);
    Frame(rise, rise);
    ASSERT_EQ(sndFramesAhead(m_Music.m_nTheme2), INT_MAX);

    // What OpenAL holds against a whole-file decode of the same image.
    COggStream reference;
    ASSERT_TRUE(reference.Open(s_Theme2.data(), uint32_t(s_Theme2.size())));
    std::vector<unsigned char> expected(size_t(reference.Bytes()));
    ASSERT_EQ(reference.Read(expected.data(), reference.Bytes()), reference.Bytes());
    const ALuint buffer = snd::BufferArray[1];
    ALint size = 0;
    alGetBufferi(buffer, AL_SIZE, &size);
    ASSERT_EQ(size_t(size), expected.size());
    using MapFn = void*(AL_APIENTRY*)(ALuint, ALsizei, ALsizei, unsigned);
    using UnmapFn = void(AL_APIENTRY*)(ALuint);
    const auto map = reinterpret_cast<MapFn>(alGetProcAddress("alMapBufferSOFT"));
    const auto unmap = reinterpret_cast<UnmapFn>(alGetProcAddress("alUnmapBufferSOFT"));
    ASSERT_TRUE(map && unmap);
    const unsigned char* held =
        static_cast<const unsigned char*>(map(buffer, 0, size, 0x1 | 0x4 /* read, persistent: it plays */));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(std::memcmp(held, expected.data(), expected.size()), 0);
    unmap(buffer);

    // Theme 1 completes in later slices; then the decoders and images are gone.
    for (int frame = rise + 1; frame < 200 && sndFramesAhead(m_Music.m_nTheme1) != INT_MAX; ++frame)
        Frame(frame, rise);
    EXPECT_EQ(sndFramesAhead(m_Music.m_nTheme1), INT_MAX);
    m_Music.Done();
    ExpectEveryBufferReleasedOnce();
}

// A host that stalls (no Update for longer than the decoding is ahead) lets
// the first theme play on past what is decoded: that part must be silence.
TEST_F(DeferredMusicTest, AStallPlaysSilencePastWhatIsDecoded)
{
    // Leaves freed, non-zero memory where the tracks' storage comes from:
    // once glibc has freed a mapped block, it serves smaller blocks from its
    // heap, and keeps the freed heap for the next request.
    const size_t dirty = size_t(4) << 20;
    // (The compiler may drop a block freed unused, or writes to a block
    // about to be freed: the volatile and the barrier keep both.)
    void* volatile mapped = std::malloc(dirty + (size_t(64) << 10));
    std::free(mapped);
    void* recycled = std::malloc(dirty);
    ASSERT_NE(recycled, nullptr);
    // Mostly zero, with one short dirty run somewhere in every 4 KiB: a
    // check that looks at only part of each page takes most pages for fresh.
    std::memset(recycled, 0, dirty);
    for (size_t at = 0; at + 4096 <= dirty; at += 4096)
        std::memset(static_cast<unsigned char*>(recycled) + at + (at / 4096 * 1237) % (4096 - 64), 0x5a, 64);
    asm volatile("" : : "r"(recycled) : "memory");
    std::free(recycled);

    ASSERT_TRUE(CPackReader::Init(s_Long.c_str()));
    m_Music.Init();
    m_Music.SetVolume(1.0f);
    const int ahead = sndFramesAhead(m_Music.m_nTheme1);
    ASSERT_LT(ahead, 44100 * 5 / 4);
    sndSetVolume(m_Music.m_nTheme1, 1.0f);
    Hold(1700);
    ASSERT_EQ(sndIsPlaying(m_Music.m_nTheme1), 1);
    m_Music.Done();

    SRecording rec;
    ASSERT_TRUE(LoadRecording(RecordingPath(), rec));
    ASSERT_GE(rec.Frames(), size_t(44100 * 3 / 2));
    EXPECT_GT(ToneLevel(rec, 4410, 22050, Theme1Hz), 0.2) << "the decoded part plays";
    const size_t past = size_t(ahead) + 4410; // the source starts a little after the recording
    EXPECT_LT(Rms(rec, past, past + 8820), 1e-3) << "past what is decoded";
}

TEST_F(DeferredMusicTest, StopWhileDecodingReleasesEveryBufferOnce)
{
    ASSERT_TRUE(CPackReader::Init(s_Long.c_str()));
    m_Music.Init();
    Frame(0, 1000);
    Frame(1, 1000);
    ASSERT_NE(sndFramesAhead(m_Music.m_nTheme2), INT_MAX);
    m_Music.Done();
    ExpectEveryBufferReleasedOnce();
}

TEST_F(DeferredMusicTest, ShortSecondThemeLosesOnlyItsOwnHandle)
{
    ASSERT_TRUE(CPackReader::Init(s_Short.c_str()));
    m_Music.Init();
    ASSERT_EQ(m_Music.m_nTheme2, 1); // the damage shows only in decoding
    int frame = 0;
    for (; frame < 200 && m_Music.m_nTheme2 >= 0; ++frame)
        Frame(frame, 1000);
    EXPECT_EQ(m_Music.m_nTheme2, -1);
    EXPECT_EQ(m_Music.m_nTheme1, 0);
    EXPECT_EQ(sndIsPlaying(m_Music.m_nTheme1), 1);
    EXPECT_EQ(sndIsPlaying(1), 0); // its source is gone
    EXPECT_EQ(sndCreate("music/theme2.ogg"), -1); // and its name loads no more
    Frame(frame, frame); // its gain rising reaches nothing
    EXPECT_EQ(Gain(0), g_SoundGain[0]);
    m_Music.Done();
    ExpectEveryBufferReleasedOnce();
}
