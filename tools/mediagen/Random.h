// Veltrix media generator: a small deterministic random source.
// Every asset draws from its own CRandom with a fixed seed, so the output is byte-identical on every run and
// does not depend on the C library's rand() or on the order in which assets are made.
#pragma once

#include <cmath>
#include <cstdint>

class CRandom
{
public:
    explicit CRandom(uint64_t seed)
        : m_nState(seed)
    {}

    uint64_t NextU64() // SplitMix64: tiny, full period, good enough for art
    {
        uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    double Uniform() { return double(NextU64() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Below(int n) { return int(NextU64() % uint64_t(n)); }

    double Gauss() // Box-Muller; one value per call keeps the draw order obvious
    {
        double u1 = Uniform();
        double u2 = Uniform();
        if (u1 < 1e-300)
            u1 = 1e-300;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    uint64_t m_nState;
};
