// The two ambient tracks, each a round of chords that loops: theme 1 dark and low in D minor, six chords of
// about 16 s; theme 2 brighter and more open in F lydian, eight chords of about 12 s. Over the round the
// texture thins and thickens: a pad that changes chord by cross-fading, its voices moving by step, a slow
// bass that drops out and comes back, an airy octave above the pad under some chords, and a sparse bell line
// on the notes of the chord that is sounding.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/OggEncode.h"
#include "tools/mediagen/Random.h"
#include "tools/mediagen/Synth.h"

#include <cmath>

using namespace synth;

namespace {
const double kPi = 3.14159265358979323846;

struct SBell
{
    double m_dAt; // seconds into the chord
    int m_nVoice; // which pad voice it doubles ...
    int m_nOctave; // ... this many octaves up
};

struct SChord
{
    std::vector<int> m_Pad; // MIDI notes of the pad's voices, low to high
    double m_dPad; // the pad's level under this chord
    int m_nBass; // MIDI note of the bass, 0 for none
    bool m_bAir; // the airy layer sounds
    std::vector<SBell> m_Bells; // the bell line over this chord
};

struct SScore
{
    const char* m_Name;
    const char* m_Title;
    uint64_t m_nSeed;
    std::vector<SChord> m_Chords; // in order, each held for an equal share of the loop
    double m_dFade; // seconds of cross-fade from one chord to the next
    STimbre m_PadTimbre;
    STimbre m_AirTimbre;
    double m_dBass; // bass level against the pad
    double m_dBellGain;
};

SScore ThemeOne()
{
    SScore s;
    s.m_Name = "music/theme1.ogg";
    s.m_Title = "Veltrix - Deep Field";
    s.m_nSeed = 0xD33Fu;
    s.m_Chords = {
        {{50, 57, 60, 64, 65}, 0.8, 0, false, {}}, // Dm9
        {{46, 57, 60, 62, 65}, 0.9, 34, false, {{9.0, 4, 1}}}, // B-flat maj9
        {{43, 57, 58, 62, 65}, 1.0, 31, true, {{1.5, 3, 1}, {4.5, 1, 1}, {7.0, 2, 1}, {11.0, 4, 1}}}, // Gm9
        {{45, 55, 57, 62, 64}, 1.0, 33, true, {{2.0, 4, 1}, {5.0, 3, 1}, {9.5, 2, 1}}}, // A7 sus4
        {{41, 55, 57, 60, 64}, 0.7, 0, false, {{3.0, 3, 1}}}, // Fmaj9
        {{39, 55, 57, 58, 62},
         0.9,
         39,
         false,
         {{1.0, 3, 1}, {4.0, 1, 1}, {6.5, 4, 1}, {10.0, 2, 1}}}, // E-flat maj7 #11
    };
    s.m_dFade = 4.5;
    s.m_PadTimbre = {40, 1.25, 1800.0, 0.35, 28.0, 0.9};
    s.m_AirTimbre = {3, 1.5, 6000.0, 0.0, 45.0, 1.0};
    s.m_dBass = 0.09;
    s.m_dBellGain = 0.08;
    return s;
}

SScore ThemeTwo()
{
    SScore s;
    s.m_Name = "music/theme2.ogg";
    s.m_Title = "Veltrix - Open Orbit";
    s.m_nSeed = 0x0EB17u;
    s.m_Chords = {
        {{53, 57, 60, 64, 67}, 0.85, 41, false, {{1.0, 4, 1}, {3.0, 3, 1}, {6.0, 2, 1}}}, // Fmaj9
        {{53, 59, 62, 67, 71}, 0.75, 0, false, {{2.0, 4, 1}, {5.5, 3, 1}}}, // G over F
        {{52, 59, 62, 64, 67}, 0.8, 40, false, {}}, // Em7
        {{52, 57, 60, 64, 71}, 1.0, 45, true, {{3.0, 4, 1}, {7.5, 2, 1}}}, // Am9
        {{53, 57, 60, 62, 67}, 1.0, 38, true, {}}, // Dm11
        {{53, 58, 62, 64, 69}, 0.95, 46, true, {{1.5, 3, 1}, {4.0, 4, 1}, {8.0, 1, 1}}}, // B-flat maj7 #11
        {{52, 57, 60, 62, 67}, 0.75, 0, false, {{2.5, 3, 1}}}, // C6/9
        {{53, 58, 60, 65, 67}, 0.85, 36, false, {{4.0, 4, 1}}}, // C7 sus4
    };
    s.m_dFade = 3.0;
    s.m_PadTimbre = {48, 0.95, 3200.0, 0.15, 22.0, 0.85};
    s.m_AirTimbre = {4, 1.2, 8000.0, 0.0, 50.0, 1.0};
    s.m_dBass = 0.08;
    s.m_dBellGain = 0.09;
    return s;
}

// The pad of one chord: it rises over the cross-fade with the chord before, swells a little while held and
// falls over the cross-fade with the next. The fades are equal-power, as the two chords' partials are
// unrelated, so the loudness holds through a change.
std::vector<float> PadEnvelope(int length, int fade, double level)
{
    std::vector<float> e(static_cast<size_t>(length));
    for (int n = 0; n < length; ++n) {
        double v = 1.0;
        if (n < fade)
            v = std::sin(0.5 * kPi * n / fade);
        else if (n > length - fade)
            v = std::sin(0.5 * kPi * (length - n) / fade);
        const double swell = 0.8 + 0.2 * std::sin(kPi * n / length);
        e[size_t(n)] = float(v * swell * level);
    }
    return e;
}

void AddPads(const SScore& s, SStereo& mix)
{
    const CInverseFft fft(kLog2SegmentLength);
    const int count = int(s.m_Chords.size());
    const int slot = kLength / count, fade = int(s.m_dFade * kRate);
    static const double kVoiceGain[] = {1.0, 0.8, 0.75, 0.65, 0.55};
    for (int i = 0; i < count; ++i) {
        const SChord& c = s.m_Chords[size_t(i)];
        std::vector<SNote> pad, air;
        for (size_t v = 0; v < c.m_Pad.size(); ++v) {
            pad.push_back({c.m_Pad[v], kVoiceGain[v % 5]});
            if (v >= 2)
                air.push_back({c.m_Pad[v] + 24, 0.8 - 0.15 * double(v - 2)});
        }
        CPadSegment segment;
        segment.AddNotes(pad, s.m_PadTimbre, 1.0);
        if (c.m_bAir)
            segment.AddNotes(air, s.m_AirTimbre, 0.3);
        segment.Render(fft, s.m_nSeed * 131 + uint64_t(i), 0.62, i * slot - fade / 2,
                       PadEnvelope(slot + fade, fade, c.m_dPad), mix);
    }
}

// Each bass note enters a moment after its chord and lets go over the start of the next one.
void AddBassLine(const SScore& s, SStereo& mix)
{
    const int count = int(s.m_Chords.size());
    const int slot = kLength / count;
    for (int i = 0; i < count; ++i)
        if (s.m_Chords[size_t(i)].m_nBass != 0)
            AddBass(s.m_Chords[size_t(i)].m_nBass, s.m_dBass, i * slot + kRate / 2, slot + 2 * kRate, 3.5, 4.0, mix);
}

std::vector<SChime> PlaceBells(const SScore& s)
{
    CRandom rng(s.m_nSeed * 7 + 1);
    std::vector<SChime> bells;
    const double slot = double(kLength / int(s.m_Chords.size())) / kRate;
    for (size_t i = 0; i < s.m_Chords.size(); ++i)
        for (const SBell& b : s.m_Chords[i].m_Bells) {
            const int midi = s.m_Chords[i].m_Pad[size_t(b.m_nVoice)] + 12 * b.m_nOctave;
            bells.push_back(
                {double(i) * slot + b.m_dAt, midi, s.m_dBellGain * rng.Uniform(0.75, 1.0), rng.Uniform(-0.7, 0.7)});
        }
    return bells;
}

void Synthesize(const SScore& s, SStereo& mix)
{
    AddPads(s, mix);
    Master(mix, 0.1); // the pads' level sets the scale for the bass and bells below
    AddBassLine(s, mix);

    SStereo bells;
    AddChimes(PlaceBells(s), bells);
    LoopReverb(bells, 6.5, 0.75);
    for (int n = 0; n < kLength; ++n) {
        mix.m_L[n] += bells.m_L[n];
        mix.m_R[n] += bells.m_R[n];
    }
    // Both tracks at the same loudness, so that the cross-fade from one to the other does not jump.
    Master(mix, 0.11);
}
} // namespace

void MakeMusicTrack(int track, AssetList& out)
{
    const SScore score = track == 1 ? ThemeOne() : ThemeTwo();
    SStereo mix;
    Synthesize(score, mix);
    out.push_back({score.m_Name, EncodeOggVorbis(mix, 0.4f, 0x56540000 + track, score.m_Title)});
}
