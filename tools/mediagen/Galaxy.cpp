// The deep-space backdrop: faint nebulae, a field of fine stars and a spiral galaxy.
//
// The backdrop hangs 7 units below the eye, and the lens flare's light sits on it at texture coordinate
// (0.68, 0.705); with rows flipped on load that is 68 % from the left and 29.5 % from the top of the
// picture, so the galaxy's bright core is put exactly there.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/Image.h"
#include "tools/mediagen/Noise.h"
#include "tools/mediagen/Random.h"

#include <algorithm>
#include <cmath>

namespace {
const int kSize = 1024;
const float kPi = 3.14159265f;
const float kCoreX = 0.68f * kSize; // pixels from the left
const float kCoreY = 0.295f * kSize; // pixels from the top

float Smoothstep(float a, float b, float x)
{
    float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Star colours from hot to cool, and how common each is among the visible stars.
SColor StarColor(CRandom& rng)
{
    static const SColor kColors[] = {{0.70f, 0.80f, 1.00f}, {0.85f, 0.90f, 1.00f}, {1.00f, 1.00f, 1.00f},
                                     {1.00f, 0.95f, 0.82f}, {1.00f, 0.85f, 0.65f}, {1.00f, 0.72f, 0.55f}};
    static const float kOdds[] = {0.12f, 0.22f, 0.26f, 0.2f, 0.14f, 0.06f};
    float u = float(rng.Uniform());
    for (int i = 0; i < 6; ++i) {
        if (u < kOdds[i])
            return kColors[i];
        u -= kOdds[i];
    }
    return kColors[2];
}

// A star's light spread over a small Gaussian; bright stars get a soft halo and, the brightest, four
// thin diffraction spikes, so they read as stars and not as square pixels.
void DrawStar(CImage& img, float x, float y, float bright, SColor color, bool spikes)
{
    float sigma = 0.55f + 0.35f * std::min(1.0f, bright);
    int reach = int(std::ceil(sigma * 3.0f + (bright > 0.6f ? 6.0f : 0.0f)));
    for (int py = int(y) - reach; py <= int(y) + reach; ++py)
        for (int px = int(x) - reach; px <= int(x) + reach; ++px) {
            if (px < 0 || py < 0 || px >= kSize || py >= kSize)
                continue;
            float dx = float(px) + 0.5f - x, dy = float(py) + 0.5f - y;
            float d2 = dx * dx + dy * dy;
            float v = bright * std::exp(-d2 / (2 * sigma * sigma));
            if (bright > 0.6f)
                v += bright * 0.05f * std::exp(-std::sqrt(d2) / 2.0f);
            img.At(px, py) = img.At(px, py) + color * v;
        }
    if (!spikes)
        return;
    const int length = int(12 + 18 * bright);
    for (int i = -length; i <= length; ++i) {
        float fall = 1.0f - float(std::abs(i)) / float(length);
        float v = bright * 0.25f * fall * fall;
        img.Splat(x + float(i) - 0.5f, y - 0.5f, color * v);
        img.Splat(x - 0.5f, y + float(i) - 0.5f, color * v);
    }
}

// Where the band of the home galaxy crosses the picture: a line from the left edge down to the bottom edge.
void BandPoint(float t, float offset, float& x, float& y)
{
    const float ax = 0.0f, ay = 0.42f, dx = 0.8f, dy = 0.6f; // start and unit direction, in picture units
    x = (ax + t * dx - offset * dy) * kSize;
    y = (ay + t * dy + offset * dx) * kSize;
}

float BandWeight(float u, float v) // 1 on the band's axis
{
    float across = (u - 0.0f) * -0.6f + (v - 0.42f) * 0.8f;
    return std::exp(-across * across / (0.12f * 0.12f));
}

void DrawNebulae(CImage& img)
{
    const CNoise shape(0x4EB1u), detail(0x4EB2u), hue(0x4EB3u);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            float u = float(x) / kSize, v = float(y) / kSize;
            // A faint band of the home galaxy across the lower left, where the field is richest.
            float band = BandWeight(u, v);
            float cloud = Smoothstep(0.05f, 0.75f, shape.Fbm(u * 3.0f, v * 3.0f, 5) * 0.5f + 0.5f * band);
            float fine = 0.6f + 0.4f * detail.Ridged(u * 8.0f, v * 8.0f, 4);
            float h = Smoothstep(-0.4f, 0.4f, hue.Fbm(u * 2.0f + 5.0f, v * 2.0f, 3));
            SColor red = {0.34f, 0.07f, 0.16f};
            SColor blue = {0.08f, 0.13f, 0.32f};
            SColor c = Lerp(blue, red, h) * (cloud * fine * 0.3f) + SColor{0.55f, 0.5f, 0.6f} * (band * 0.06f);
            // The backdrop is a square that ends in black space: its haze fades out toward the edges so
            // that the square's outline never shows against the black around it.
            float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
            img.At(x, y) = (SColor{0.006f, 0.008f, 0.018f} + c) * Smoothstep(0.0f, 0.12f, edge);
        }
}

void DrawStarField(CImage& img)
{
    CRandom rng(0x57A25u);
    for (int i = 0; i < 9000; ++i) {
        float x = float(rng.Uniform(0, kSize)), y = float(rng.Uniform(0, kSize));
        // A third of the stars crowd into the band of the home galaxy.
        if (i % 3 == 0)
            BandPoint(float(rng.Uniform(-0.1, 1.1)), float(rng.Gauss()) * 0.1f, x, y);
        // Brightness falls off as a power law: many faint stars, few bright ones.
        float bright = std::min(0.9f, 0.03f * std::pow(1.0f - float(rng.Uniform()), -0.85f));
        SColor color = StarColor(rng);
        DrawStar(img, x, y, bright, color, false);
    }
    // A handful of bright foreground stars, the only ones with diffraction spikes.
    for (int i = 0; i < 7; ++i) {
        float x = float(rng.Uniform(30, kSize - 30)), y = float(rng.Uniform(30, kSize - 30));
        if (std::hypot(x - kCoreX, y - kCoreY) < 280)
            continue;
        DrawStar(img, x, y, float(rng.Uniform(0.9, 1.5)), StarColor(rng), true);
    }
}

// Far-off galaxies: small tilted smudges scattered over the field.
void DrawDistantGalaxies(CImage& img)
{
    CRandom rng(0xFA7u);
    for (int i = 0; i < 14; ++i) {
        float cx = float(rng.Uniform(40, kSize - 40)), cy = float(rng.Uniform(40, kSize - 40));
        if (std::hypot(cx - kCoreX, cy - kCoreY) < 300)
            continue;
        float len = float(rng.Uniform(3, 9)), ratio = float(rng.Uniform(0.25, 0.8)), angle = float(rng.Uniform(0, kPi));
        float bright = float(rng.Uniform(0.12, 0.35));
        SColor color = Lerp({1.0f, 0.9f, 0.75f}, {0.8f, 0.85f, 1.0f}, float(rng.Uniform()));
        int reach = int(len * 3);
        for (int py = int(cy) - reach; py <= int(cy) + reach; ++py)
            for (int px = int(cx) - reach; px <= int(cx) + reach; ++px) {
                float dx = float(px) - cx, dy = float(py) - cy;
                float a = dx * std::cos(angle) + dy * std::sin(angle);
                float b = (-dx * std::sin(angle) + dy * std::cos(angle)) / ratio;
                float r = std::sqrt(a * a + b * b) / len;
                img.At(px, py) =
                    img.At(px, py) + color * (bright * (std::exp(-r * 3.0f) + 0.8f * std::exp(-r * r * 40.0f)));
            }
    }
}

// The spiral: a warm bulge, two logarithmic arms of young blue stars with dust lanes on their inner edges,
// pink star-forming knots along the arms, all on an inclined disc.
void DrawSpiral(CImage& img)
{
    const float radius = 0.23f * kSize; // disc scale in pixels along the major axis
    const float tilt = std::cos(58.0f * kPi / 180.0f);
    const float posAngle = 28.0f * kPi / 180.0f;
    const float pitch = std::tan(21.0f * kPi / 180.0f);
    const CNoise clumps(0x5E1u), dust(0x5E2u), warp(0x5E3u);
    const float ca = std::cos(posAngle), sa = std::sin(posAngle);

    auto toDisc = [&](float px, float py, float& gx, float& gy) {
        float dx = (px - kCoreX) / radius, dy = (py - kCoreY) / radius;
        gx = dx * ca + dy * sa;
        gy = (-dx * sa + dy * ca) / tilt;
    };

    const int reach = int(radius * 1.8f);
    for (int py = std::max(0, int(kCoreY) - reach); py < std::min(kSize, int(kCoreY) + reach); ++py)
        for (int px = std::max(0, int(kCoreX) - reach); px < std::min(kSize, int(kCoreX) + reach); ++px) {
            float gx, gy;
            toDisc(float(px) + 0.5f, float(py) + 0.5f, gx, gy);
            float r = std::sqrt(gx * gx + gy * gy);
            float theta = std::atan2(gy, gx);
            float rs = std::max(r, 0.02f);
            float wobble = 0.6f * warp.Fbm(gx * 2.0f, gy * 2.0f, 3);
            float phase = 2.0f * (theta - std::log(rs) / pitch) + wobble;
            float arm = std::pow(0.5f + 0.5f * std::cos(phase), 2.0f);
            float lane = std::pow(0.5f + 0.5f * std::cos(phase - 0.9f), 8.0f);
            float clump = 0.55f + 0.9f * std::max(0.0f, clumps.Fbm(gx * 6.0f, gy * 6.0f, 5));
            float fadeIn = Smoothstep(0.04f, 0.25f, r);
            float disc = std::exp(-r / 0.32f) * (1.0f - Smoothstep(0.9f, 1.5f, r));
            float armLight = disc * fadeIn * arm * clump * 1.5f;
            float diffuse = disc * 0.5f;
            float bulge = 1.4f * std::exp(-r / 0.035f) + 0.45f * std::exp(-r / 0.11f);
            float dustAmount = lane * fadeIn * disc * 2.2f * (0.5f + 0.5f * dust.Fbm(gx * 9.0f, gy * 9.0f, 4));
            float absorb = std::exp(-dustAmount * 1.5f);

            SColor young = {0.5f, 0.68f, 1.0f};
            SColor old = {1.0f, 0.86f, 0.66f};
            SColor light = young * armLight + Lerp(young, old, 0.6f) * diffuse;
            light = light * absorb + old * bulge;
            img.At(px, py) = img.At(px, py) + light * 0.9f;
        }

    // Knots of new stars glowing pink and blue along the arms.
    CRandom rng(0x7217u);
    for (int i = 0; i < 420; ++i) {
        float r = float(rng.Uniform(0.18, 0.95));
        int side = rng.Below(2);
        float theta = std::log(r) / pitch + float(side) * kPi + float(rng.Gauss()) * 0.18f;
        float gx = r * std::cos(theta), gy = r * std::sin(theta) * tilt;
        float px = kCoreX + (gx * ca - gy * sa) * radius;
        float py = kCoreY + (gx * sa + gy * ca) * radius;
        bool pink = rng.Uniform() < 0.45;
        SColor c = pink ? SColor{1.0f, 0.45f, 0.62f} : SColor{0.7f, 0.82f, 1.0f};
        DrawStar(img, px, py, float(rng.Uniform(0.08, 0.35)) * std::exp(-r), c, false);
    }
    // The nucleus: a point of light where the flare's source is.
    DrawStar(img, kCoreX, kCoreY, 1.6f, {1.0f, 0.97f, 0.9f}, false);
}

// Compresses highlights smoothly instead of clipping, keeping the core white and the arms coloured.
void ToneMap(CImage& img)
{
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            SColor& c = img.At(x, y);
            c = {1.0f - std::exp(-c.r * 1.3f), 1.0f - std::exp(-c.g * 1.3f), 1.0f - std::exp(-c.b * 1.3f)};
        }
}
} // namespace

void MakeGalaxy(AssetList& out)
{
    CImage img(kSize, kSize);
    DrawNebulae(img);
    DrawDistantGalaxies(img);
    DrawSpiral(img);
    DrawStarField(img);
    ToneMap(img);
    out.push_back({"textures/galaxy.jpg", EncodeJpeg(img, 90, true)});
}
