// The soft light sprite and the two view-mapped sphere pictures (the ball's glass and the glow shell).
//
// Both sphere pictures are looked up by the screen-plane part of the surface normal: s = 0.5 + 0.5 N.right,
// t = 0.5 + 0.5 N.up, and the loader flips rows, so the top row of a picture is the camera's up. The centre
// of a picture is the point of the sphere facing the camera and the inscribed circle its silhouette.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/Image.h"
#include "tools/mediagen/Noise.h"

#include <algorithm>
#include <cmath>

namespace {
float Smoothstep(float a, float b, float x)
{
    float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Light sprite: stars, bolt ribbons (middle column only), bolt-end spots and the big glow around the ball
// all add it, so it must be exactly black well inside the border: the outer 16 pixels are whole black JPEG
// blocks, which decode to exact zeros, and with wrapping and mipmaps nothing bleeds in from the far side.
CImage MakeLight()
{
    const int size = 256;
    const float reach = 112.0f; // radius in pixels where the glow reaches zero
    CImage img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (float(x) + 0.5f - size * 0.5f) / reach;
            float dy = (float(y) + 0.5f - size * 0.5f) / reach;
            float r2 = dx * dx + dy * dy;
            if (r2 >= 1.0f)
                continue;
            float window = (1.0f - r2) * (1.0f - r2);
            float core = std::exp(-r2 / (0.075f * 0.075f));
            float glow = std::exp(-r2 / (0.22f * 0.22f));
            float haze = std::exp(-r2 / (0.5f * 0.5f));
            float v = window * (0.52f * core + 0.33f * glow + 0.15f * haze);
            img.At(x, y) = {v, v, v};
        }
    return img;
}

struct SSphereTexel
{
    float nx, ny, nz; // unit normal: x to the camera's right, y up, z towards the camera
    float r; // distance from the picture's centre, 1 on the silhouette
};

// Outside the inscribed circle the normal is held at the silhouette, so mipmaps of the rim stay rim-coloured.
SSphereTexel TexelNormal(int x, int y, int size)
{
    float nx = (float(x) + 0.5f) / float(size) * 2.0f - 1.0f;
    float ny = 1.0f - (float(y) + 0.5f) / float(size) * 2.0f;
    float r = std::sqrt(nx * nx + ny * ny);
    if (r > 1.0f) {
        nx /= r;
        ny /= r;
    }
    float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
    return {nx, ny, nz, r};
}

float Specular(const SSphereTexel& n, float lx, float ly, float lz, float power)
{
    // Half vector of the light and the view (0, 0, 1).
    float hx = lx, hy = ly, hz = lz + 1.0f;
    float len = std::sqrt(hx * hx + hy * hy + hz * hz);
    float d = (n.nx * hx + n.ny * hy + n.nz * hz) / len;
    return d > 0 ? std::pow(d, power) : 0.0f;
}

// The ball: dark violet-blue glass with a sharp highlight from the upper left, a faint violet one from the
// glow below right, a lighter Fresnel rim and a dim reflected sky that gives the glass its depth.
CImage MakeBallGlass()
{
    const int size = 512;
    const CNoise noise(0x51A55u);
    CImage img(size, size);
    const float lLen = std::sqrt(0.45f * 0.45f + 0.6f * 0.6f + 0.66f * 0.66f);
    const float lx = -0.45f / lLen, ly = 0.6f / lLen, lz = 0.66f / lLen;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            SSphereTexel n = TexelNormal(x, y, size);
            float diffuse = std::max(0.0f, n.nx * lx + n.ny * ly + n.nz * lz);
            float fresnel = std::pow(1.0f - n.nz, 3.0f);
            // Swirls inside the glass, stretched along the surface so they read as depth, not as stains.
            float swirl = noise.Fbm(n.nx * 2.2f + 4.0f, n.ny * 2.2f + n.nz * 0.8f, 5);
            SColor deep = {0.07f, 0.045f, 0.20f};
            SColor body = {0.20f, 0.12f, 0.45f};
            SColor c = Lerp(deep, body, std::clamp(0.35f + 0.55f * diffuse + 0.35f * swirl, 0.0f, 1.0f));
            // Reflected sky: the mirror direction's height, brighter above the horizon.
            float ry = 2.0f * n.nz * n.ny;
            float sky = Smoothstep(-0.2f, 0.9f, ry) * 0.22f + 0.06f * std::exp(-ry * ry * 40.0f);
            c = c + SColor{0.35f, 0.40f, 0.85f} * (sky * (0.3f + 0.7f * fresnel));
            c = c + SColor{0.55f, 0.45f, 1.0f} * (0.85f * fresnel);
            float highlight = Specular(n, lx, ly, lz, 180.0f) * 1.6f + Specular(n, lx, ly, lz, 18.0f) * 0.22f;
            c = c + SColor{1.0f, 0.97f, 1.0f} * highlight;
            float spec2 = Specular(n, 0.55f, -0.5f, 0.67f, 40.0f) * 0.35f;
            c = c + SColor{0.75f, 0.45f, 1.0f} * spec2;
            img.At(x, y) = c;
        }
    return img;
}

// The glow shell is added at a twelfth of its brightness, front and back, so the picture is bright: a
// nebulous violet and blue haze that thickens toward the silhouette, where the view grazes the shell.
CImage MakeShellGlow()
{
    const int size = 512;
    const CNoise noise(0xE5E11u);
    const CNoise tint(0x7137u);
    CImage img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            SSphereTexel n = TexelNormal(x, y, size);
            float r = std::min(n.r, 1.0f);
            float u = float(x) / size * 3.0f, v = float(y) / size * 3.0f;
            float cloud = 0.5f + 0.5f * noise.Fbm(u, v, 6, 0.55f);
            float wisps = noise.Ridged(u * 1.3f + 7.0f, v * 1.3f, 5);
            float density = std::clamp(0.25f + 0.9f * cloud * cloud + 0.35f * wisps * wisps, 0.0f, 1.4f);
            float rim = 0.35f + 0.65f * std::pow(r, 3.0f) + 0.45f * std::exp(-(1.0f - r) * 18.0f);
            float mix = Smoothstep(-0.35f, 0.45f, tint.Fbm(u * 0.7f + 3.0f, v * 0.7f, 4));
            SColor blue = {0.45f, 0.60f, 1.0f};
            SColor violet = {0.85f, 0.45f, 1.0f};
            SColor c = Lerp(blue, violet, mix) * (density * rim);
            img.At(x, y) = c;
        }
    return img;
}
} // namespace

void MakeGlowTextures(AssetList& out)
{
    out.push_back({"textures/light.jpg", EncodeJpeg(MakeLight(), 95, false)});
    out.push_back({"textures/envmap.jpg", EncodeJpeg(MakeBallGlass(), 95, false)});
    out.push_back({"textures/envmap2.jpg", EncodeJpeg(MakeShellGlow(), 88, false)});
}
