#include "host/XHost.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <unistd.h>

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
    m_pModule = &module;
    const SSaverTarget target = {SAVER_TARGET_X11_WINDOW, m_pDisplay, window, nullptr};
    SSaverView* view = module.create(&target, x, y, width, height, preview ? 1 : 0);
    if (!view)
        return nullptr;
    module.set_frame_size(view, width, height);
    m_Views.push_back({view, window, width, height});
    return view;
}

void CXHost::Resize(Window window, int width, int height)
{
    for (SHostedView& v : m_Views) {
        if (v.m_Window == window && (v.m_nWidth != width || v.m_nHeight != height)) {
            v.m_nWidth = width;
            v.m_nHeight = height;
            m_pModule->set_frame_size(v.m_pView, width, height);
        }
    }
}

EQuit CXHost::Run(const std::function<void(const XEvent&)>& onEvent, bool verbose)
{
    m_bStarted = true;
    for (SHostedView& v : m_Views)
        m_pModule->start(v.m_pView);
    XSync(m_pDisplay, False);
    if (verbose)
        std::fprintf(stderr, "veltrix: first frames presented %.3f s after the process started (%.2f s of CPU)\n",
                     SecondsSinceProcessStart(), ProcessCpuSeconds());

    double interval = 1.0 / 30.0;
    if (!m_Views.empty() && m_pModule->animation_interval(m_Views.front().m_pView) > 0.0)
        interval = m_pModule->animation_interval(m_Views.front().m_pView);
    double deadline = MonotonicSeconds() + interval;
    pollfd fds[2] = {{ConnectionNumber(m_pDisplay), POLLIN, 0}, {QuitSignalFd(), POLLIN, 0}};
    CFrameStats stats;

    while (m_Quit == EQuit::Running) {
        while (m_Quit == EQuit::Running && XPending(m_pDisplay)) {
            XEvent event;
            XNextEvent(m_pDisplay, &event);
            _HandleEvent(event, onEvent);
        }
        if (m_Quit == EQuit::Running && _WatchedWindowGone())
            m_Quit = EQuit::WindowGone;
        if (m_Quit != EQuit::Running)
            break;

        const double wait = std::max(0.0, deadline - MonotonicSeconds());
        timespec timeout = {static_cast<time_t>(wait), static_cast<long>((wait - static_cast<time_t>(wait)) * 1e9)};
        if (ppoll(fds, 2, &timeout, nullptr) > 0 && (fds[1].revents & POLLIN)) {
            m_Quit = EQuit::Signal;
            break;
        }
        const double now = MonotonicSeconds();
        if (now >= deadline) {
            for (SHostedView& v : m_Views)
                m_pModule->animate(v.m_pView);
            stats.Add(now, MonotonicSeconds() - now);
            deadline = NextDeadline(deadline, now, interval);
        }
    }
    if (verbose)
        std::fprintf(stderr, "veltrix: %s\n", stats.Summary().c_str());
    _DestroyViews();
    return m_Quit;
}

void CXHost::_HandleEvent(const XEvent& event, const std::function<void(const XEvent&)>& onEvent)
{
    if (event.type == DestroyNotify &&
        std::find(m_Watched.begin(), m_Watched.end(), event.xdestroywindow.window) != m_Watched.end())
        m_Quit = EQuit::WindowGone;
    else if (event.type == ConfigureNotify)
        Resize(event.xconfigure.window, event.xconfigure.width, event.xconfigure.height);
    if (onEvent)
        onEvent(event);
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
    if (!m_pModule)
        return;
    // Every view stops before any is destroyed, so the music (which plays
    // through the main view) ends first and at once.
    if (m_bStarted) {
        for (SHostedView& v : m_Views)
            m_pModule->stop(v.m_pView);
    }
    for (SHostedView& v : m_Views)
        m_pModule->destroy(v.m_pView);
    m_Views.clear();
    m_bStarted = false;
    if (m_pDisplay)
        XSync(m_pDisplay, False);
}
