// Veltrix media generator: a tiny 5 x 7 bitmap font (with two rows of descenders) for the error picture.
// Covers A-Z, a-z, 0-9, space and . , ' ! - : / ; any other character draws as a blank of the same width.
#pragma once

#include <vector>

class CBitmapFont
{
public:
    static const int kCellWidth = 6; // font pixels per character, one column of spacing included
    static const int kCellHeight = 9; // 7 rows above the baseline, 2 below

    // Width in picture pixels of `text` drawn with font pixels of `scale` x `scale` picture pixels.
    static int TextWidth(const char* text, int scale);

    // Sets the covered pixels of `mask` (width x height, row-major, top row first) to 1; the text's top-left
    // corner is at (x, y). Pixels outside the mask are skipped.
    static void Draw(std::vector<float>& mask, int width, int height, int x, int y, int scale, const char* text);
};
