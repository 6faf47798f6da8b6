// The OpenGL view on X: a child window of the target window, made with the
// visual of the GLX configuration chosen for the pixel format, and a direct
// GLX context drawing into it. The host owns the X connection and its error
// handler; nothing here waits on the server while frames are drawn, so a
// parent destroyed under us only produces errors the host's handler drops.
#include "platform/OpenGLViewBackend.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <string_view>

namespace {

bool HasExtension(const char* extensions, std::string_view name)
{
    if (!extensions)
        return false;
    std::string_view list(extensions);
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(' ', start);
        if (end == std::string_view::npos)
            end = list.size();
        if (list.substr(start, end - start) == name)
            return true;
        start = end + 1;
    }
    return false;
}

class CGLXViewBackend final : public OpenGLViewBackend
{
public:
    CGLXViewBackend(Display* display, Window parent, bool parentIsRoot, int screen, XVisualInfo* visual,
                    GLXContext context)
        : m_pDisplay(display)
        , m_Parent(parent)
        , m_bOnRoot(parentIsRoot)
        , m_nScreen(screen)
        , m_pVisual(visual)
        , m_Context(context)
    {}

    ~CGLXViewBackend() override
    {
        detach();
        if (glXGetCurrentContext() == m_Context)
            glXMakeCurrent(m_pDisplay, None, nullptr);
        glXDestroyContext(m_pDisplay, m_Context);
        XFree(m_pVisual);
        XFlush(m_pDisplay);
    }

    void attach() override
    {
        if (m_Window)
            return;
        m_Colormap = XCreateColormap(m_pDisplay, m_Parent, m_pVisual->visual, AllocNone);
        XSetWindowAttributes attributes{};
        attributes.colormap = m_Colormap;
        // Black (pixel 0 of a true-colour visual) until the first frame, which
        // comes only once the scene and its music are loaded; without a
        // background the window would show whatever was on the screen.
        attributes.background_pixel = 0;
        attributes.border_pixel = 0;
        attributes.event_mask = 0; // input goes on to the parent, where the host listens
        // On the root, a child is a top-level window: window managers must
        // leave it alone, and it lies under every other window, as drawing on
        // the root itself would.
        attributes.override_redirect = m_bOnRoot ? True : False;
        m_Window =
            XCreateWindow(m_pDisplay, m_Parent, 0, 0, _Side(m_nWidth), _Side(m_nHeight), 0, m_pVisual->depth,
                          InputOutput, m_pVisual->visual,
                          CWColormap | CWBackPixel | CWBorderPixel | CWEventMask | CWOverrideRedirect, &attributes);
        if (m_bOnRoot)
            XLowerWindow(m_pDisplay, m_Window);
        m_bMapped = false;
        _UpdateMapping();
        if (m_nSwapInterval >= 0)
            _ApplySwapInterval();
        XFlush(m_pDisplay);
    }

    void detach() override
    {
        if (!m_Window)
            return;
        if (glXGetCurrentContext() == m_Context)
            glXMakeCurrent(m_pDisplay, None, nullptr);
        XDestroyWindow(m_pDisplay, m_Window);
        XFreeColormap(m_pDisplay, m_Colormap);
        XFlush(m_pDisplay);
        m_Window = 0;
        m_Colormap = 0;
    }

    void resize(int width, int height) override
    {
        m_nWidth = width;
        m_nHeight = height;
        if (!m_Window)
            return;
        XResizeWindow(m_pDisplay, m_Window, _Side(width), _Side(height));
        _UpdateMapping();
    }

    void setHidden(bool hidden) override
    {
        m_bHidden = hidden;
        if (m_Window)
            _UpdateMapping();
    }

    bool makeCurrent() override
    {
        if (!m_Window)
            return false;
        if (glXGetCurrentContext() == m_Context && glXGetCurrentDrawable() == m_Window)
            return true;
        return glXMakeCurrent(m_pDisplay, m_Window, m_Context);
    }

    void setSwapInterval(int interval) override
    {
        m_nSwapInterval = std::max(interval, 0);
        if (m_Window)
            _ApplySwapInterval();
    }

    void update() override {} // the driver follows the window's size at the next frame

    void present() override
    {
        if (m_Window)
            glXSwapBuffers(m_pDisplay, m_Window);
    }

    void* procAddress(const char* name) const override
    {
        return reinterpret_cast<void*>(glXGetProcAddress(reinterpret_cast<const GLubyte*>(name)));
    }

private:
    static unsigned int _Side(int side) { return static_cast<unsigned int>(std::max(side, 1)); }

    // A window cannot be 0 x 0: a view of zero size keeps a 1 x 1 window, unmapped.
    void _UpdateMapping()
    {
        const bool show = !m_bHidden && m_nWidth > 0 && m_nHeight > 0;
        if (show && !m_bMapped)
            XMapWindow(m_pDisplay, m_Window);
        else if (!show && m_bMapped)
            XUnmapWindow(m_pDisplay, m_Window);
        m_bMapped = show;
    }

    void _ApplySwapInterval()
    {
        const char* extensions = glXQueryExtensionsString(m_pDisplay, m_nScreen);
        if (HasExtension(extensions, "GLX_EXT_swap_control")) {
            auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(
                glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
            if (swapInterval)
                swapInterval(m_pDisplay, m_Window, m_nSwapInterval);
        } else if (HasExtension(extensions, "GLX_MESA_swap_control")) {
            // This one sets the interval of the current drawable only.
            auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(
                glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
            if (swapInterval && makeCurrent())
                swapInterval(static_cast<unsigned int>(m_nSwapInterval));
        }
    }

    Display* m_pDisplay;
    Window m_Parent;
    bool m_bOnRoot;
    int m_nScreen;
    XVisualInfo* m_pVisual; // ours, XFree'd
    GLXContext m_Context;
    Window m_Window = 0;
    Colormap m_Colormap = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nSwapInterval = -1; // -1: never set
    bool m_bHidden = false;
    bool m_bMapped = false;
};

// The configuration whose visual can sit inside the parent (same depth, so the
// parent's picture includes ours) with the smallest depth buffer that meets
// the format; the visual comes back with it, for the caller to XFree.
GLXFBConfig ChooseConfig(Display* display, int screen, const OpenGLPixelFormat& format, int parentDepth,
                         XVisualInfo** chosenVisual)
{
    const int attributes[] = {GLX_X_RENDERABLE,
                              True,
                              GLX_DRAWABLE_TYPE,
                              GLX_WINDOW_BIT,
                              GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_DOUBLEBUFFER,
                              format.doubleBuffer() ? True : static_cast<int>(GLX_DONT_CARE),
                              GLX_BUFFER_SIZE,
                              format.colorSize(),
                              GLX_DEPTH_SIZE,
                              format.depthSize(),
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
    if (!configs)
        return nullptr;
    GLXFBConfig best = nullptr;
    XVisualInfo* bestVisual = nullptr;
    int bestDepthBits = 0;
    bool bestFits = false;
    for (int i = 0; i < count; ++i) {
        XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
        if (!visual)
            continue;
        int depthBits = 0;
        glXGetFBConfigAttrib(display, configs[i], GLX_DEPTH_SIZE, &depthBits);
        const bool fits = visual->depth == parentDepth;
        if (!best || (fits && !bestFits) || (fits == bestFits && depthBits < bestDepthBits)) {
            if (bestVisual)
                XFree(bestVisual);
            best = configs[i];
            bestVisual = visual;
            bestDepthBits = depthBits;
            bestFits = fits;
        } else {
            XFree(visual);
        }
    }
    XFree(configs);
    *chosenVisual = bestVisual;
    return best;
}

} // namespace

std::unique_ptr<OpenGLViewBackend> CreateGLXViewBackend(const OpenGLPixelFormat& format, const SSaverTarget& target)
{
    auto* display = static_cast<Display*>(target.display);
    const Window parent = target.window;
    if (!display || !parent)
        return nullptr;
    // The one round trip: it tells whether the window exists at all (a
    // missing one gives 0 here and an error to the host's handler) and on
    // which screen and at what depth our child must be made.
    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(display, parent, &parentAttributes) || !parentAttributes.screen)
        return nullptr;
    const int screen = XScreenNumberOfScreen(parentAttributes.screen);
    int errorBase = 0, eventBase = 0;
    if (!glXQueryExtension(display, &errorBase, &eventBase))
        return nullptr;

    XVisualInfo* visual = nullptr;
    GLXFBConfig config = ChooseConfig(display, screen, format, parentAttributes.depth, &visual);
    if (!config)
        return nullptr;
    GLXContext context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
    if (!context) {
        XFree(visual);
        return nullptr;
    }
    return std::make_unique<CGLXViewBackend>(display, parent, parent == parentAttributes.root, screen, visual, context);
}

void ClearCurrentGLXContext(void* display)
{
    if (!glXGetCurrentContext())
        return;
    Display* current = display ? static_cast<Display*>(display) : glXGetCurrentDisplay();
    if (current)
        glXMakeCurrent(current, None, nullptr);
}
