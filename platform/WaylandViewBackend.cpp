// The OpenGL view on Wayland: an EGL window (wl_egl_window) on the host's
// wl_surface and a desktop OpenGL context on the EGL display of the host's
// connection. The host keeps the surface itself: its role, its buffer scale
// and its frame callbacks; each swap attaches a new buffer and commits.
//
// Swaps never wait: the interval is always 0, whatever the view asks, since
// the host draws a view only once the compositor's frame callback for its
// last frame came, and a swap that waited on an output that is off would
// stall every other view of the process with it.
#include "platform/OpenGLViewBackend.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-client.h>
#include <wayland-egl.h>

namespace {

class CWaylandViewBackend final : public OpenGLViewBackend
{
public:
    CWaylandViewBackend(EGLDisplay display, EGLConfig config, EGLContext context, wl_surface* surface)
        : m_Display(display)
        , m_Config(config)
        , m_Context(context)
        , m_pSurface(surface)
    {}

    ~CWaylandViewBackend() override
    {
        detach();
        if (eglGetCurrentContext() == m_Context)
            eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_Display, m_Context);
    }

    // The EGL window is made once the view has a size: one made at 1 x 1
    // would have its first buffer allocated, and committed, at 1 x 1, and a
    // compositor may take that for the size the window wants.
    void attach() override
    {
        m_bAttached = true;
        if (m_pWindow || m_nWidth <= 0 || m_nHeight <= 0)
            return;
        m_pWindow = wl_egl_window_create(m_pSurface, m_nWidth, m_nHeight);
        if (!m_pWindow)
            return;
        auto createSurface = reinterpret_cast<PFNEGLCREATEPLATFORMWINDOWSURFACEEXTPROC>(
            eglGetProcAddress("eglCreatePlatformWindowSurfaceEXT"));
        m_EglSurface = createSurface ? createSurface(m_Display, m_Config, m_pWindow, nullptr) : EGL_NO_SURFACE;
        if (m_EglSurface == EGL_NO_SURFACE) {
            wl_egl_window_destroy(m_pWindow);
            m_pWindow = nullptr;
        }
    }

    void detach() override
    {
        m_bAttached = false;
        if (!m_pWindow)
            return;
        if (eglGetCurrentSurface(EGL_DRAW) == m_EglSurface)
            eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroySurface(m_Display, m_EglSurface);
        wl_egl_window_destroy(m_pWindow);
        m_EglSurface = EGL_NO_SURFACE;
        m_pWindow = nullptr;
        m_bIntervalSet = false;
    }

    // The new size is taken at the next frame's first drawing and shown by
    // its swap, in the same commit as the buffer scale the host set for it.
    void resize(int width, int height) override
    {
        m_nWidth = width;
        m_nHeight = height;
        if (m_pWindow && width > 0 && height > 0)
            wl_egl_window_resize(m_pWindow, width, height, 0, 0);
        else if (!m_pWindow && m_bAttached)
            attach();
    }

    void setHidden(bool) override {} // the host decides what its surfaces show

    bool makeCurrent() override
    {
        if (!m_pWindow)
            return false;
        if (eglGetCurrentContext() != m_Context || eglGetCurrentSurface(EGL_DRAW) != m_EglSurface) {
            if (!eglMakeCurrent(m_Display, m_EglSurface, m_EglSurface, m_Context))
                return false;
        }
        if (!m_bIntervalSet) {
            eglSwapInterval(m_Display, 0);
            m_bIntervalSet = true;
        }
        return true;
    }

    void setSwapInterval(int) override {}
    void update() override {}

    void present() override
    {
        if (m_pWindow)
            eglSwapBuffers(m_Display, m_EglSurface);
    }

    void* procAddress(const char* name) const override { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

private:
    EGLDisplay m_Display;
    EGLConfig m_Config;
    EGLContext m_Context;
    wl_surface* m_pSurface; // the host's
    wl_egl_window* m_pWindow = nullptr;
    EGLSurface m_EglSurface = EGL_NO_SURFACE;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bIntervalSet = false;
    bool m_bAttached = false; // attach was asked for: the EGL window comes with a size
};

// An opaque 8-bit RGB configuration (no alpha: the compositor would blend
// whatever alpha the scene leaves, and an opaque buffer can be scanned out
// directly) with the smallest depth buffer that meets the format.
EGLConfig ChooseConfig(EGLDisplay display, const OpenGLPixelFormat& format)
{
    const EGLint attribs[] = {EGL_SURFACE_TYPE,
                              EGL_WINDOW_BIT,
                              EGL_RENDERABLE_TYPE,
                              EGL_OPENGL_BIT,
                              EGL_RED_SIZE,
                              8,
                              EGL_GREEN_SIZE,
                              8,
                              EGL_BLUE_SIZE,
                              8,
                              EGL_ALPHA_SIZE,
                              0,
                              EGL_DEPTH_SIZE,
                              format.depthSize(),
                              EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, attribs, configs, 64, &count) || count <= 0)
        return nullptr;
    EGLConfig best = nullptr;
    EGLint bestAlpha = 0, bestDepth = 0;
    for (EGLint i = 0; i < count; ++i) {
        EGLint alpha = 0, depth = 0, red = 0, green = 0, blue = 0;
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &alpha);
        eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &depth);
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &green);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &blue);
        if (red != 8 || green != 8 || blue != 8) // 10-bit ones sort before
            continue;
        const bool better =
            !best || (alpha == 0 && bestAlpha != 0) || ((alpha == 0) == (bestAlpha == 0) && depth < bestDepth);
        if (better) {
            best = configs[i];
            bestAlpha = alpha;
            bestDepth = depth;
        }
    }
    return best;
}

} // namespace

std::unique_ptr<OpenGLViewBackend> CreateWaylandViewBackend(const OpenGLPixelFormat& format, const SSaverTarget& target)
{
    if (!target.display || !target.surface)
        return nullptr;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay)
        return nullptr;
    // One EGL display per connection; initialising it again is harmless.
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, target.display, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor) || !eglBindAPI(EGL_OPENGL_API))
        return nullptr;
    EGLConfig config = ChooseConfig(display, format);
    if (!config)
        return nullptr;
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        return nullptr;
    return std::make_unique<CWaylandViewBackend>(display, config, context, static_cast<wl_surface*>(target.surface));
}
