// Veltrix media generator: floating-point RGB pictures and their JPEG and PNG encodings.
// Pictures are drawn in linear 0..1 floats; the encoders clamp and round to 8 bits. Encoding returns an empty
// vector on failure (the caller reports it); nothing here touches files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SColor
{
    float r, g, b;
};

inline SColor operator+(SColor a, SColor b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline SColor operator*(SColor a, float k)
{
    return {a.r * k, a.g * k, a.b * k};
}
inline SColor operator*(SColor a, SColor b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline SColor Lerp(SColor a, SColor b, float t)
{
    return a + (b + a * -1.0f) * t;
}

class CImage
{
public:
    CImage(int width, int height)
        : m_nWidth(width)
        , m_nHeight(height)
        , m_Pixels(size_t(width) * height, {0, 0, 0})
    {}

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    SColor& At(int x, int y) { return m_Pixels[size_t(y) * m_nWidth + x]; } // y = 0 is the top row
    const SColor& At(int x, int y) const { return m_Pixels[size_t(y) * m_nWidth + x]; }

    // Adds c * weight at (x, y) with bilinear splatting, so sub-pixel stars keep their brightness.
    void Splat(float x, float y, SColor c);

    // Blurs in place with a box filter of the given radius applied three times (close to a Gaussian).
    void Blur(int radius);

private:
    int m_nWidth;
    int m_nHeight;
    std::vector<SColor> m_Pixels;
};

// Encodes to baseline JPEG. fullChroma keeps colour at full resolution (4:4:4) for pictures with fine
// coloured detail such as star fields; otherwise chroma is subsampled 2x2.
std::vector<uint8_t> EncodeJpeg(const CImage& image, int quality, bool fullChroma);

// Encodes to an 8-bit RGB PNG.
std::vector<uint8_t> EncodePng(const CImage& image);
