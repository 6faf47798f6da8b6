// CGLFont draws each byte from its cell of the pack's font texture: rendered
// with nearest filtering at one texel per pixel, the picture is the cell.
#include "pack/PackReader.h"
#include "platform/HeadlessGL.h"
#include "saver/GLFont.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <vector>

namespace {
const int kCell = 32; // texels per cell side in textures/font.png

class GLFontTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CPackReader::Init(VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Resources/media.dat"));
        ASSERT_TRUE(m_GL.Create(2 * kCell, kCell)) << m_GL.Error();
        ASSERT_TRUE(m_Font.LoadFont("textures/font.png", false));
        ASSERT_NE(m_Font.FontTexture(), 0u);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &m_nSize);
        ASSERT_EQ(m_nSize, 16 * kCell);
        m_Texels.resize(size_t(m_nSize) * m_nSize);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, m_Texels.data());
        glDisable(GL_TEXTURE_2D);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override { m_Font.UnloadFont(); }

    // Texel (column, row) of the cell of byte b, rows counted down from the cell's top edge.
    uint32_t CellTexel(unsigned char b, int column, int row) const
    {
        const int tx = (b % 16) * kCell + column;
        const int ty = m_nSize - 1 - ((b / 16) * kCell + row); // the texture holds the image upside down
        return m_Texels[size_t(ty) * m_nSize + tx];
    }

    std::vector<uint32_t> Frame() const
    {
        std::vector<unsigned char> rgba;
        EXPECT_TRUE(m_GL.ReadPixels(rgba));
        std::vector<uint32_t> words(rgba.size() / 4);
        std::memcpy(words.data(), rgba.data(), rgba.size());
        return words;
    }

    CHeadlessGL m_GL;
    CGLFont m_Font;
    GLint m_nSize = 0;
    std::vector<uint32_t> m_Texels;
};
} // namespace

TEST_F(GLFontTest, EachByteShowsItsCellLeftToRight)
{
    m_Font.DrawString(0.0f, 0.0f, 0.5f, 1.0f, "AB");
    const std::vector<uint32_t> frame = Frame();
    int ink = 0, wrong = 0;
    for (int y = 0; y < kCell; ++y)
        for (int x = 0; x < 2 * kCell; ++x) {
            const uint32_t want = CellTexel(x < kCell ? 'A' : 'B', x % kCell, y);
            wrong += frame[size_t(y) * 2 * kCell + x] != want;
            ink += (want & 0xff) > 128;
        }
    EXPECT_GT(ink, 50); // the glyphs are really there, so matching them means something
    EXPECT_EQ(wrong, 0);
}

TEST_F(GLFontTest, EmptyTextDrawsNothingAndRestoresTheState)
{
    GLint projectionDepth = 0, modelviewDepth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);
    glEnable(GL_CULL_FACE);
    m_Font.DrawString(0.0f, 0.0f, 0.5f, 1.0f, "");
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, modelviewDepth);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (uint32_t pixel : Frame())
        ASSERT_EQ(pixel & 0xffffff, 0u);
}
