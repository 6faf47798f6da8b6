#include "platform/EGLSupport.h"
#include "platform/OffscreenFramebuffer.h"

#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

namespace {

struct SFboFunctions
{
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;

    template <typename T> static bool _Get(T& function, const char* name)
    {
        function = reinterpret_cast<T>(eglGetProcAddress(name));
        return function != nullptr;
    }

    bool Load()
    {
        if (CheckFramebufferStatus)
            return true;
        return _Get(GenFramebuffers, "glGenFramebuffers") && _Get(DeleteFramebuffers, "glDeleteFramebuffers") &&
               _Get(BindFramebuffer, "glBindFramebuffer") && _Get(GenRenderbuffers, "glGenRenderbuffers") &&
               _Get(DeleteRenderbuffers, "glDeleteRenderbuffers") && _Get(BindRenderbuffer, "glBindRenderbuffer") &&
               _Get(RenderbufferStorage, "glRenderbufferStorage") &&
               _Get(FramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
               _Get(CheckFramebufferStatus, "glCheckFramebufferStatus");
    }
};

SFboFunctions g_Fbo;

GLenum DepthFormat(int bits)
{
    if (bits <= 16)
        return GL_DEPTH_COMPONENT16;
    return bits <= 24 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT32;
}

} // namespace

std::string EglError(const char* what)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04x)", what, eglGetError());
    return text;
}

EGLDisplay GetSurfacelessDisplay(std::string* error)
{
    static std::string s_Error;
    static const EGLDisplay s_Display = [] {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!getPlatformDisplay) {
            s_Error = "EGL has no platform displays (eglGetPlatformDisplayEXT missing)";
            return EGL_NO_DISPLAY;
        }
        EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY) {
            s_Error = "no EGL display on Mesa's surfaceless platform";
            return EGL_NO_DISPLAY;
        }
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) {
            s_Error = EglError("eglInitialize");
            return EGL_NO_DISPLAY;
        }
        return display;
    }();
    if (s_Display == EGL_NO_DISPLAY && error)
        *error = s_Error;
    return s_Display;
}

bool COffscreenFramebuffer::Resize(int width, int height, int depthBits)
{
    if (width < 1 || height < 1 || !g_Fbo.Load())
        return false;
    if (!m_nFbo) {
        g_Fbo.GenFramebuffers(1, &m_nFbo);
        g_Fbo.GenRenderbuffers(1, &m_nColorRb);
    }
    g_Fbo.BindFramebuffer(GL_FRAMEBUFFER, m_nFbo);
    g_Fbo.BindRenderbuffer(GL_RENDERBUFFER, m_nColorRb);
    g_Fbo.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    g_Fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_nColorRb);
    if (depthBits > 0) {
        if (!m_nDepthRb)
            g_Fbo.GenRenderbuffers(1, &m_nDepthRb);
        g_Fbo.BindRenderbuffer(GL_RENDERBUFFER, m_nDepthRb);
        g_Fbo.RenderbufferStorage(GL_RENDERBUFFER, DepthFormat(depthBits), width, height);
        g_Fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_nDepthRb);
    }
    g_Fbo.BindRenderbuffer(GL_RENDERBUFFER, 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    return g_Fbo.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void COffscreenFramebuffer::Bind() const
{
    if (m_nFbo)
        g_Fbo.BindFramebuffer(GL_FRAMEBUFFER, m_nFbo);
}

void COffscreenFramebuffer::Destroy()
{
    if (m_nFbo) {
        g_Fbo.DeleteFramebuffers(1, &m_nFbo);
        g_Fbo.DeleteRenderbuffers(1, &m_nColorRb);
        if (m_nDepthRb)
            g_Fbo.DeleteRenderbuffers(1, &m_nDepthRb);
    }
    m_nFbo = m_nColorRb = m_nDepthRb = 0;
}
