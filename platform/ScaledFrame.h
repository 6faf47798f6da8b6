// Private to platform/: frames drawn smaller than the window that shows them.
// The view's context draws into a framebuffer object (RGBA8 colour, depth)
// of the frame's size, which Present blits over the window's framebuffer
// with linear filtering. While it draws scaled, textures are sampled with a
// level-of-detail bias of log2(scale): a mipmapped texture stretched across a
// few pixels (a bolt's ribbon, a star) then reads the level it would read in
// a full-size frame instead of a coarser, darker one, so the scene keeps its
// brightness without learning that its frame is smaller.
// Every call needs the view's context current. Free of window-system headers.
#pragma once

#include <string>

class CScaledFrame
{
public:
    // The window system's GetProcAddress, asked through whoever holds the context.
    using ProcAddress = void* (*)(const void* owner, const char* name);

    // Whether the current context has framebuffer objects and blits (OpenGL
    // 3.0 or GL_ARB_framebuffer_object); false says what it lacks in why.
    bool Load(ProcAddress resolve, const void* owner, std::string& why);

    // Makes or resizes the framebuffer (sides >= 1) and binds it for drawing
    // and reading; false (nothing bound) when it cannot be made.
    bool Begin(int width, int height, int depthBits, double scale);
    // Blits the frame over the window's framebuffer (0 on a window, the
    // headless view's own framebuffer object) and leaves that one bound.
    void Present(unsigned int windowFramebuffer, int windowWidth, int windowHeight);
    // Back to drawing straight into the window: deletes the buffers, binds
    // the window's framebuffer and removes the bias. Safe to repeat.
    void End(unsigned int windowFramebuffer);
    bool Exists() const { return m_nFbo != 0; }

    struct SFunctions; // the entry points, loaded once per process

private:
    const SFunctions* m_pGL = nullptr; // loaded
    unsigned int m_nFbo = 0;
    unsigned int m_nColorRb = 0;
    unsigned int m_nDepthRb = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
};
