#include "platform/EGLSupport.h"
#include "platform/OffscreenFramebuffer.h"

#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

namespace {

const char* g_pPlatform = "";

bool HasExtension(const char* list, const char* name)
{
    if (list == nullptr)
        return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

EGLDisplay Initialised(EGLDisplay display, std::string& error, const char* platform)
{
    if (display == EGL_NO_DISPLAY)
        return EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        error = std::string(platform) + ": " + EglError("eglInitialize");
        return EGL_NO_DISPLAY;
    }
    g_pPlatform = platform;
    return display;
}

EGLDisplay SurfacelessDisplay(PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay, std::string& error)
{
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!getPlatformDisplay || !HasExtension(client, "EGL_MESA_platform_surfaceless")) {
        error = "EGL has no surfaceless platform";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
        error = "no EGL display on Mesa's surfaceless platform";
    return Initialised(display, error, "surfaceless");
}

// Every device EGL lists, hardware ones first: Mesa adds a software device
// (llvmpipe) that would otherwise stand in for a GPU listed after it.
EGLDisplay DeviceDisplay(PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay, std::string& error, bool allowSoftware)
{
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto queryDeviceString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    if (!getPlatformDisplay || !queryDevices || !queryDeviceString ||
        !HasExtension(client, "EGL_EXT_platform_device")) {
        error = "EGL has no device platform";
        return EGL_NO_DISPLAY;
    }
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices(16, devices, &count) || count <= 0) {
        error = "EGL lists no devices";
        return EGL_NO_DISPLAY;
    }
    for (int software = 0; software < (allowSoftware ? 2 : 1); ++software)
        for (EGLint i = 0; i < count; ++i) {
            const char* extensions = queryDeviceString(devices[i], EGL_EXTENSIONS);
            if (HasExtension(extensions, "EGL_MESA_device_software") != (software == 1))
                continue;
            EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
            if (Initialised(display, error, "device") != EGL_NO_DISPLAY)
                return display;
        }
    if (error.empty())
        error = "no EGL device gives a display";
    return EGL_NO_DISPLAY;
}

// Whether EGL says the display renders on Mesa's software device. Without
// the device query nothing is known, and the display counts as hardware.
bool OnSoftwareDevice(EGLDisplay display)
{
    auto queryDisplay =
        reinterpret_cast<PFNEGLQUERYDISPLAYATTRIBEXTPROC>(eglGetProcAddress("eglQueryDisplayAttribEXT"));
    auto queryDeviceString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    EGLAttrib device = 0;
    if (!queryDisplay || !queryDeviceString || !queryDisplay(display, EGL_DEVICE_EXT, &device) || device == 0)
        return false;
    return HasExtension(queryDeviceString(reinterpret_cast<EGLDeviceEXT>(device), EGL_EXTENSIONS),
                        "EGL_MESA_device_software");
}

EGLDisplay DefaultDisplay(std::string& error)
{
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY)
        error = "no default EGL display";
    return Initialised(display, error, "default");
}

} // namespace

EGLDisplay GetSurfacelessDisplay(std::string* error)
{
    static std::string s_Error;
    static const EGLDisplay s_Display = [] {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        const char* only = std::getenv("VELTRIX_EGL_PLATFORM");
        const std::string forced = only ? only : "";
        std::string why;
        EGLDisplay display = EGL_NO_DISPLAY;
        if (forced.empty() || forced == "surfaceless")
            display = SurfacelessDisplay(getPlatformDisplay, why);
        // Where a vendor-neutral EGL gives the surfaceless platform to Mesa
        // on a machine with another vendor's GPU, Mesa renders in software:
        // a hardware device is then the better choice.
        if (display != EGL_NO_DISPLAY && forced.empty() && OnSoftwareDevice(display)) {
            std::string ignored;
            const EGLDisplay hardware = DeviceDisplay(getPlatformDisplay, ignored, false);
            if (hardware != EGL_NO_DISPLAY)
                display = hardware;
            else
                g_pPlatform = "surfaceless";
        }
        if (display == EGL_NO_DISPLAY && (forced.empty() || forced == "device"))
            display = DeviceDisplay(getPlatformDisplay, why, true);
        if (display == EGL_NO_DISPLAY && (forced.empty() || forced == "default"))
            display = DefaultDisplay(why);
        if (display == EGL_NO_DISPLAY)
            s_Error = forced.empty() || forced == "surfaceless" || forced == "device" || forced == "default"
                          ? why
                          : "VELTRIX_EGL_PLATFORM must be surfaceless, device or default, not " + forced;
        return display;
    }();
    if (s_Display == EGL_NO_DISPLAY && error)
        *error = s_Error;
    return s_Display;
}

const char* HeadlessPlatformName()
{
    return g_pPlatform;
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
