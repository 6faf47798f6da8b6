// The font texture of the saver's text overlay: a 16 x 16 grid of glyph cells, byte value b in column b mod 16
// and row b div 16 (row 0 at the top), white ink on black, so the text can be drawn additively. Bytes the
// bitmap font does not cover stay black and draw as blanks.
#include "tools/mediagen/Assets.h"
#include "tools/mediagen/BitmapFont.h"
#include "tools/mediagen/Image.h"

void MakeFontTexture(AssetList& out)
{
    const int kCell = 32; // picture pixels per cell side
    const int kScale = 3; // picture pixels per font pixel: 15 x 27 of ink at most, centred in the cell
    const int kSize = 16 * kCell;
    const int kLeft = (kCell - (CBitmapFont::kCellWidth - 1) * kScale) / 2;
    const int kTop = (kCell - CBitmapFont::kCellHeight * kScale) / 2;

    std::vector<float> mask(size_t(kSize) * kSize, 0.0f);
    for (int b = 1; b < 256; ++b) {
        const char text[2] = {char(b), 0};
        CBitmapFont::Draw(mask, kSize, kSize, (b % 16) * kCell + kLeft, (b / 16) * kCell + kTop, kScale, text);
    }

    CImage img(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            float m = mask[size_t(y) * kSize + x];
            img.At(x, y) = {m, m, m};
        }
    out.push_back({"textures/font.png", EncodePng(img)});
}
