#include "host/x11/XHost.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Xlib's handlers are process-wide, so what they record is too.
unsigned long g_nXErrors = 0; // X errors seen so far

int OnXError(Display*, XErrorEvent*)
{
    ++g_nXErrors;
    return 0;
}

int OnXIOError(Display*)
{
    LeaveLostServer("veltrix: lost the X server\n");
}

void OnXIOErrorExit(Display*, void*)
{
    LeaveLostServer("veltrix: lost the X server\n");
}

void* Owner(Window window)
{
    return reinterpret_cast<void*>(window);
}

} // namespace

Window CXHost::CreateTopWindow(int width, int height, long eventMask, Atom& deleteWindow)
{
    XSetWindowAttributes attributes = {};
    attributes.background_pixel = BlackPixel(m_pDisplay, DefaultScreen(m_pDisplay));
    attributes.event_mask = eventMask;
    const Window window =
        XCreateWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), 0, 0, width, height, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    XStoreName(m_pDisplay, window, "Veltrix");
    XClassHint hint = {const_cast<char*>("veltrix"), const_cast<char*>("Veltrix")};
    XSetClassHint(m_pDisplay, window, &hint);
    deleteWindow = XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(m_pDisplay, window, &deleteWindow, 1);
    return window;
}

bool CXHost::Open(std::string& error)
{
    if (!InstallQuitSignals()) {
        error = "cannot set up signal handling";
        return false;
    }
    m_pDisplay = XOpenDisplay(nullptr);
    if (!m_pDisplay) {
        const char* name = XDisplayName(nullptr);
        error = name && *name ? "cannot open display '" + std::string(name) + "'"
                              : std::string("cannot open display (DISPLAY is not set)");
        // Without a display the user most likely wants the recording mode.
        error += "; --headless records without one";
        return false;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    XSetIOErrorExitHandler(m_pDisplay, OnXIOErrorExit, nullptr);
    return true;
}

CXHost::~CXHost()
{
    _DestroyViews();
#if defined(__SANITIZE_ADDRESS__)
    // Closing the display unloads Mesa's driver, and what it keeps would then
    // show as leaks from a nameless module that no suppression can name; so
    // sanitizer builds check here, views gone, driver still loaded.
    __lsan_do_leak_check();
#endif
    if (m_pDisplay)
        XCloseDisplay(m_pDisplay);
    RestoreQuitSignals();
}

void CXHost::Watch(Window window)
{
    XWindowAttributes attributes;
    long mask = StructureNotifyMask;
    if (XGetWindowAttributes(m_pDisplay, window, &attributes))
        mask |= attributes.your_event_mask;
    XSelectInput(m_pDisplay, window, mask);
    m_Watched.push_back(window);
}

SSaverView* CXHost::AddView(const SSaverModule& module, Window window, double x, double y, int width, int height,
                            bool preview)
{
    const SSaverTarget target = {SAVER_TARGET_X11_WINDOW, m_pDisplay, window, nullptr};
    SSaverView* view = m_Loop.AddView(module, target, x, y, width, height, preview, Owner(window));
    if (!view)
        return nullptr;
    XWindowAttributes attributes;
    bool seen = true;
    long mask = StructureNotifyMask | VisibilityChangeMask;
    if (XGetWindowAttributes(m_pDisplay, window, &attributes)) {
        mask |= attributes.your_event_mask;
        // Covered or not, the server says only when that changes; mapping it
        // later brings the first word.
        seen = attributes.map_state == IsViewable;
    }
    XSelectInput(m_pDisplay, window, mask);
    m_Views.push_back({window, seen});
    return view;
}

void CXHost::RemoveView(Window window)
{
    if (SSaverView* view = m_Loop.ViewOf(Owner(window)))
        m_Loop.RemoveView(view);
    m_Views.erase(std::remove_if(m_Views.begin(), m_Views.end(), [&](const SXView& v) { return v.m_Window == window; }),
                  m_Views.end());
}

void CXHost::_SetSeen(Window window, bool seen)
{
    for (SXView& v : m_Views) {
        if (v.m_Window != window || v.m_bSeen == seen)
            continue;
        v.m_bSeen = seen;
        m_bSightRegained = m_bSightRegained || seen;
        if (m_bVerbose)
            std::fprintf(stderr,
                         seen ? "veltrix: window 0x%lx in sight again after %ld frames\n"
                              : "veltrix: window 0x%lx out of sight after %ld frames: not drawn until it shows\n",
                         v.m_Window, m_Loop.FramesOf(Owner(window)));
    }
}

bool CXHost::Seen(void* owner)
{
    for (const SXView& v : m_Views) {
        if (Owner(v.m_Window) == owner)
            return v.m_bSeen;
    }
    return false;
}

bool CXHost::TakeSightRegained()
{
    const bool regained = m_bSightRegained;
    m_bSightRegained = false;
    return regained;
}

void CXHost::Resize(Window window, int width, int height)
{
    if (SSaverView* view = m_Loop.ViewOf(Owner(window)))
        m_Loop.Resize(view, width, height);
}

namespace {

std::string WindowName(void* owner)
{
    char text[40];
    std::snprintf(text, sizeof text, "window 0x%lx", reinterpret_cast<unsigned long>(owner));
    return text;
}

} // namespace

EQuit CXHost::Run(const std::function<void(const XEvent&)>& onEvent, bool verbose)
{
    m_bVerbose = verbose;
    m_pOnEvent = &onEvent;
    m_bSynced = false;
    const EQuit why = m_Loop.Run(*this, verbose, WindowName);
    m_pOnEvent = nullptr;
    _DestroyViews();
    return why;
}

void CXHost::BeforeWait()
{
    while (m_Loop.QuitReason() == EQuit::Running && XPending(m_pDisplay)) {
        XEvent event;
        XNextEvent(m_pDisplay, &event);
        _HandleEvent(event);
    }
    if (m_Loop.QuitReason() == EQuit::Running && _WatchedWindowGone())
        m_Loop.Quit(EQuit::WindowGone);
}

// The first frames are waited for, so that the time they took is the time
// until they were on the screen.
void CXHost::AfterFrames()
{
    if (!m_bSynced)
        XSync(m_pDisplay, False);
    m_bSynced = true;
}

void CXHost::_HandleEvent(const XEvent& event)
{
    if (event.type == DestroyNotify &&
        std::find(m_Watched.begin(), m_Watched.end(), event.xdestroywindow.window) != m_Watched.end())
        m_Loop.Quit(EQuit::WindowGone);
    else if (event.type == ConfigureNotify)
        Resize(event.xconfigure.window, event.xconfigure.width, event.xconfigure.height);
    else if (event.type == UnmapNotify)
        _SetSeen(event.xunmap.window, false);
    else if (event.type == VisibilityNotify)
        _SetSeen(event.xvisibility.window, event.xvisibility.state != VisibilityFullyObscured);
    if (m_pOnEvent && *m_pOnEvent)
        (*m_pOnEvent)(event);
}

// Xlib reports errors, not which of them means our window is gone (a
// BadWindow on it, or the GL view's failing on its child window), so after
// any error the watched windows are asked whether they still exist.
bool CXHost::_WatchedWindowGone()
{
    if (g_nXErrors == m_nErrorsChecked)
        return false;
    bool gone = false;
    for (Window w : m_Watched) {
        XWindowAttributes attributes;
        gone = gone || !XGetWindowAttributes(m_pDisplay, w, &attributes);
    }
    m_nErrorsChecked = g_nXErrors;
    return gone;
}

void CXHost::_DestroyViews()
{
    m_Loop.DestroyViews();
    m_Views.clear();
    if (m_pDisplay)
        XSync(m_pDisplay, False);
}
