// Private to platform/: what an OpenGL view needs from the window system.
// GLX (a child window of the target's X window), Wayland (an EGL window on
// the target's surface) and EGL (headless, an offscreen framebuffer) each
// implement it; OpenGLView picks one from the
// target. Every call is on the host's main thread.
#pragma once

#include "platform/OpenGLView.h"

class OpenGLViewBackend
{
public:
    virtual ~OpenGLViewBackend() = default;

    virtual void attach() = 0; // create/show the drawable over the target
    virtual void detach() = 0; // remove it; the context lives on
    virtual void resize(int width, int height) = 0; // pixels, >= 0
    virtual void setHidden(bool hidden) = 0;
    virtual bool makeCurrent() = 0;
    virtual void setSwapInterval(int interval) = 0; // silently nothing without support
    virtual void update() = 0;
    virtual void present() = 0; // swap buffers; nothing headless
    // The framebuffer that shows the drawable while the context is current:
    // 0 on a window, the headless view's framebuffer object.
    virtual unsigned int windowFramebuffer() const { return 0; }
    // The window system's GetProcAddress for the context's entry points.
    virtual void* procAddress(const char* name) const = 0;
};

// Each returns null when no configuration matches the format or the context
// cannot be made.
std::unique_ptr<OpenGLViewBackend> CreateGLXViewBackend(const OpenGLPixelFormat& format, const SSaverTarget& target);
std::unique_ptr<OpenGLViewBackend> CreateEGLViewBackend(const OpenGLPixelFormat& format);
std::unique_ptr<OpenGLViewBackend> CreateWaylandViewBackend(const OpenGLPixelFormat& format,
                                                            const SSaverTarget& target);

// Releases whatever context the window system has current on this thread
// (a null display: the display of the current GLX context).
void ClearCurrentGLXContext(void* display);
void ClearCurrentEGLContext();
