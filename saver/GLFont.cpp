#include "saver/GLFont.h"

#include "pack/Texture.h"

#include <GL/gl.h>

#include <cstring>

bool CGLFont::LoadFont(const char* name, bool mipmaps)
{
    return BindImage(name, &m_nFontTex, mipmaps, GL_CLAMP);
}

void CGLFont::UnloadFont()
{
    glDeleteTextures(1, &m_nFontTex);
}

void CGLFont::Set2DMode()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void CGLFont::Restore3DMode()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void CGLFont::DrawString(float x, float y, float width, float height, const char* text)
{
    const float cell = 1.0f / 16.0f;
    Set2DMode();
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_nFontTex);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    const size_t length = std::strlen(text);
    const float top = 1.0f - y, bottom = 1.0f - y - height;
    glBegin(GL_QUADS);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const float u = float(b % 16) / 16.0f;
        const float v = 1.0f - float(b / 16) / 16.0f;
        const float left = x + float(i) * width, right = x + float(i + 1) * width;
        glTexCoord2f(u, v);
        glVertex3f(left, top, -0.5f);
        glTexCoord2f(u + cell, v);
        glVertex3f(right, top, -0.5f);
        glTexCoord2f(u + cell, v - cell);
        glVertex3f(right, bottom, -0.5f);
        glTexCoord2f(u, v - cell);
        glVertex3f(left, bottom, -0.5f);
    }
    glEnd();
    glPopAttrib();
    Restore3DMode();
}
