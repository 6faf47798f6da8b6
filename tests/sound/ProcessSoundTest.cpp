// Cases that need their own OpenAL configuration. OpenAL Soft reads it once
// per process, so each case runs in a child process of its own (a fork, via
// the death-test machinery) and reports a broken expectation on stderr.
#include "host/record/AudioCapture.h"

#include "core/SoundGain.h"
#include "pack/PackReader.h"
#include "sound/AmbientSound.h"
#include "sound/Sound.h"
#include "tests/sound/SoundTestSupport.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace soundtest;

namespace {

#define CHILD_CHECK(condition)                                                                                         \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                               \
            std::exit(1);                                                                                              \
        }                                                                                                              \
    } while (0)

// Every time the engine opens the Ogg decoder; the call lands here first and
// is passed on unchanged.
int g_nDecoderOpens = 0;

} // namespace

extern "C" int ov_open_callbacks(void* source, OggVorbis_File* vf, const char* initial, long bytes,
                                 ov_callbacks callbacks)
{
    static const auto real = reinterpret_cast<decltype(&ov_open_callbacks)>(dlsym(RTLD_NEXT, "ov_open_callbacks"));
    ++g_nDecoderOpens;
    return real(source, vf, initial, bytes, callbacks);
}

namespace {

bool SoundCardPresent()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::filesystem::exists("/dev/snd") ||
           (runtime && std::filesystem::exists(std::string(runtime) + "/pulse/native"));
}

// With no device the music player still goes through its whole life.
void RunMusicWithoutDevice(const std::string& pack)
{
    CHILD_CHECK(CPackReader::Init(pack.c_str()));
    CHILD_CHECK(sndInit() == 0);
    sndDone();
    CAmbientSound music;
    music.Init();
    CHILD_CHECK(music.m_bInit);
    CHILD_CHECK(music.m_nTheme1 == -1); // nothing can be uploaded without a context
    CHILD_CHECK(music.m_nTheme2 == -1);
    // Nor is anything decoded for it: a machine without a sound card would
    // otherwise decode both tracks whole at every start, for nothing.
    CHILD_CHECK(g_nDecoderOpens == 0);
    music.SetVolume(0.3f);
    g_SoundGain[0] = 1.0f;
    music.Update();
    music.Done();
    CHILD_CHECK(!music.m_bInit);
    CPackReader::Done();
    std::exit(0);
}

class ProcessSoundTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "fast");
        const Bytes tone = MakeWav(1, 22050, 16, SineSamples16(22050, 22050, 440.0, 0.5));
        const Bytes theme = EncodeOgg(2, 22050, 22050, 440.0);
        ASSERT_FALSE(theme.empty());
        ASSERT_TRUE(MakePack((m_Dir / "src"), (m_Dir / "test.dat"),
                             {{"music/theme1.ogg", theme}, {"music/theme2.ogg", theme}, {"tone.wav", tone}}));
    }
    CTempDir m_Dir;
};

} // namespace

TEST_F(ProcessSoundTest, NoDevice_SndInitFailsAndTheMusicRunsSilently)
{
    // The wave backend cannot create its file, so no device opens.
    const std::string pack = (m_Dir / "test.dat");
    const std::string config = (m_Dir / "alsoft.conf");
    EXPECT_EXIT(
        {
            UseWaveBackend(config, (m_Dir / "missing-dir/out.wav"));
            RunMusicWithoutDevice(pack);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ProcessSoundTest, DefaultBackendWithoutSoundCard_SndInitFails)
{
    if (SoundCardPresent())
        GTEST_SKIP() << "this machine has a sound card";
    const std::string pack = (m_Dir / "test.dat");
    const std::string home = m_Dir.Path();
    EXPECT_EXIT(
        {
            unsetenv("ALSOFT_CONF");
            unsetenv("ALSOFT_DRIVERS");
            setenv("HOME", home.c_str(), 1); // no user configuration either
            setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            RunMusicWithoutDevice(pack);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ProcessSoundTest, AudioCapture_RecordsWhatIsPlayedAndCleansUp)
{
    const std::string pack = (m_Dir / "test.dat");
    const std::string wav = (m_Dir / "capture$HOME.wav"); // '$' has a meaning in the configuration
    EXPECT_EXIT(
        {
            setenv("ALSOFT_CONF", "/before", 1);
            setenv("ALSOFT_DRIVERS", "alsa", 1);
            std::string error;
            CHILD_CHECK(BeginAudioCapture(wav.c_str(), &error));
            const char* config = std::getenv("ALSOFT_CONF");
            CHILD_CHECK(config != nullptr && std::string(config) != "/before");
            CHILD_CHECK(std::getenv("ALSOFT_DRIVERS") == nullptr);
            const std::string configPath = config;
            std::stringstream text;
            text << std::ifstream(configPath).rdbuf();
            CHILD_CHECK(text.str().find("drivers = wave") != std::string::npos);
            CHILD_CHECK(text.str().find("file = " + (m_Dir / "capture$$HOME.wav")) != std::string::npos);

            CHILD_CHECK(CPackReader::Init(pack.c_str()));
            CHILD_CHECK(sndInit() == 1);
            const int h = sndCreate("tone.wav");
            CHILD_CHECK(h == 0);
            CHILD_CHECK(sndPlay(h, true) == 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sndDone();
            // Only the last tenth of a second is kept.
            CHILD_CHECK(FinishAudioCapture(0.1, &error));
            CHILD_CHECK(!std::filesystem::exists(configPath));
            CHILD_CHECK(std::string(std::getenv("ALSOFT_CONF")) == "/before");
            CHILD_CHECK(std::string(std::getenv("ALSOFT_DRIVERS")) == "alsa");

            SRecording rec;
            CHILD_CHECK(LoadRecording(wav, rec));
            CHILD_CHECK(rec.m_nRate == 44100 && rec.m_nChannels == 2);
            CHILD_CHECK(rec.Frames() == 4410);
            CHILD_CHECK(ToneLevel(rec, 0, rec.Frames(), 440.0) > 0.1);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(AudioCaptureTest, UnusableOutputIsRefusedAndLeavesTheEnvironment)
{
    CTempDir dir;
    setenv("ALSOFT_CONF", "/before", 1);
    std::string error;
    const std::string missing = (dir / "no/such/dir/out.wav");
    EXPECT_FALSE(BeginAudioCapture(missing.c_str(), &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_FALSE(BeginAudioCapture((dir / "a#b.wav").c_str(), &error));
    EXPECT_FALSE(BeginAudioCapture((dir / "a\nb.wav").c_str(), &error));
    EXPECT_FALSE(BeginAudioCapture((dir / "a.wav ").c_str(), &error)); // the configuration drops trailing blanks
    EXPECT_FALSE(BeginAudioCapture(nullptr, &error));
    EXPECT_STREQ(std::getenv("ALSOFT_CONF"), "/before");
    EndAudioCapture(); // nothing to end: no change
    EXPECT_STREQ(std::getenv("ALSOFT_CONF"), "/before");

    // A capture that no device ever used still cleans up after itself and
    // leaves a valid recording of nothing.
    const std::string wav = (dir / "out.wav");
    ASSERT_TRUE(BeginAudioCapture(wav.c_str(), &error)) << error;
    const std::string config = std::getenv("ALSOFT_CONF");
    EXPECT_TRUE(std::filesystem::exists(config));
    EXPECT_FALSE(BeginAudioCapture((dir / "again.wav").c_str(), &error));
    EXPECT_TRUE(FinishAudioCapture(2.0, &error)) << error;
    EXPECT_FALSE(std::filesystem::exists(config));
    EXPECT_STREQ(std::getenv("ALSOFT_CONF"), "/before");
    SRecording rec;
    ASSERT_TRUE(LoadRecording(wav, rec));
    EXPECT_EQ(rec.m_nRate, 44100);
    EXPECT_EQ(rec.m_nChannels, 2);
    EXPECT_EQ(rec.Frames(), 0u);
    unsetenv("ALSOFT_CONF");
}
