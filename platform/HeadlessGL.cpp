#include "platform/HeadlessGL.h"

#include "platform/EGLSupport.h"

#include <GL/gl.h>

CHeadlessGL::CHeadlessGL()
    : m_pDisplay(nullptr)
    , m_pContext(nullptr)
    , m_pSurface(nullptr)
    , m_nWidth(0)
    , m_nHeight(0)
{}

CHeadlessGL::~CHeadlessGL()
{
    Destroy();
}

bool CHeadlessGL::_Fail(const std::string& why)
{
    m_Error = why;
    Destroy();
    return false;
}

bool CHeadlessGL::Create(int width, int height, bool allowPbuffer)
{
    Destroy();
    m_Error.clear();
    if (width <= 0 || height <= 0)
        return _Fail("the picture size must be positive");

    std::string error;
    EGLDisplay display = GetSurfacelessDisplay(&error);
    if (display == EGL_NO_DISPLAY)
        return _Fail(error);
    m_pDisplay = display;

    if (!eglBindAPI(EGL_OPENGL_API))
        return _Fail(EglError("eglBindAPI(OpenGL)"));

    // A pbuffer first; some surfaceless drivers offer only contexts without surfaces.
    const EGLint pbufferAttribs[] = {EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_ALPHA_SIZE,
                                     8,
                                     EGL_DEPTH_SIZE,
                                     16,
                                     EGL_NONE};
    const EGLint anyAttribs[] = {EGL_SURFACE_TYPE, EGL_DONT_CARE, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    bool pbuffer = allowPbuffer && eglChooseConfig(display, pbufferAttribs, &config, 1, &count) && count > 0;
    if (!pbuffer) {
        count = 0;
        if (!eglChooseConfig(display, anyAttribs, &config, 1, &count) || count == 0)
            return _Fail("no EGL configuration for desktop OpenGL");
    }

    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        return _Fail(EglError("eglCreateContext"));
    m_pContext = context;

    if (pbuffer) {
        const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttribs);
        if (surface != EGL_NO_SURFACE)
            m_pSurface = surface;
    }
    m_nWidth = width;
    m_nHeight = height;
    if (!MakeCurrent())
        return _Fail(EglError("eglMakeCurrent"));

    if (!m_pSurface && !m_Fbo.Resize(width, height, 16))
        return _Fail("the offscreen framebuffer is incomplete (or the driver has no framebuffer objects)");
    glViewport(0, 0, width, height);
    return true;
}

void CHeadlessGL::Destroy()
{
    EGLDisplay display = m_pDisplay;
    if (display && m_pContext && m_Fbo.Exists() && MakeCurrent())
        m_Fbo.Destroy();
    if (display) {
        if (eglGetCurrentContext() == m_pContext)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (m_pSurface)
            eglDestroySurface(display, m_pSurface);
        if (m_pContext)
            eglDestroyContext(display, m_pContext);
    }
    m_pDisplay = nullptr;
    m_pContext = nullptr;
    m_pSurface = nullptr;
    m_nWidth = m_nHeight = 0;
}

bool CHeadlessGL::MakeCurrent()
{
    if (!m_pDisplay || !m_pContext)
        return false;
    EGLSurface surface = m_pSurface ? m_pSurface : EGL_NO_SURFACE;
    if (!eglMakeCurrent(m_pDisplay, surface, surface, m_pContext))
        return false;
    m_Fbo.Bind();
    return true;
}

void CHeadlessGL::ReleaseCurrent()
{
    EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

bool CHeadlessGL::ReadPixels(std::vector<unsigned char>& rgba) const
{
    if (!m_pContext || eglGetCurrentContext() != m_pContext)
        return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    const size_t row = static_cast<size_t>(m_nWidth) * 4;
    rgba.resize(row * static_cast<size_t>(m_nHeight));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m_nWidth, m_nHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    // OpenGL's rows run bottom-up; pictures on disk run top-down.
    for (int top = 0, bottom = m_nHeight - 1; top < bottom; ++top, --bottom) {
        unsigned char* a = rgba.data() + row * static_cast<size_t>(top);
        unsigned char* b = rgba.data() + row * static_cast<size_t>(bottom);
        for (size_t i = 0; i < row; ++i) {
            const unsigned char t = a[i];
            a[i] = b[i];
            b[i] = t;
        }
    }
    return glGetError() == GL_NO_ERROR;
}
