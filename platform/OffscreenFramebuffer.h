// Private to platform/: an offscreen framebuffer object (RGBA8 colour,
// optional depth) that a context without a surface draws into. Every call
// needs the context that made it current; Destroy before that context goes.
// Free of window-system headers, so classes holding one can be public.
#pragma once

class COffscreenFramebuffer
{
public:
    // Makes or resizes the buffers (width, height >= 1) and leaves the
    // framebuffer bound for drawing and reading. depthBits 0: no depth buffer.
    bool Resize(int width, int height, int depthBits);
    void Bind() const; // no-op before the first Resize
    void Destroy(); // safe to repeat
    bool Exists() const { return m_nFbo != 0; }
    unsigned int Name() const { return m_nFbo; } // 0 before the first Resize

private:
    unsigned int m_nFbo = 0;
    unsigned int m_nColorRb = 0;
    unsigned int m_nDepthRb = 0;
};
