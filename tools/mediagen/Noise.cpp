#include "tools/mediagen/Noise.h"

#include <cmath>

namespace {
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

float Fade(float t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}
} // namespace

float CNoise::_Grad(int ix, int iy, float dx, float dy) const
{
    // Eight unit directions are plenty for textures and keep the hash cheap.
    static const float kDir[8][2] = {{1, 0},  {0.7071f, 0.7071f},   {0, 1},  {-0.7071f, 0.7071f},
                                     {-1, 0}, {-0.7071f, -0.7071f}, {0, -1}, {0.7071f, -0.7071f}};
    const float* g = kDir[Hash(uint32_t(ix), uint32_t(iy), m_nSeed) & 7];
    return g[0] * dx + g[1] * dy;
}

float CNoise::Noise(float x, float y) const
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float dx = x - fx, dy = y - fy;
    float u = Fade(dx), v = Fade(dy);
    float a = _Grad(ix, iy, dx, dy), b = _Grad(ix + 1, iy, dx - 1, dy);
    float c = _Grad(ix, iy + 1, dx, dy - 1), d = _Grad(ix + 1, iy + 1, dx - 1, dy - 1);
    float ab = a + (b - a) * u, cd = c + (d - c) * u;
    return 1.4142f * (ab + (cd - ab) * v);
}

float CNoise::Fbm(float x, float y, int octaves, float gain) const
{
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        // A fixed offset per octave keeps the lattice points of the layers from lining up.
        sum += amp * Noise(x + 17.3f * float(i), y - 9.1f * float(i));
        norm += amp;
        amp *= gain;
        x *= 2.0f;
        y *= 2.0f;
    }
    return sum / norm;
}

float CNoise::Ridged(float x, float y, int octaves, float gain) const
{
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        float n = 1.0f - std::fabs(Noise(x + 31.7f * float(i), y + 5.3f * float(i)));
        sum += amp * n * n;
        norm += amp;
        amp *= gain;
        x *= 2.0f;
        y *= 2.0f;
    }
    return sum / norm;
}
