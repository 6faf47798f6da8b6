// Lens-flare sprites: a large soft glow, a thin ring, a soft disc, a hexagonal aperture ghost and a
// star-burst of thin streaks. All are tinted and dimmed by the flare's own colours when drawn additively,
// so each picture uses the full brightness range and ends in black well inside its border.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/Image.h"
#include "tools/mediagen/Random.h"

#include <algorithm>
#include <cmath>

namespace {
const float kPi = 3.14159265f;

float Smoothstep(float a, float b, float x)
{
    float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Fades everything to zero between 80 % and 88 % of the half-size, leaving the outer blocks black.
float EdgeWindow(float r)
{
    return 1.0f - Smoothstep(0.80f, 0.88f, r);
}

// Calls shade(r, angle) for every pixel, r = 1 at the middle of each edge.
template <typename Shade> CImage Radial(int size, Shade shade)
{
    CImage img(size, size);
    const float half = float(size) * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (float(x) + 0.5f - half) / half;
            float dy = (half - float(y) - 0.5f) / half;
            float r = std::sqrt(dx * dx + dy * dy);
            img.At(x, y) = shade(r, std::atan2(dy, dx)) * EdgeWindow(r);
        }
    return img;
}

// A spectrum colour for x in 0..1 from red through green to violet, for dispersion at ring edges.
SColor Spectrum(float x)
{
    float r = std::clamp(1.5f - std::fabs(x - 0.0f) * 3.0f, 0.0f, 1.0f) + std::clamp(x * 3.0f - 2.4f, 0.0f, 0.5f);
    float g = std::clamp(1.5f - std::fabs(x - 0.45f) * 3.5f, 0.0f, 1.0f);
    float b = std::clamp(1.5f - std::fabs(x - 0.85f) * 3.0f, 0.0f, 1.0f);
    return {r, g, b};
}

CImage MakeGlow()
{
    return Radial(512, [](float r, float) {
        float core = std::exp(-r * r / 0.004f);
        float glow = std::exp(-r * r / 0.04f);
        float wide = std::exp(-r * r / 0.18f);
        SColor warm = {1.0f, 0.93f, 0.85f};
        SColor cool = {0.75f, 0.85f, 1.0f};
        return SColor{1, 1, 1} * (0.55f * core) + warm * (0.35f * glow) + cool * (0.22f * wide);
    });
}

CImage MakeRing()
{
    return Radial(256, [](float r, float) {
        const float radius = 0.68f;
        float d = (r - radius) / 0.035f;
        float ring = std::exp(-d * d);
        // Dispersion: a faint rainbow just outside the ring, red nearest to it, as a real lens shows.
        float out = (r - radius - 0.085f) / 0.06f;
        float fringe = std::exp(-out * out);
        SColor hue = Spectrum(std::clamp((r - radius - 0.03f) / 0.11f, 0.0f, 1.0f));
        SColor c = SColor{0.9f, 0.95f, 1.0f} * ring + hue * (0.3f * fringe);
        return c + SColor{0.5f, 0.55f, 0.7f} * (0.08f * (1.0f - Smoothstep(0.0f, radius, r)));
    });
}

CImage MakeDisc()
{
    return Radial(256, [](float r, float) {
        float disc = 1.0f - Smoothstep(0.55f, 0.72f, r);
        float rim = std::exp(-((r - 0.64f) / 0.05f) * ((r - 0.64f) / 0.05f));
        float fill = 0.78f + 0.15f * (1.0f - r);
        return SColor{0.95f, 0.97f, 1.0f} * (disc * fill + 0.25f * rim);
    });
}

// Distance-like measure to a regular hexagon: 1 on its edge, smaller inside.
float Hexagon(float r, float angle)
{
    const float sector = kPi / 3.0f;
    float a = std::fmod(angle + kPi * 2.0f + sector * 0.5f, sector) - sector * 0.5f;
    return r * std::cos(a) / std::cos(sector * 0.5f);
}

CImage MakeHexGhost()
{
    return Radial(256, [](float r, float angle) {
        float h = Hexagon(r, angle + 0.2f) / 0.7f;
        float fill = 1.0f - Smoothstep(0.9f, 1.0f, h);
        float edge = std::exp(-((h - 0.96f) / 0.04f) * ((h - 0.96f) / 0.04f));
        SColor body = {0.80f, 0.88f, 1.0f};
        SColor tint = Spectrum(std::clamp(h * 0.8f, 0.0f, 1.0f));
        return body * (0.55f * fill * (0.7f + 0.3f * h)) + Lerp(body, tint, 0.4f) * (0.6f * edge);
    });
}

CImage MakeStarBurst()
{
    struct SStreak
    {
        float m_fAngle, m_fLength, m_fBright, m_fWidth;
    };
    CRandom rng(0xB0257u);
    std::vector<SStreak> streaks;
    // Six long spikes from the aperture blades, then many fine irregular rays between them.
    for (int i = 0; i < 6; ++i)
        streaks.push_back({float(i) * kPi / 3.0f + 0.26f, 0.86f, 1.1f, 1.7f});
    for (int i = 0; i < 54; ++i)
        streaks.push_back({float(rng.Uniform(0.0, 2.0 * kPi)), float(rng.Uniform(0.25, 0.7)),
                           float(rng.Uniform(0.15, 0.6)), float(rng.Uniform(0.8, 1.4))});
    const int size = 512;
    const float half = float(size) * 0.5f;
    return Radial(size, [&](float r, float angle) {
        float sum = 0.0f;
        for (const SStreak& s : streaks) {
            float da = std::remainder(angle - s.m_fAngle, 2.0f * kPi);
            float across = std::fabs(da) * r * half / s.m_fWidth; // distance from the ray's axis in pixels
            if (across > 4.0f)
                continue;
            float along = std::max(0.0f, 1.0f - r / s.m_fLength);
            sum += s.m_fBright * std::exp(-across * across) * along * std::sqrt(along);
        }
        float core = std::exp(-r * r / 0.002f) + 0.3f * std::exp(-r * r / 0.02f);
        return SColor{1.0f, 0.96f, 0.9f} * std::min(1.2f, sum * 0.9f + core);
    });
}
} // namespace

void MakeFlareTextures(AssetList& out)
{
    out.push_back({"textures/flare/f0.jpg", EncodeJpeg(MakeGlow(), 92, false)});
    out.push_back({"textures/flare/f1.jpg", EncodeJpeg(MakeRing(), 92, false)});
    out.push_back({"textures/flare/f2.jpg", EncodeJpeg(MakeDisc(), 92, false)});
    out.push_back({"textures/flare/f3.jpg", EncodeJpeg(MakeHexGhost(), 92, false)});
    out.push_back({"textures/flare/f4.jpg", EncodeJpeg(MakeStarBurst(), 92, false)});
}
