// The two ambient tracks. Both are slow pads under a held drone with a few glass chimes ringing in a large
// reverb: theme 1 dark and low in D minor, theme 2 brighter and more open in F lydian. Each chord is held
// for a fifth or a quarter of the track and melts into the next; the last melts back into the first.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/OggEncode.h"
#include "tools/mediagen/Random.h"
#include "tools/mediagen/Synth.h"

#include <cmath>

using namespace synth;

namespace
{
struct SScore
{
    const char* m_Name;
    const char* m_Title;
    uint64_t m_nSeed;
    std::vector<SNote> m_Drone;              // sounds under every chord
    std::vector<std::vector<SNote>> m_Chords; // in order, one slot each
    STimbre m_PadTimbre;
    std::vector<SNote> m_Shimmer;            // high, airy, swelling three times per track
    STimbre m_ShimmerTimbre;
    int m_nChimes;
    int m_nChimeLow, m_nChimeHigh;           // MIDI range of the chimes
};

double ShimmerEnvelope(double p, int, int)
{
    return 0.15 + 0.85 * (0.5 - 0.5 * std::cos(2.0 * 3.14159265358979323846 * (3.0 * p + 0.1)));
}

SScore ThemeOne()
{
    SScore s;
    s.m_Name = "music/theme1.ogg";
    s.m_Title = "Veltrix - Deep Field";
    s.m_nSeed = 0xD33Fu;
    s.m_Drone = {{38, 1.1}, {45, 0.7}}; // D2, A2
    s.m_Chords = {
        {{50, 1.0}, {57, 0.9}, {60, 0.7}, {64, 0.6}, {65, 0.7}, {69, 0.5}}, // Dm9
        {{46, 1.0}, {53, 0.9}, {57, 0.8}, {62, 0.7}, {64, 0.5}, {69, 0.5}}, // B-flat maj7 #11
        {{43, 1.0}, {50, 0.9}, {58, 0.8}, {62, 0.6}, {65, 0.6}, {69, 0.5}}, // Gm9
        {{45, 1.0}, {52, 0.9}, {55, 0.7}, {60, 0.7}, {62, 0.6}, {64, 0.5}}, // Am7 sus4
    };
    s.m_PadTimbre = {40, 1.25, 1800.0, 0.35, 28.0, 0.9};
    s.m_Shimmer = {{74, 0.8}, {81, 0.6}, {86, 0.4}}; // D5, A5, D6
    s.m_ShimmerTimbre = {3, 1.5, 6000.0, 0.0, 45.0, 1.0};
    s.m_nChimes = 9;
    s.m_nChimeLow = 69;
    s.m_nChimeHigh = 86;
    return s;
}

SScore ThemeTwo()
{
    SScore s;
    s.m_Name = "music/theme2.ogg";
    s.m_Title = "Veltrix - Open Orbit";
    s.m_nSeed = 0x0EB17u;
    s.m_Drone = {{41, 1.0}, {48, 0.7}}; // F2, C3
    s.m_Chords = {
        {{53, 1.0}, {57, 0.8}, {60, 0.8}, {64, 0.6}, {67, 0.6}, {71, 0.5}}, // Fmaj9 #11
        {{50, 1.0}, {57, 0.8}, {60, 0.7}, {65, 0.7}, {67, 0.6}, {76, 0.4}}, // Dm11
        {{46, 1.0}, {53, 0.9}, {57, 0.8}, {62, 0.7}, {69, 0.5}, {72, 0.4}}, // B-flat maj9
        {{48, 1.0}, {55, 0.8}, {57, 0.8}, {64, 0.7}, {67, 0.5}, {72, 0.5}}, // Am7 over C
        {{55, 1.0}, {57, 0.8}, {62, 0.8}, {69, 0.6}, {71, 0.5}, {76, 0.4}}, // G6 sus2
    };
    s.m_PadTimbre = {48, 0.95, 3200.0, 0.15, 22.0, 0.85};
    s.m_Shimmer = {{77, 0.7}, {84, 0.6}, {88, 0.4}, {91, 0.3}}; // F5, C6, E6, G6
    s.m_ShimmerTimbre = {4, 1.2, 8000.0, 0.0, 50.0, 1.0};
    s.m_nChimes = 14;
    s.m_nChimeLow = 72;
    s.m_nChimeHigh = 91;
    return s;
}

// Chimes fall at scattered times, one per stretch of the track, each on a note of the chord that is
// sounding then, so they always belong to the harmony.
std::vector<SChime> PlaceChimes(const SScore& s, CRandom& rng)
{
    std::vector<SChime> chimes;
    const double length = double(kLength) / kRate;
    const int count = int(s.m_Chords.size());
    for (int i = 0; i < s.m_nChimes; ++i)
    {
        double p = (i + rng.Uniform(0.15, 0.85)) / s.m_nChimes;
        const std::vector<SNote>& chord = s.m_Chords[int(p * count) % count];
        int midi = chord[1 + rng.Below(int(chord.size()) - 1)].m_nMidi;
        while (midi < s.m_nChimeLow)
            midi += 12;
        while (midi > s.m_nChimeHigh)
            midi -= 12;
        chimes.push_back({p * length, midi, rng.Uniform(0.05, 0.11), rng.Uniform(-0.7, 0.7)});
    }
    return chimes;
}

void Synthesize(const SScore& s, SStereo& mix)
{
    const CInverseFft fft(kLog2Length);
    const CPhaseTable phases(s.m_nSeed);
    const int count = int(s.m_Chords.size());
    for (int i = 0; i < count; ++i)
    {
        std::vector<SNote> notes = s.m_Drone;
        notes.insert(notes.end(), s.m_Chords[i].begin(), s.m_Chords[i].end());
        AddPad(fft, phases, notes, s.m_PadTimbre, 0.62, ChordEnvelope, i, count, 1.0, mix);
    }
    AddPad(fft, phases, s.m_Shimmer, s.m_ShimmerTimbre, 0.75, ShimmerEnvelope, 0, 1, 0.35, mix);
    Master(mix, 0.5); // the pads' level sets the scale for the chimes below

    CRandom rng(s.m_nSeed * 7 + 1);
    SStereo bells;
    AddChimes(PlaceChimes(s, rng), bells);
    LoopReverb(bells, 6.5, 0.75);
    for (int n = 0; n < kLength; ++n)
    {
        mix.m_L[n] += bells.m_L[n];
        mix.m_R[n] += bells.m_R[n];
    }
    Master(mix, 0.63); // about -4 dBFS, leaving room for the encoder's overshoot
}
} // namespace

void MakeMusicTrack(int track, AssetList& out)
{
    const SScore score = track == 1 ? ThemeOne() : ThemeTwo();
    SStereo mix;
    Synthesize(score, mix);
    out.push_back({score.m_Name, EncodeOggVorbis(mix, 0.4f, 0x56540000 + track, score.m_Title)});
}
