// The two music tracks decode with the saver's Ogg decoder (from memory) at the rate, channel
// count and length the music player expects, stay clear of clipping and DC, loop without a click (the step
// from the last sample back to the first is no bigger than the steps the music itself takes), change chord
// as they go, and differ from each other while matching in loudness, so the cross-fade between them does
// not jump.
#include "tests/media/MediaPack.h"
#include "tools/mediagen/Fft.h"

#include <gtest/gtest.h>

#include <tremor/ivorbisfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {
struct SMemory
{
    const uint8_t* data;
    long size;
    long pos;
};

size_t ReadMem(void* dst, size_t size, size_t count, void* src)
{
    SMemory* m = static_cast<SMemory*>(src);
    size_t items = std::min<size_t>(count, size ? size_t(m->size - m->pos) / size : 0);
    std::memcpy(dst, m->data + m->pos, items * size);
    m->pos += long(items * size);
    return items;
}

int SeekMem(void* src, ogg_int64_t offset, int whence)
{
    SMemory* m = static_cast<SMemory*>(src);
    long target = whence == SEEK_SET   ? long(offset)
                  : whence == SEEK_CUR ? m->pos + long(offset)
                                       : m->size + long(offset);
    if (target < 0 || target > m->size)
        return -1;
    m->pos = target;
    return 0;
}

int CloseMem(void*)
{
    return 0;
}
long TellMem(void* src)
{
    return static_cast<SMemory*>(src)->pos;
}

struct STrack
{
    long rate = 0;
    int channels = 0;
    long frames = 0;
    std::vector<int16_t> pcm; // interleaved
    float At(long frame, int channel) const { return pcm[size_t(frame) * channels + channel] / 32768.0f; }
};

STrack Decode(const char* name)
{
    STrack track;
    std::unique_ptr<IData> blob = media_test::Load(name);
    if (!blob)
        return track;
    SMemory mem = {blob->GetData(), long(blob->GetSize()), 0};
    OggVorbis_File vf;
    ov_callbacks callbacks = {ReadMem, SeekMem, CloseMem, TellMem};
    if (ov_open_callbacks(&mem, &vf, nullptr, 0, callbacks) < 0)
        return track;
    vorbis_info* info = ov_info(&vf, -1);
    track.rate = info->rate;
    track.channels = info->channels;
    track.frames = long(ov_pcm_total(&vf, -1));
    track.pcm.resize(size_t(track.frames) * track.channels);
    long filled = 0;
    const long bytes = long(track.pcm.size() * 2);
    while (filled < bytes) {
        int stream = 0;
        long got = ov_read(&vf, reinterpret_cast<char*>(track.pcm.data()) + filled, int(bytes - filled), &stream);
        if (got <= 0)
            break;
        filled += got;
    }
    ov_clear(&vf);
    if (filled != bytes)
        track.pcm.clear();
    return track;
}

// How strongly each of the twelve pitch classes sounds in a stretch of the track, from 55 Hz to 2 kHz, as a
// unit vector: two stretches over the same chord give nearly the same profile.
std::array<double, 12> PitchProfile(const STrack& t, long first, long count, const CInverseFft& fft)
{
    std::vector<SComplex> data(size_t(fft.Size()), SComplex{0.0f, 0.0f});
    for (long n = 0; n < count; ++n) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * double(n) / double(count));
        data[size_t(n)].re = float(hann * (t.At(first + n, 0) + t.At(first + n, 1)));
    }
    fft.Transform(data); // the inverse transform has the forward one's magnitudes for a real signal
    std::array<double, 12> profile = {};
    for (int k = 1; k < fft.Size() / 2; ++k) {
        const double hz = double(k) * double(t.rate) / fft.Size();
        if (hz < 55 || hz > 2000)
            continue;
        const long note = std::lround(69 + 12 * std::log2(hz / 440));
        const SComplex& x = data[size_t(k)];
        profile[size_t(note % 12)] += double(x.re) * x.re + double(x.im) * x.im;
    }
    const double norm = std::sqrt(std::inner_product(profile.begin(), profile.end(), profile.begin(), 1e-30));
    for (double& p : profile)
        p /= norm;
    return profile;
}

class MediaMusic : public testing::TestWithParam<const char*>
{};
} // namespace

TEST_P(MediaMusic, DecodesAsLongStereoAt44100)
{
    STrack t = Decode(GetParam());
    ASSERT_FALSE(t.pcm.empty());
    EXPECT_EQ(t.rate, 44100);
    EXPECT_EQ(t.channels, 2);
    EXPECT_GE(t.frames, 60 * 44100);
    EXPECT_LE(t.frames, 120 * 44100);
}

TEST_P(MediaMusic, PeaksBelowMinusOneDecibelWithoutDcAndIsNotSilent)
{
    STrack t = Decode(GetParam());
    ASSERT_FALSE(t.pcm.empty());
    for (int c = 0; c < t.channels; ++c) {
        double sum = 0, squares = 0;
        float peak = 0;
        for (long n = 0; n < t.frames; ++n) {
            float v = t.At(n, c);
            sum += v;
            squares += double(v) * v;
            peak = std::max(peak, std::fabs(v));
        }
        EXPECT_LT(peak, std::pow(10.0f, -1.0f / 20.0f)) << "channel " << c;
        EXPECT_LT(std::fabs(sum / t.frames), 1e-3) << "channel " << c;
        EXPECT_GT(std::sqrt(squares / t.frames), 0.03) << "channel " << c; // about -30 dBFS or louder
    }
}

TEST_P(MediaMusic, LoopsWithoutAJumpAtTheSeam)
{
    STrack t = Decode(GetParam());
    ASSERT_FALSE(t.pcm.empty());
    for (int c = 0; c < t.channels; ++c) {
        std::vector<float> steps;
        steps.reserve(size_t(t.frames));
        for (long n = 1; n < t.frames; ++n)
            steps.push_back(std::fabs(t.At(n, c) - t.At(n - 1, c)));
        std::nth_element(steps.begin(), steps.begin() + steps.size() * 99 / 100, steps.end());
        const float usual = steps[steps.size() * 99 / 100]; // 99th percentile of the music's own steps
        const float seam = std::fabs(t.At(0, c) - t.At(t.frames - 1, c));
        EXPECT_LE(seam, usual) << "channel " << c;
        // The music would not pass if it simply stopped: a cut from the middle back to the start does not.
        float cut = 0;
        for (long n = t.frames / 3; n < t.frames / 3 + 4410; ++n)
            cut = std::max(cut, std::fabs(t.At(0, c) - t.At(n, c)));
        EXPECT_GT(cut, usual * 2) << "channel " << c;
    }
}

TEST_P(MediaMusic, HarmonyMovesFromChordToChord)
{
    STrack t = Decode(GetParam());
    ASSERT_FALSE(t.pcm.empty());
    const CInverseFft fft(18);
    const long window = 4 * t.rate;
    int changes = 0;
    std::array<double, 12> previous = PitchProfile(t, 0, window, fft);
    for (long first = window; first + window <= t.frames; first += window) {
        const std::array<double, 12> profile = PitchProfile(t, first, window, fft);
        changes += std::inner_product(profile.begin(), profile.end(), previous.begin(), 0.0) < 0.75;
        previous = profile;
    }
    // A held chord changes its profile by a few hundredths from one window to the next; a change of chord
    // by far more.
    EXPECT_GE(changes, 4);
}

INSTANTIATE_TEST_SUITE_P(Tracks, MediaMusic, testing::Values("music/theme1.ogg", "music/theme2.ogg"));

TEST(MediaMusicPair, TheTwoTracksAreDifferentPiecesAtTheSameLoudness)
{
    STrack a = Decode("music/theme1.ogg"), b = Decode("music/theme2.ogg");
    ASSERT_FALSE(a.pcm.empty());
    ASSERT_FALSE(b.pcm.empty());
    const long n = std::min(a.frames, b.frames);
    double ab = 0, aa = 0, bb = 0;
    for (long i = 0; i < n; ++i) {
        ab += double(a.At(i, 0)) * b.At(i, 0);
        aa += double(a.At(i, 0)) * a.At(i, 0);
        bb += double(b.At(i, 0)) * b.At(i, 0);
    }
    EXPECT_LT(std::fabs(ab) / std::sqrt(aa * bb), 0.2);
    auto power = [](const STrack& t) {
        return std::inner_product(t.pcm.begin(), t.pcm.end(), t.pcm.begin(), 0.0) / double(t.pcm.size());
    };
    EXPECT_LT(std::fabs(10 * std::log10(power(a) / power(b))), 1.0); // RMS within 1 dB
}
