// Helpers for the sound tests: OpenAL Soft's wave backend writing to a
// temporary file, hand-made WAVE images, Ogg images from the test encoder
// program, packs made with Info-ZIP, and a reader for the recorded output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace soundtest {

using Bytes = std::vector<unsigned char>;

// Points OpenAL Soft at a generated config that opens the wave backend on
// outputPath. OpenAL reads its config once per process, so this must run
// before the first OpenAL call, and the output path holds for the process.
void UseWaveBackend(const std::string& configPath, const std::string& outputPath);

// The wave output of this test process, set up on first use.
const std::string& RecordingPath();

// Canonical 44-byte header plus the given sample bytes.
Bytes MakeWav(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& samples, uint16_t format = 1);
// 16-bit mono sine samples, little-endian.
Bytes SineSamples16(uint32_t rate, uint32_t frames, double freq, double amplitude);

// Runs the test encoder program; an empty result means it failed.
Bytes EncodeOgg(int channels, long rate, long frames, double freq, double amplitude = 0.5);

// Rewrites the granule position of the image's last page and fixes its CRC,
// so the decoder predicts another length.
bool SetLastGranule(Bytes& ogg, int64_t granule);

bool WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

// Builds an encrypted pack with Info-ZIP: each entry name is written under
// dir with the given content and added with its relative name.
struct SEntry
{
    std::string m_Name;
    Bytes m_Data;
};
bool MakePack(const std::string& dir, const std::string& packPath, const std::vector<SEntry>& entries);

// A recorded 16-bit WAVE or float WAVE file as interleaved floats in -1..1.
struct SRecording
{
    int m_nChannels = 0;
    int m_nRate = 0;
    std::vector<float> m_Samples; // interleaved
    size_t Frames() const { return m_nChannels ? m_Samples.size() / size_t(m_nChannels) : 0; }
};
bool LoadRecording(const std::string& path, SRecording& out);

// Root-mean-square level of channel 0 (or all channels mixed) over [begin, end) frames.
double Rms(const SRecording& rec, size_t begin, size_t end);
// Amplitude of the given frequency over [begin, end) frames (Goertzel, mixed channels).
double ToneLevel(const SRecording& rec, size_t begin, size_t end, double freq);

} // namespace soundtest
