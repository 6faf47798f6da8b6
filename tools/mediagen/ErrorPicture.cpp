// The error picture, shown in the middle of a black screen (60 % of its width, 40 % of its height) when the
// scene cannot be set up: it tells the user that the saver's media are missing or damaged.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/BitmapFont.h"
#include "tools/mediagen/Image.h"

#include <algorithm>
#include <cmath>

namespace {
const int kWidth = 512;
const int kHeight = 256;

struct SLine
{
    const char* m_Text;
    int m_nScale; // picture pixels per font pixel
    int m_nTop; // top of the line in picture pixels
    SColor m_Color;
};

float RoundedBoxDistance(float x, float y, float halfW, float halfH, float radius)
{
    float qx = std::fabs(x) - halfW + radius, qy = std::fabs(y) - halfH + radius;
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}
} // namespace

void MakeErrorPicture(AssetList& out)
{
    const SLine lines[] = {
        {"VELTRIX", 5, 22, {0.86f, 0.84f, 1.0f}},
        {"MEDIA MISSING OR DAMAGED", 3, 100, {1.0f, 0.78f, 0.55f}},
        {"The saver could not read its media file", 2, 158, {0.8f, 0.8f, 0.9f}},
        {"media.dat. Please reinstall Veltrix.", 2, 186, {0.8f, 0.8f, 0.9f}},
    };

    std::vector<float> mask(size_t(kWidth) * kHeight, 0.0f);
    CImage ink(kWidth, kHeight);
    for (const SLine& line : lines) {
        std::vector<float> lineMask(mask.size(), 0.0f);
        int x = (kWidth - CBitmapFont::TextWidth(line.m_Text, line.m_nScale)) / 2;
        CBitmapFont::Draw(lineMask, kWidth, kHeight, x, line.m_nTop, line.m_nScale, line.m_Text);
        for (size_t i = 0; i < mask.size(); ++i)
            if (lineMask[i] > 0) {
                mask[i] = 1.0f;
                ink.At(int(i % kWidth), int(i / kWidth)) = line.m_Color;
            }
    }

    // A soft violet glow behind the letters keeps them readable when the picture is stretched and filtered.
    CImage glow = ink;
    glow.Blur(4);

    CImage img(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            float px = float(x) + 0.5f - kWidth * 0.5f, py = float(y) + 0.5f - kHeight * 0.5f;
            float d = RoundedBoxDistance(px, py, kWidth * 0.5f - 6, kHeight * 0.5f - 6, 18);
            float vignette = 1.0f - 0.5f * (py / kHeight + 0.5f);
            SColor panel = SColor{0.07f, 0.05f, 0.16f} * vignette;
            float inside = std::clamp(0.5f - d, 0.0f, 1.0f);
            float border = std::clamp(1.0f - std::fabs(d + 2.5f) / 1.5f, 0.0f, 1.0f);
            SColor c = panel * inside + SColor{0.5f, 0.42f, 0.95f} * border;
            // A thin rule under the title.
            float rule = (y >= 76 && y < 78) ? std::max(0.0f, 1.0f - std::fabs(px) / 170.0f) : 0.0f;
            c = c + SColor{0.55f, 0.45f, 1.0f} * rule;
            const SColor& g = glow.At(x, y);
            c = c + SColor{g.r * 0.5f, g.g * 0.35f, g.b * 0.9f} * 0.9f;
            float m = mask[size_t(y) * kWidth + x];
            img.At(x, y) = Lerp(c, ink.At(x, y), m);
        }
    out.push_back({"textures/err.png", EncodePng(img)});
}
