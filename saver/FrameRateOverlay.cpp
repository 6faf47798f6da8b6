#include "saver/FrameRateOverlay.h"

#include <GL/gl.h>

#include <cstdio>

namespace {
const double kPeriodSeconds = 0.5;
const double kCellWidth = 16.0; // pixels per character
const double kCellHeight = 24.0;
const double kMargin = 8.0; // pixels from the top-left corner
} // namespace

bool CFrameRateOverlay::Load()
{
    m_bLoaded = m_Font.LoadFont("textures/font.png", true) && m_Font.FontTexture() != 0;
    m_nFrames = 0;
    m_nPresented = 0;
    m_dWorkSeconds = 0.0;
    m_Text[0] = 0;
    return m_bLoaded;
}

void CFrameRateOverlay::Unload()
{
    if (m_Font.FontTexture() != 0)
        m_Font.UnloadFont();
    m_bLoaded = false;
}

void CFrameRateOverlay::FrameBegan()
{
    if (!m_bLoaded)
        return;
    m_Began = Clock::now();
    if (m_nFrames == 0)
        m_PeriodStart = m_Began;
    const double period = std::chrono::duration<double>(m_Began - m_PeriodStart).count();
    if (period >= kPeriodSeconds && m_nPresented > 0) {
        Format(m_Text, m_nFrames / period, m_dWorkSeconds / m_nPresented, m_dScale);
        m_PeriodStart = m_Began;
        m_nFrames = 0;
        m_nPresented = 0;
        m_dWorkSeconds = 0.0;
    }
    ++m_nFrames;
}

void CFrameRateOverlay::Draw(double width, double height, double scale)
{
    m_dScale = scale;
    if (!m_bLoaded || !m_Text[0] || width < 1.0 || height < 1.0)
        return;
    // Cells are measured in the pixels the frame is shown at.
    const double cellWidth = kCellWidth * scale, cellHeight = kCellHeight * scale, margin = kMargin * scale;
    // Whatever the scene left set (a black fade colour, depth testing, fog) must not touch the text, and
    // what the text sets must not reach the next frame's scene.
    glPushAttrib(GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    m_Font.DrawString(float(margin / width), float(margin / height), float(cellWidth / width),
                      float(cellHeight / height), m_Text);
    glPopAttrib();
}

void CFrameRateOverlay::FramePresented()
{
    if (!m_bLoaded)
        return;
    m_dWorkSeconds += std::chrono::duration<double>(Clock::now() - m_Began).count();
    ++m_nPresented;
}

void CFrameRateOverlay::Format(char (&text)[32], double rate, double frameTime, double scale)
{
    std::snprintf(text, sizeof text, "%.1f fps  %.1f ms  %.2fx", rate, frameTime * 1000.0, scale);
}
