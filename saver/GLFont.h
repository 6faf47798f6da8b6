// CGLFont: one line of text over the picture from a 16 x 16 grid of glyph
// cells in one texture (byte b in column b mod 16, row b div 16, row 0 at the
// top of the image), drawn additively so the texture's black is see-through.
// Coordinates are fractions of the viewport, y measured down from the top.
// Needs the view's context current; the font owns its texture until
// UnloadFont.
#pragma once

class CGLFont
{
public:
    CGLFont()
        : m_nFontTex(0)
    {}

    bool LoadFont(const char* name, bool mipmaps); // pack entry; BindImage's result
    void UnloadFont(); // deletes the texture (the name stays)

    // Each byte of text is a cell width wide and height high, starting at x, y.
    void DrawString(float x, float y, float width, float height, const char* text);

    void Set2DMode(); // unit-square projection, identity model-view; pushes both stacks
    void Restore3DMode(); // pops them

    unsigned int FontTexture() const { return m_nFontTex; }

private:
    unsigned int m_nFontTex;
};
