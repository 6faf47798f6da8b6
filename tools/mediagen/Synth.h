// Veltrix media generator: the building blocks of the ambient tracks.
//
// Every track is exactly kLength samples long and loops without a seam: every sound that passes the end
// (a pad layer, a bass note, a chime's tail) continues at the start, and the reverb runs on the loop until it
// settles.
#pragma once

#include "tools/mediagen/Fft.h"

#include <cstdint>
#include <vector>

namespace synth {
const int kRate = 44100;
const int kLog2Length = 22; // 4194304 samples, about 95.1 s
const int kLength = 1 << kLog2Length;

struct SStereo
{
    std::vector<float> m_L, m_R;
    SStereo()
        : m_L(kLength, 0.0f)
        , m_R(kLength, 0.0f)
    {}
};

// The sound of a pad: which harmonics each note has and how smeared each one is.
struct STimbre
{
    int m_nHarmonics; // at most this many per note
    double m_dTilt; // harmonic h has amplitude h^-tilt ...
    double m_dCutoff; // ... times exp(-frequency / cutoff), Hz
    double m_dOddBoost; // extra weight of odd harmonics (0 = none)
    double m_dBandwidthCents; // width of the fundamental's smear
    double m_dBandwidthScale; // the smear grows as h^scale
};

struct SNote
{
    int m_nMidi; // 69 = A 440 Hz
    double m_dGain;
};

// A pad layer over one stretch of the loop: notes as smeared partials summed into one spectrum, turned
// into sound by one inverse FFT of kSegmentLength samples and shaped by a loudness curve. Layers that share
// a curve share the transform, so a chord costs one FFT whatever its voices.
const int kLog2SegmentLength = 20; // about 23.8 s
const int kSegmentLength = 1 << kLog2SegmentLength;

class CPadSegment
{
public:
    CPadSegment();

    // Adds the notes with the timbre, scaled by gain.
    void AddNotes(const std::vector<SNote>& notes, const STimbre& timbre, double gain);

    // Adds the layer to `mix` from sample `start` on, wrapping round the loop's end, scaled sample by sample
    // by `envelope` (at most kSegmentLength values, its length is the layer's). `seed` picks the partials'
    // phases; `width` 0..pi/4 sets how different the two channels are (pi/4: unrelated, 0: identical).
    void Render(const CInverseFft& fft, uint64_t seed, double width, int start, const std::vector<float>& envelope,
                SStereo& mix) const;

private:
    std::vector<float> m_Magnitude; // per bin of the segment's transform
};

// A slow bass note: a warm tone of a few harmonics that swells in over `attack` seconds from `start`, holds
// and falls away over `release` seconds, ending `length` samples after it starts; it wraps round the loop.
void AddBass(int midi, double gain, int start, int length, double attack, double release, SStereo& mix);

struct SChime
{
    double m_dTime; // seconds from the start; wraps round
    int m_nMidi;
    double m_dGain;
    double m_dPan; // -1 left .. 1 right
};

// Adds soft glassy bell tones; tails that pass the end continue at the start.
void AddChimes(const std::vector<SChime>& chimes, SStereo& mix);

// Replaces `signal` by its reverberated loop: a feedback delay network with decay time t60 seconds, run over
// the track's end first so that the tail that rings into the start is already there.
void LoopReverb(SStereo& signal, double t60, double wet);

// Removes any DC offset and scales both channels so that their RMS is `rms` (0..1); returns the peak.
double Master(SStereo& signal, double rms);

double MidiToHz(int midi);
} // namespace synth
