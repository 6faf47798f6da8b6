// Veltrix media generator: seeded gradient noise and fractal sums of it, for nebulae, dust and glass.
// Pure functions of their arguments and the seed; no tables shared between assets.
#pragma once

#include <cstdint>

class CNoise
{
public:
    explicit CNoise(uint32_t seed)
        : m_nSeed(seed)
    {}

    // Gradient noise in about -1..1, smooth (C2) in x and y.
    float Noise(float x, float y) const;

    // Sum of `octaves` layers, each twice the frequency and `gain` times the amplitude of the one before.
    float Fbm(float x, float y, int octaves, float gain = 0.5f) const;
    // 1 - |noise| summed like Fbm: sharp ridges, good for filaments and dust lanes.
    float Ridged(float x, float y, int octaves, float gain = 0.5f) const;

private:
    float _Grad(int ix, int iy, float dx, float dy) const;
    uint32_t m_nSeed;
};
