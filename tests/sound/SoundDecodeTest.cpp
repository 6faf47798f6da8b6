#include "sound/SoundDecode.h"

#include "tests/sound/AlCallRecorder.h"
#include "tests/sound/SoundTestSupport.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>

using namespace soundtest;

namespace {

struct SBufferInfo
{
    ALint m_nFrequency, m_nBits, m_nChannels, m_nSize;
};

SBufferInfo Info(ALuint name)
{
    SBufferInfo info = {};
    alGetBufferi(name, AL_FREQUENCY, &info.m_nFrequency);
    alGetBufferi(name, AL_BITS, &info.m_nBits);
    alGetBufferi(name, AL_CHANNELS, &info.m_nChannels);
    alGetBufferi(name, AL_SIZE, &info.m_nSize);
    return info;
}

// Encoding runs a separate program; each distinct tone is made once per process.
const Bytes& Ogg(int channels, long rate, long frames)
{
    static std::map<std::tuple<int, long, long>, Bytes> cache;
    Bytes& entry = cache[{channels, rate, frames}];
    if (entry.empty())
        entry = EncodeOgg(channels, rate, frames, 440.0);
    return entry;
}

class DecodeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RecordingPath();
        m_pDevice = alcOpenDevice(nullptr);
        ASSERT_NE(m_pDevice, nullptr);
        m_pContext = alcCreateContext(m_pDevice, nullptr);
        ASSERT_NE(m_pContext, nullptr);
        alcMakeContextCurrent(m_pContext);
        ResetAlCalls();
    }
    void TearDown() override
    {
        for (ALuint name : m_Keep)
            alDeleteBuffers(1, &name);
        alcMakeContextCurrent(nullptr);
        if (m_pContext)
            alcDestroyContext(m_pContext);
        if (m_pDevice)
            alcCloseDevice(m_pDevice);
    }
    ALuint Wav(const Bytes& image) { return Keep(CreateBufferFromWavFileImage(image.data(), uint32_t(image.size()))); }
    ALuint OggBuffer(const Bytes& image)
    {
        return Keep(CreateBufferFromOggFileImage(image.data(), uint32_t(image.size())));
    }
    ALuint Keep(ALuint name)
    {
        if (name != 0)
            m_Keep.push_back(name);
        return name;
    }
    // Every buffer name a failed decode generated was released again.
    void ExpectNoBufferLeft() { EXPECT_EQ(AlCalls().m_GenBuffers, AlCalls().m_DelBuffers); }

    ALCdevice* m_pDevice = nullptr;
    ALCcontext* m_pContext = nullptr;
    std::vector<ALuint> m_Keep;
};

Bytes Zeros(size_t n)
{
    return Bytes(n, 0x80);
}

} // namespace

TEST_F(DecodeTest, Wav_CanonicalImageLoadsWithItsRateAndLength)
{
    const ALuint name = Wav(MakeWav(1, 44100, 16, Zeros(200)));
    ASSERT_NE(name, 0u);
    const SBufferInfo info = Info(name);
    EXPECT_EQ(info.m_nFrequency, 44100);
    EXPECT_EQ(info.m_nSize, 200);
    EXPECT_EQ(info.m_nChannels, 1);
    EXPECT_EQ(info.m_nBits, 16);
}

TEST_F(DecodeTest, Wav_FormatFollowsWholeBytesPerSampleAndChannels)
{
    struct
    {
        uint16_t channels, bits;
        int alChannels, alBits;
    } cases[] = {
        {1, 8, 1, 8},   {2, 8, 2, 8},   {1, 15, 1, 8}, // 8 to 15 bits are one whole byte
        {1, 16, 1, 16}, {2, 16, 2, 16}, {2, 24, 2, 16}, {1, 32, 1, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.bits << " bits");
        const ALuint name = Wav(MakeWav(c.channels, 22050, c.bits, Zeros(48)));
        ASSERT_NE(name, 0u);
        const SBufferInfo info = Info(name);
        EXPECT_EQ(info.m_nChannels, c.alChannels);
        EXPECT_EQ(info.m_nBits, c.alBits);
        EXPECT_EQ(info.m_nSize, 48); // the sample bytes go up as they stand
    }
}

TEST_F(DecodeTest, Wav_OnlyTheCanonicalHeaderIsAccepted)
{
    const Bytes good = MakeWav(2, 44100, 16, Zeros(64));
    ASSERT_NE(Wav(good), 0u);
    ResetAlCalls();

    auto patched = [&](size_t at, const char* bytes, size_t n) {
        Bytes b = good;
        std::memcpy(&b[at], bytes, n);
        return b;
    };
    EXPECT_EQ(Wav(patched(0, "RIFX", 4)), 0u);
    EXPECT_EQ(Wav(patched(8, "WAVEfmt_", 8)), 0u);
    EXPECT_EQ(Wav(patched(20, "\x03\x00", 2)), 0u); // float samples
    EXPECT_EQ(Wav(patched(22, "\x00\x00", 2)), 0u); // no channels
    EXPECT_EQ(Wav(patched(22, "\x03\x00", 2)), 0u); // three channels
    EXPECT_EQ(Wav(patched(36, "LIST", 4)), 0u);

    // A chunk between "fmt " and "data" moves "data" away from offset 36.
    Bytes extraChunk(good.begin(), good.begin() + 36);
    const unsigned char list[] = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    extraChunk.insert(extraChunk.end(), std::begin(list), std::end(list));
    extraChunk.insert(extraChunk.end(), good.begin() + 36, good.end());
    EXPECT_EQ(Wav(extraChunk), 0u);

    // So does a format chunk longer than 16 bytes.
    Bytes longFormat = good;
    longFormat[16] = 18;
    longFormat.insert(longFormat.begin() + 36, {0, 0});
    EXPECT_EQ(Wav(longFormat), 0u);

    EXPECT_EQ(CreateBufferFromWavFileImage(nullptr, 100), 0u);
    ExpectNoBufferLeft();
}

TEST_F(DecodeTest, Wav_ImageMustHoldTheWholeDataChunk)
{
    const Bytes exact = MakeWav(1, 8000, 8, Zeros(100));
    ASSERT_EQ(exact.size(), 144u);
    EXPECT_NE(CreateBufferFromWavFileImage(exact.data(), 144), 0u);
    EXPECT_EQ(CreateBufferFromWavFileImage(exact.data(), 143), 0u);
    EXPECT_EQ(CreateBufferFromWavFileImage(exact.data(), 43), 0u);

    Bytes trailing = exact; // bytes after the data are ignored
    trailing.resize(200, 0);
    EXPECT_NE(Wav(trailing), 0u);

    // A data length near 4 GiB must not wrap around the 44-byte header.
    Bytes huge = exact;
    huge[40] = 0xF0;
    huge[41] = huge[42] = huge[43] = 0xFF;
    EXPECT_EQ(Wav(huge), 0u);
    m_Keep.clear(); // the exact-length loads above were not kept; TearDown's device close frees them
}

TEST_F(DecodeTest, Wav_FailedUploadReleasesTheBufferName)
{
    // 6 bytes are not a whole number of 16-bit stereo frames; rate 0 is no rate.
    EXPECT_EQ(Wav(MakeWav(2, 44100, 16, Zeros(6))), 0u);
    EXPECT_EQ(Wav(MakeWav(1, 0, 16, Zeros(8))), 0u);
    EXPECT_EQ(AlCalls().m_GenBuffers.size(), 2u);
    ExpectNoBufferLeft();
    EXPECT_EQ(alGetError(), AL_NO_ERROR); // nothing left pending for the caller
}

TEST_F(DecodeTest, Ogg_DecodesTheWholeStreamAs16BitSamples)
{
    const Bytes& mono = Ogg(1, 22050, 11025);
    const Bytes& stereo = Ogg(2, 44100, 44100);
    ASSERT_FALSE(mono.empty());
    ASSERT_FALSE(stereo.empty());

    const ALuint m = OggBuffer(mono);
    ASSERT_NE(m, 0u);
    SBufferInfo info = Info(m);
    EXPECT_EQ(info.m_nFrequency, 22050);
    EXPECT_EQ(info.m_nChannels, 1);
    EXPECT_EQ(info.m_nBits, 16);
    EXPECT_EQ(info.m_nSize, 11025 * 2);

    const ALuint s = OggBuffer(stereo);
    ASSERT_NE(s, 0u);
    info = Info(s);
    EXPECT_EQ(info.m_nFrequency, 44100);
    EXPECT_EQ(info.m_nChannels, 2);
    EXPECT_EQ(info.m_nSize, 44100 * 4);
}

TEST_F(DecodeTest, Ogg_MoreThanOneChannelIsUploadedAsStereo)
{
    const Bytes& three = Ogg(3, 44100, 8000);
    ASSERT_FALSE(three.empty());
    const ALuint name = OggBuffer(three);
    ASSERT_NE(name, 0u);
    const SBufferInfo info = Info(name);
    EXPECT_EQ(info.m_nChannels, 2);
    EXPECT_EQ(info.m_nBits, 16);
    EXPECT_EQ(info.m_nSize, 3 * 2 * 8000);
}

TEST_F(DecodeTest, Ogg_ImageWithMissingAudioIsRefused)
{
    const Bytes& full = Ogg(2, 44100, 441000);
    ASSERT_GT(full.size(), 20000u);

    // The last page still announces the full length, but the middle is gone:
    // the decoder runs dry before the predicted sample count.
    size_t lastPage = full.size() - 4;
    while (std::memcmp(&full[lastPage], "OggS", 4) != 0)
        --lastPage;
    Bytes cut(full.begin(), full.begin() + 12000);
    cut.insert(cut.end(), full.begin() + long(lastPage), full.end());
    EXPECT_EQ(OggBuffer(cut), 0u);

    // Cut inside the headers: the stream does not open.
    EXPECT_EQ(OggBuffer(Bytes(full.begin(), full.begin() + 100)), 0u);
    const Bytes garbage(4096, 0x5a);
    EXPECT_EQ(OggBuffer(garbage), 0u);
    EXPECT_EQ(CreateBufferFromOggFileImage(full.data(), 0), 0u);
    EXPECT_EQ(CreateBufferFromOggFileImage(nullptr, 100), 0u);
    ExpectNoBufferLeft();
}

TEST_F(DecodeTest, Ogg_SampleCountBeyondOneUploadIsRefused)
{
    // The length comes from the last page's granule position; the stream has
    // several audio pages, so the first one still fixes the start at 0.
    // Stereo: 4 bytes per sample frame. 2^30 frames wrap a 32-bit byte count
    // to 0, 0x30000000 frames make it negative, 2^40 overflows it outright.
    for (int64_t frames : {int64_t(1) << 30, int64_t(0x30000000), int64_t(1) << 40}) {
        SCOPED_TRACE(frames);
        Bytes image = Ogg(2, 44100, 88200);
        ASSERT_TRUE(SetLastGranule(image, frames));
        ResetAlCalls();
        EXPECT_EQ(OggBuffer(image), 0u);
        EXPECT_TRUE(AlCalls().m_GenBuffers.empty());
    }
}

TEST(MemFileTest, ReadCopiesWholeItemsOnly)
{
    unsigned char image[20];
    for (int i = 0; i < 20; ++i)
        image[i] = uint8_t(i);
    SMemFile file = {image, 20, 11};
    unsigned char dst[64] = {};

    EXPECT_EQ(mem_read_func(dst, 4, 10, &file), 2u); // 9 bytes left: two items
    EXPECT_EQ(file.m_nPos, 19);
    EXPECT_EQ(dst[0], 11);
    EXPECT_EQ(dst[7], 18);

    EXPECT_EQ(mem_read_func(dst, 1, 5, &file), 1u); // the last byte
    EXPECT_EQ(dst[0], 19);
    EXPECT_EQ(file.m_nPos, 20);
    EXPECT_EQ(mem_read_func(dst, 1, 5, &file), 0u); // at the end

    file.m_nPos = 0;
    EXPECT_EQ(mem_read_func(dst, 2, 3, &file), 3u); // a request that fits is served whole
    EXPECT_EQ(file.m_nPos, 6);
    EXPECT_EQ(mem_read_func(nullptr, 1, 1, &file), 0u);
    EXPECT_EQ(mem_read_func(dst, 1, 1, nullptr), 0u);
    EXPECT_EQ(mem_read_func(dst, 0, 4, &file), 0u);
    EXPECT_EQ(file.m_nPos, 6);
}

TEST(MemFileTest, ReadWithAnOverflowingRequestCopiesOnlyWhatIsLeft)
{
    unsigned char image[20] = {};
    unsigned char dst[20] = {};
    SMemFile file = {image, 20, 11};
    // 0x10000 * 0x10001 wraps to 0x10000 in 32 bits; no whole item is left.
    EXPECT_EQ(mem_read_func(dst, 0x10000, 0x10001, &file), 0u);
    EXPECT_EQ(file.m_nPos, 11);
    // 0xFFFFFFFF one-byte items read as -1 in 32 bits; all 9 remaining bytes fit.
    EXPECT_EQ(mem_read_func(dst, 1, 0xFFFFFFFFu, &file), 9u);
    EXPECT_EQ(file.m_nPos, 20);
    file.m_nPos = 0;
    EXPECT_EQ(mem_read_func(dst, 2, SIZE_MAX, &file), 10u); // overflows even 64 bits
    EXPECT_EQ(file.m_nPos, 20);
}

TEST(MemFileTest, SeekStaysInsideTheImage)
{
    unsigned char image[10] = {};
    SMemFile file = {image, 10, 4};
    EXPECT_EQ(mem_seek_func(&file, 0, SEEK_END), 0); // the last byte, not one past it
    EXPECT_EQ(file.m_nPos, 9);
    EXPECT_EQ(mem_seek_func(&file, -9, SEEK_END), 0);
    EXPECT_EQ(file.m_nPos, 0);
    EXPECT_EQ(mem_seek_func(&file, 3, SEEK_CUR), 0);
    EXPECT_EQ(file.m_nPos, 3);
    EXPECT_EQ(mem_seek_func(&file, 9, SEEK_SET), 0);
    EXPECT_EQ(file.m_nPos, 9);

    file.m_nPos = 5;
    EXPECT_EQ(mem_seek_func(&file, 10, SEEK_SET), -1); // exactly the end
    EXPECT_EQ(mem_seek_func(&file, 1, SEEK_END), -1);
    EXPECT_EQ(mem_seek_func(&file, -6, SEEK_CUR), -1);
    EXPECT_EQ(mem_seek_func(&file, INT64_MAX, SEEK_CUR), -1);
    EXPECT_EQ(mem_seek_func(&file, INT64_MIN, SEEK_END), -1);
    EXPECT_EQ(mem_seek_func(&file, 0, 3), -1);
    EXPECT_EQ(file.m_nPos, 5); // refused seeks leave the position
    EXPECT_EQ(mem_seek_func(nullptr, 0, SEEK_SET), -1);

    SMemFile empty = {image, 0, 0};
    EXPECT_EQ(mem_seek_func(&empty, 0, SEEK_SET), -1);
}

TEST(MemFileTest, TellAndClose)
{
    unsigned char image[4] = {};
    SMemFile file = {image, 4, 3};
    EXPECT_EQ(mem_tell_func(&file), 3);
    EXPECT_EQ(mem_tell_func(nullptr), -1);
    EXPECT_EQ(mem_close_func(&file), 0);
    EXPECT_EQ(mem_close_func(nullptr), -1);
    EXPECT_EQ(file.m_pData, image); // closing frees nothing
}
