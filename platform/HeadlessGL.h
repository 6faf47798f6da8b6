// CHeadlessGL: an offscreen OpenGL context for recordings and tests. EGL on
// Mesa's surfaceless platform with the desktop OpenGL API (a compatibility
// context, so fixed function and GLU work), drawing into an RGBA8 surface with
// a 16-bit depth buffer: a pbuffer where the platform offers one, otherwise a
// framebuffer object. No display or window system is needed.
// Failures are return values: Create returns false and Error() says why.
#pragma once

#include "platform/OffscreenFramebuffer.h"

#include <string>
#include <vector>

class CHeadlessGL
{
public:
    CHeadlessGL();
    ~CHeadlessGL(); // Destroy
    CHeadlessGL(const CHeadlessGL&) = delete;
    CHeadlessGL& operator=(const CHeadlessGL&) = delete;

    // Creates the context and its surface, makes it current and sets the
    // viewport to (0, 0, width, height). allowPbuffer false forces the
    // framebuffer-object fallback (so it stays tested where pbuffers exist).
    bool Create(int width, int height, bool allowPbuffer = true);
    void Destroy(); // releases everything; safe to repeat

    bool MakeCurrent(); // false without a context
    static void ReleaseCurrent(); // no context current afterwards

    // Reads the colour buffer as RGBA bytes, width * height * 4, rows from the
    // top of the picture down. Finishes the pending drawing first.
    bool ReadPixels(std::vector<unsigned char>& rgba) const;

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    bool UsesPbuffer() const { return m_pSurface != nullptr; }
    const std::string& Error() const { return m_Error; }

private:
    bool _Fail(const std::string& why);

    void* m_pDisplay; // EGLDisplay
    void* m_pContext; // EGLContext
    void* m_pSurface; // EGLSurface of the pbuffer, null when drawing into the FBO
    COffscreenFramebuffer m_Fbo; // drawn into when there is no pbuffer
    int m_nWidth;
    int m_nHeight;
    std::string m_Error;
};
