#include "platform/ScaledFrame.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>
#include <string_view>

struct CScaledFrame::SFunctions
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
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
};

namespace {

// Loaded once per process: the entry points are the same for every context
// of a driver, and every view of a run uses the same one.
CScaledFrame::SFunctions g_Functions;
bool g_bLoaded = false;

bool HasExtension(std::string_view name)
{
    const GLubyte* list = glGetString(GL_EXTENSIONS);
    if (!list)
        return false;
    const std::string_view all(reinterpret_cast<const char*>(list));
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find(' ', start);
        if (end == std::string_view::npos)
            end = all.size();
        if (all.substr(start, end - start) == name)
            return true;
        start = end + 1;
    }
    return false;
}

int MajorVersion()
{
    const GLubyte* version = glGetString(GL_VERSION);
    return version ? std::atoi(reinterpret_cast<const char*>(version)) : 0;
}

template <typename T> bool Get(CScaledFrame::ProcAddress resolve, const void* owner, T& function, const char* name)
{
    function = reinterpret_cast<T>(resolve(owner, name));
    return function != nullptr;
}

GLenum DepthFormat(int bits)
{
    if (bits <= 16)
        return GL_DEPTH_COMPONENT16;
    return bits <= 24 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT32;
}

void SetLodBias(float bias)
{
    glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, bias);
}

} // namespace

bool CScaledFrame::Load(ProcAddress resolve, const void* owner, std::string& why)
{
    if (m_pGL)
        return true;
    if (MajorVersion() < 3 && !HasExtension("GL_ARB_framebuffer_object")) {
        const GLubyte* version = glGetString(GL_VERSION);
        why = std::string("the driver has no framebuffer objects and blits (OpenGL ") +
              (version ? reinterpret_cast<const char*>(version) : "unknown") + ", no GL_ARB_framebuffer_object)";
        return false;
    }
    if (!g_bLoaded) {
        SFunctions& f = g_Functions;
        g_bLoaded = Get(resolve, owner, f.GenFramebuffers, "glGenFramebuffers") &&
                    Get(resolve, owner, f.DeleteFramebuffers, "glDeleteFramebuffers") &&
                    Get(resolve, owner, f.BindFramebuffer, "glBindFramebuffer") &&
                    Get(resolve, owner, f.GenRenderbuffers, "glGenRenderbuffers") &&
                    Get(resolve, owner, f.DeleteRenderbuffers, "glDeleteRenderbuffers") &&
                    Get(resolve, owner, f.BindRenderbuffer, "glBindRenderbuffer") &&
                    Get(resolve, owner, f.RenderbufferStorage, "glRenderbufferStorage") &&
                    Get(resolve, owner, f.FramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                    Get(resolve, owner, f.CheckFramebufferStatus, "glCheckFramebufferStatus") &&
                    Get(resolve, owner, f.BlitFramebuffer, "glBlitFramebuffer");
        if (!g_bLoaded) {
            why = "the driver does not give the framebuffer functions it announces";
            return false;
        }
    }
    m_pGL = &g_Functions;
    return true;
}

bool CScaledFrame::Begin(int width, int height, int depthBits, double scale)
{
    if (!m_pGL || width < 1 || height < 1)
        return false;
    const SFunctions& gl = *m_pGL;
    if (!m_nFbo) {
        gl.GenFramebuffers(1, &m_nFbo);
        gl.GenRenderbuffers(1, &m_nColorRb);
        gl.GenRenderbuffers(1, &m_nDepthRb);
        m_nWidth = m_nHeight = 0;
    }
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_nFbo);
    if (width != m_nWidth || height != m_nHeight) {
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_nColorRb);
        gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_nColorRb);
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_nDepthRb);
        gl.RenderbufferStorage(GL_RENDERBUFFER, DepthFormat(depthBits), width, height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_nDepthRb);
        gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
        if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
            return false;
        }
        m_nWidth = width;
        m_nHeight = height;
    }
    // A texture level per halving of the frame's side: what would read level
    // n in the window reads level n here as well.
    SetLodBias(static_cast<float>(std::log2(scale)));
    return true;
}

void CScaledFrame::Present(unsigned int windowFramebuffer, int windowWidth, int windowHeight)
{
    if (!m_nFbo || m_nWidth < 1)
        return;
    const SFunctions& gl = *m_pGL;
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_nFbo);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, windowFramebuffer);
    // A scissor the scene left on would clip the blit as well.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor)
        glDisable(GL_SCISSOR_TEST);
    gl.BlitFramebuffer(0, 0, m_nWidth, m_nHeight, 0, 0, windowWidth, windowHeight, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
    gl.BindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
}

void CScaledFrame::End(unsigned int windowFramebuffer)
{
    if (!m_nFbo)
        return;
    const SFunctions& gl = *m_pGL;
    gl.BindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
    gl.DeleteFramebuffers(1, &m_nFbo);
    gl.DeleteRenderbuffers(1, &m_nColorRb);
    gl.DeleteRenderbuffers(1, &m_nDepthRb);
    m_nFbo = m_nColorRb = m_nDepthRb = 0;
    m_nWidth = m_nHeight = 0;
    SetLodBias(0.0f);
}
