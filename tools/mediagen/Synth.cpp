#include "tools/mediagen/Synth.h"

#include "tools/mediagen/Random.h"

#include <algorithm>
#include <cmath>

namespace synth {
namespace {
const double kPi = 3.14159265358979323846;
const double kBinHz = double(kRate) / double(kSegmentLength);
} // namespace

double MidiToHz(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

CPadSegment::CPadSegment()
    : m_Magnitude(kSegmentLength / 2, 0.0f)
{}

void CPadSegment::AddNotes(const std::vector<SNote>& notes, const STimbre& timbre, double gain)
{
    const int half = kSegmentLength / 2;
    for (const SNote& note : notes) {
        const double f0 = MidiToHz(note.m_nMidi);
        for (int h = 1; h <= timbre.m_nHarmonics; ++h) {
            const double f = f0 * h;
            if (f > 14000.0)
                break;
            double amp = gain * note.m_dGain * std::pow(double(h), -timbre.m_dTilt) * std::exp(-f / timbre.m_dCutoff);
            if (h % 2 == 1)
                amp *= 1.0 + timbre.m_dOddBoost;
            const double bwHz = (std::pow(2.0, timbre.m_dBandwidthCents / 1200.0) - 1.0) * f0 *
                                std::pow(double(h), timbre.m_dBandwidthScale);
            const double bwBins = bwHz / kBinHz;
            // Equal power per harmonic whatever its width: the peak falls as the smear widens.
            const double scale = amp / std::sqrt(bwBins);
            int lo = std::max(1, int((f - 3.0 * bwHz) / kBinHz));
            int hi = std::min(half - 1, int((f + 3.0 * bwHz) / kBinHz) + 1);
            for (int k = lo; k <= hi; ++k) {
                double x = (k * kBinHz - f) / bwHz;
                m_Magnitude[k] += float(scale * std::exp(-x * x));
            }
        }
    }
}

void CPadSegment::Render(const CInverseFft& fft, uint64_t seed, double width, int start,
                         const std::vector<float>& envelope, SStereo& mix) const
{
    // Positive and negative frequencies carry independent random phases, so the real and imaginary parts of
    // one transform are two unrelated signals with the same spectrum: the two channels' raw material.
    CRandom rng(seed);
    std::vector<SComplex> data(kSegmentLength, SComplex{0.0f, 0.0f});
    for (int k = 1; k < kSegmentLength / 2; ++k) {
        const float m = m_Magnitude[k];
        if (m == 0.0f)
            continue;
        const double a = rng.Uniform(0.0, 2.0 * kPi), b = rng.Uniform(0.0, 2.0 * kPi);
        data[k] = {m * float(std::cos(a)), m * float(std::sin(a))};
        data[kSegmentLength - k] = {m * float(std::cos(b)), m * float(std::sin(b))};
    }
    fft.Transform(data);

    const float ca = float(std::cos(width)), sb = float(std::sin(width));
    const int count = std::min(int(envelope.size()), kSegmentLength);
    for (int n = 0; n < count; ++n) {
        const int at = ((start + n) % kLength + kLength) % kLength;
        const float e = envelope[n], re = data[n].re, im = data[n].im;
        mix.m_L[at] += e * (ca * re + sb * im);
        mix.m_R[at] += e * (ca * re - sb * im);
    }
}

void AddBass(int midi, double gain, int start, int length, double attack, double release, SStereo& mix)
{
    // Two voices a fraction of a hertz apart beat slowly, so the held note breathes instead of standing still.
    static const double kAmp[] = {1.0, 0.3, 0.1};
    const double f0 = MidiToHz(midi);
    const int rise = int(attack * kRate), fall = int(release * kRate);
    for (double detune : {-0.11, 0.11})
        for (int h = 1; h <= 3; ++h) {
            const double w = 2.0 * kPi * (f0 * h + detune) / kRate;
            const double cw = std::cos(w), sw = std::sin(w);
            double re = 0.0, im = 0.5 * gain * kAmp[h - 1];
            for (int n = 0; n < length; ++n) {
                double e = 1.0;
                if (n < rise)
                    e = 0.5 - 0.5 * std::cos(kPi * n / rise);
                else if (n > length - fall)
                    e = 0.5 - 0.5 * std::cos(kPi * (length - n) / fall);
                const float v = float(im * e);
                const int at = ((start + n) % kLength + kLength) % kLength;
                mix.m_L[at] += v;
                mix.m_R[at] += v;
                const double nre = re * cw - im * sw;
                im = re * sw + im * cw;
                re = nre;
            }
        }
}

void AddChimes(const std::vector<SChime>& chimes, SStereo& mix)
{
    // Partials of a small glass bowl: slightly stretched, the upper ones fading first.
    static const double kRatio[] = {1.0, 2.01, 3.03, 4.16, 5.43};
    static const double kAmp[] = {1.0, 0.42, 0.22, 0.12, 0.06};
    static const double kDecay[] = {5.5, 3.6, 2.4, 1.6, 1.1}; // seconds to fall by 60 dB
    const int tail = int(7.0 * kRate);
    const int attack = int(0.012 * kRate);
    for (const SChime& c : chimes) {
        const int start = int(std::lround(c.m_dTime * kRate)) % kLength;
        const double f0 = MidiToHz(c.m_nMidi);
        const double pan = (c.m_dPan + 1.0) * kPi * 0.25;
        const float gl = float(c.m_dGain * std::cos(pan)), gr = float(c.m_dGain * std::sin(pan));
        for (int p = 0; p < 5; ++p) {
            const double w = 2.0 * kPi * f0 * kRatio[p] / kRate;
            const double k = std::log(1000.0) / (kDecay[p] * kRate);
            // Rotate a phasor instead of calling sin per sample; the decay is folded into the rotation.
            const double damp = std::exp(-k);
            const double cw = std::cos(w) * damp, sw = std::sin(w) * damp;
            double re = 0.0, im = kAmp[p];
            for (int n = 0; n < tail; ++n) {
                const double rise = n < attack ? 0.5 - 0.5 * std::cos(kPi * n / attack) : 1.0;
                const float v = float(re * rise);
                const int at = (start + n) % kLength;
                mix.m_L[at] += gl * v;
                mix.m_R[at] += gr * v;
                const double nre = re * cw - im * sw;
                im = re * sw + im * cw;
                re = nre;
            }
        }
    }
}

void LoopReverb(SStereo& signal, double t60, double wet)
{
    static const int kDelays[8] = {1931, 2213, 2663, 2917, 3251, 3571, 4057, 4513};
    std::vector<float> lines[8];
    int pos[8] = {0};
    double gain[8], state[8] = {0};
    for (int i = 0; i < 8; ++i) {
        lines[i].assign(kDelays[i], 0.0f);
        gain[i] = std::pow(10.0, -3.0 * kDelays[i] / (t60 * kRate));
    }
    const double damping = 0.35; // one-pole low-pass in the loop: highs die first, as in a real hall

    SStereo out;
    // A warm-up over the loop's last 25 s: what it leaves in the lines is the tail that rings into sample 0.
    const int warm = 25 * kRate;
    for (int step = -warm; step < kLength; ++step) {
        const int n = (step + kLength) % kLength;
        double taps[8];
        double sum = 0.0;
        for (int i = 0; i < 8; ++i) {
            taps[i] = lines[i][pos[i]];
            sum += taps[i];
        }
        const double l = signal.m_L[n], r = signal.m_R[n];
        const double house = sum * (2.0 / 8.0); // Householder mix: every line feeds every other
        for (int i = 0; i < 8; ++i) {
            double in = (taps[i] - house) * gain[i] + ((i & 1) ? r : l) * 0.35;
            state[i] += (1.0 - damping) * (in - state[i]);
            lines[i][pos[i]] = float(state[i]);
            pos[i] = (pos[i] + 1) % kDelays[i];
        }
        if (step >= 0) {
            out.m_L[n] = float((1.0 - wet) * l + wet * (taps[0] + taps[2] + taps[4] + taps[6]) * 0.5);
            out.m_R[n] = float((1.0 - wet) * r + wet * (taps[1] + taps[3] + taps[5] + taps[7]) * 0.5);
        }
    }
    signal.m_L.swap(out.m_L);
    signal.m_R.swap(out.m_R);
}

double Master(SStereo& signal, double rms)
{
    double sumL = 0.0, sumR = 0.0;
    for (int n = 0; n < kLength; ++n) {
        sumL += signal.m_L[n];
        sumR += signal.m_R[n];
    }
    const float dcL = float(sumL / kLength), dcR = float(sumR / kLength);
    double squares = 0.0;
    float top = 0.0f;
    for (int n = 0; n < kLength; ++n) {
        signal.m_L[n] -= dcL;
        signal.m_R[n] -= dcR;
        squares += double(signal.m_L[n]) * signal.m_L[n] + double(signal.m_R[n]) * signal.m_R[n];
        top = std::max(top, std::max(std::fabs(signal.m_L[n]), std::fabs(signal.m_R[n])));
    }
    if (squares <= 0.0)
        return 0.0;
    const double k = rms / std::sqrt(squares / (2.0 * kLength));
    for (int n = 0; n < kLength; ++n) {
        signal.m_L[n] = float(signal.m_L[n] * k);
        signal.m_R[n] = float(signal.m_R[n] * k);
    }
    return top * k;
}
} // namespace synth
