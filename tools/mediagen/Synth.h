// Veltrix media generator: the building blocks of the ambient tracks.
//
// Every track is exactly kLength samples long and every part of it is periodic over that length, so the
// track loops without a seam: pads are summed spectra turned into signals by one inverse FFT of the whole
// track (so every partial repeats a whole number of times), their loudness curves repeat once per track,
// chimes that ring past the end wrap round to the start, and the reverb runs on the loop until it settles.
#pragma once

#include "tools/mediagen/Fft.h"

#include <cstdint>
#include <vector>

namespace synth
{
const int kRate = 44100;
const int kLog2Length = 22;              // 4194304 samples, about 95.1 s
const int kLength = 1 << kLog2Length;

struct SStereo
{
    std::vector<float> m_L, m_R;
    SStereo() : m_L(kLength, 0.0f), m_R(kLength, 0.0f) {}
};

// The sound of a pad: which harmonics each note has and how smeared each one is.
struct STimbre
{
    int m_nHarmonics;         // at most this many per note
    double m_dTilt;           // harmonic h has amplitude h^-tilt ...
    double m_dCutoff;         // ... times exp(-frequency / cutoff), Hz
    double m_dOddBoost;       // extra weight of odd harmonics (0 = none)
    double m_dBandwidthCents; // width of the fundamental's smear
    double m_dBandwidthScale; // the smear grows as h^scale
};

struct SNote
{
    int m_nMidi;    // 69 = A 440 Hz
    double m_dGain;
};

// Bin phases shared by every layer of one track: a note held across two chords adds up coherently, so a
// cross-fade between chords never dips in loudness on their common tones.
class CPhaseTable
{
public:
    explicit CPhaseTable(uint64_t seed);
    const SComplex& Pos(int bin) const { return m_Pos[bin]; }
    const SComplex& Neg(int bin) const { return m_Neg[bin]; }

private:
    std::vector<SComplex> m_Pos, m_Neg;
};

// Loudness curve of a layer over one period: f(p) for p in 0..1 (p = sample / kLength).
using Envelope = double (*)(double p, int index, int count);

// Adds one pad layer (the notes with the timbre) to `mix`, scaled sample by sample by env(p, index, count).
// `width` 0..pi/4 sets how different the two channels are (pi/4: unrelated, 0: identical).
void AddPad(const CInverseFft& fft, const CPhaseTable& phases, const std::vector<SNote>& notes, const STimbre& timbre,
            double width, Envelope env, int index, int count, double gain, SStereo& mix);

// The usual chord schedule: `count` layers, each held for 1/count of the track and cross-faded with its
// neighbours over `fade` of a slot (0..1), wrapping round at the end.
double ChordEnvelope(double p, int index, int count);

struct SChime
{
    double m_dTime; // seconds from the start; wraps round
    int m_nMidi;
    double m_dGain;
    double m_dPan;  // -1 left .. 1 right
};

// Adds soft glassy bell tones; tails that pass the end continue at the start.
void AddChimes(const std::vector<SChime>& chimes, SStereo& mix);

// Replaces `signal` by its reverberated loop: a feedback delay network with decay time t60 seconds, run over
// the track's end first so that the tail that rings into the start is already there.
void LoopReverb(SStereo& signal, double t60, double wet);

// Removes any DC offset and scales so the highest peak is `peak` (0..1).
void Master(SStereo& signal, double peak);

double MidiToHz(int midi);
} // namespace synth
