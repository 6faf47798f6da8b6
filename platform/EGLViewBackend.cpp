// The headless OpenGL view: an EGL context on the surfaceless display drawing
// into a framebuffer object of the view's size. The framebuffer stays bound
// while the context is current, so whoever made the view can glReadPixels the
// frame after a draw.
#include "platform/EGLSupport.h"
#include "platform/OffscreenFramebuffer.h"
#include "platform/OpenGLViewBackend.h"

#include <GL/gl.h>

#include <algorithm>

namespace {

// Leaves whatever was current before us current again, so making or
// destroying a view never disturbs another view's or the host's context;
// a context about to go (leaving) is not made current again.
class CKeepCurrentEGL
{
public:
    explicit CKeepCurrentEGL(EGLContext leaving = EGL_NO_CONTEXT)
        : m_Display(eglGetCurrentDisplay())
        , m_Draw(eglGetCurrentSurface(EGL_DRAW))
        , m_Read(eglGetCurrentSurface(EGL_READ))
        , m_Context(eglGetCurrentContext())
    {
        if (m_Context == leaving)
            m_Display = EGL_NO_DISPLAY;
    }
    ~CKeepCurrentEGL()
    {
        if (m_Display != EGL_NO_DISPLAY)
            eglMakeCurrent(m_Display, m_Draw, m_Read, m_Context);
        else if (EGLDisplay display = eglGetCurrentDisplay(); display != EGL_NO_DISPLAY)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    CKeepCurrentEGL(const CKeepCurrentEGL&) = delete;
    CKeepCurrentEGL& operator=(const CKeepCurrentEGL&) = delete;

private:
    EGLDisplay m_Display;
    EGLSurface m_Draw;
    EGLSurface m_Read;
    EGLContext m_Context;
};

class CEGLViewBackend final : public OpenGLViewBackend
{
public:
    CEGLViewBackend(EGLDisplay display, EGLContext context, int depthBits)
        : m_Display(display)
        , m_Context(context)
        , m_nDepthBits(depthBits)
    {}

    ~CEGLViewBackend() override
    {
        {
            CKeepCurrentEGL keep(m_Context);
            if (makeCurrent())
                m_Fbo.Destroy();
        }
        eglDestroyContext(m_Display, m_Context);
    }

    void attach() override {}
    void detach() override {}
    void setHidden(bool) override {}
    void setSwapInterval(int) override {}
    void present() override {}
    unsigned int windowFramebuffer() const override { return m_Fbo.Name(); }
    void* procAddress(const char* name) const override { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

    void resize(int width, int height) override
    {
        m_nWidth = width;
        m_nHeight = height;
        m_bResizePending = true;
        if (eglGetCurrentContext() == m_Context)
            _ApplySize();
    }

    bool makeCurrent() override
    {
        if (eglGetCurrentContext() != m_Context &&
            !eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_Context))
            return false;
        if (m_bResizePending)
            _ApplySize();
        else
            m_Fbo.Bind();
        return true;
    }

    void update() override
    {
        if (eglGetCurrentContext() == m_Context)
            makeCurrent();
    }

private:
    // A view of zero size keeps a 1x1 framebuffer: drawing stays valid and the
    // viewport the view sets (0 x 0) keeps it from showing anything.
    void _ApplySize()
    {
        GLint largest = 0;
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
        largest = std::max(largest, 1);
        const int width = std::clamp(m_nWidth, 1, static_cast<int>(largest));
        const int height = std::clamp(m_nHeight, 1, static_cast<int>(largest));
        m_Fbo.Resize(width, height, m_nDepthBits);
        m_bResizePending = false;
    }

    EGLDisplay m_Display;
    EGLContext m_Context;
    COffscreenFramebuffer m_Fbo;
    int m_nDepthBits;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bResizePending = true;
};

} // namespace

std::unique_ptr<OpenGLViewBackend> CreateEGLViewBackend(const OpenGLPixelFormat& format)
{
    EGLDisplay display = GetSurfacelessDisplay(nullptr);
    if (display == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_API))
        return nullptr;

    // The context draws only into its framebuffer object; the configuration
    // still has to offer what the format asks, so a format no renderer can
    // meet fails here as it would on a window.
    const EGLint attribs[] = {EGL_SURFACE_TYPE,   EGL_DONT_CARE,  EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_BUFFER_SIZE,
                              format.colorSize(), EGL_DEPTH_SIZE, format.depthSize(),  EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, attribs, &config, 1, &count) || count == 0)
        return nullptr;
    // The framebuffer's renderbuffers go up to 32 bits of depth and 32 of colour.
    if (format.depthSize() > 32 || format.colorSize() > 32)
        return nullptr;

    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        return nullptr;
    auto backend = std::make_unique<CEGLViewBackend>(display, context, format.depthSize());
    CKeepCurrentEGL keep;
    if (!backend->makeCurrent())
        return nullptr;
    return backend;
}

void ClearCurrentEGLContext()
{
    EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}
