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

// Handlers of Xlib and of signals are process-wide, so what they record is too.
unsigned long g_nXErrors = 0; // X errors seen so far
int g_SignalPipe[2] = {-1, -1}; // written by the signal handlers, read by the loop
void (*g_pLostServerCleanup)() = nullptr;

constexpr double TimerSlack = 0.002; // seconds a wake-up may lag its deadline and still be on time
constexpr int QuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

int OnXError(Display*, XErrorEvent*)
{
    ++g_nXErrors;
    return 0;
}

[[noreturn]] void LeaveLostServer()
{
    if (g_pLostServerCleanup)
        g_pLostServerCleanup();
    static const char line[] = "veltrix: lost the X server\n";
    const ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
    (void)written;
    // Not exit(): the module's threads and its exit-time destructors would
    // still talk to a server that is gone.
    _exit(1);
}

int OnXIOError(Display*)
{
    LeaveLostServer();
}

void OnXIOErrorExit(Display*, void*)
{
    LeaveLostServer();
}

void OnQuitSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    const ssize_t written = write(g_SignalPipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

bool InstallSignalHandlers()
{
    if (g_SignalPipe[0] < 0 && pipe2(g_SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s : QuitSignals)
        sigaction(s, &action, nullptr);
    return true;
}

void RestoreSignalHandlers()
{
    for (int s : QuitSignals)
        signal(s, SIG_DFL);
}

} // namespace

void SetLostServerCleanup(void (*cleanup)())
{
    g_pLostServerCleanup = cleanup;
}

double MonotonicSeconds()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double NextDeadline(double deadline, double firedAt, double interval)
{
    if (firedAt - deadline <= TimerSlack)
        return deadline + interval;
    return firedAt + interval;
}

bool DrawsThisTick(bool seen, bool mainScreen, bool anySeen)
{
    return seen || (mainScreen && anySeen);
}

void CPointerWatch::Start(int x, int y)
{
    m_nX = x;
    m_nY = y;
}

bool CPointerWatch::Ends(int x, int y, double sinceShown)
{
    if (sinceShown < SettleSeconds) {
        m_nX = x;
        m_nY = y;
        return false;
    }
    return std::abs(x - m_nX) + std::abs(y - m_nY) > QuitDistance;
}

namespace {

// A numbered field of /proc/self/stat in seconds (the kernel counts clock
// ticks); 0 when it cannot be read.
double ProcessStatSeconds(int wanted)
{
    std::ifstream in("/proc/self/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0.0;
    // Fields after the command name start with the third.
    const char* p = stat.c_str() + close + 1;
    for (int field = 3; field < wanted && *p; ++field) {
        p = std::strchr(p + 1, ' ');
        if (!p)
            return 0.0;
    }
    return std::strtod(p, nullptr) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

double SecondsSinceProcessStart()
{
    const double started = ProcessStatSeconds(22); // after boot
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9 - started;
}

double ProcessCpuSeconds()
{
    return ProcessStatSeconds(14) + ProcessStatSeconds(15); // user and system time, every thread
}

void CFrameStats::Add(double firedAt, double seconds)
{
    if (m_nFrames == 0)
        m_dFirst = firedAt;
    m_dLast = firedAt;
    ++m_nFrames;
    m_Recent[m_nFrames % m_Recent.size()] = seconds;
}

std::string CFrameStats::Summary() const
{
    if (m_nFrames < 2)
        return std::to_string(m_nFrames) + " frames";
    std::vector<double> recent(m_Recent.begin(), m_Recent.begin() + std::min<long>(m_nFrames, m_Recent.size()));
    std::nth_element(recent.begin(), recent.begin() + recent.size() / 2, recent.end());
    char line[160];
    std::snprintf(line, sizeof line, "%ld frames at %.1f a second, frame median %.1f ms (last %zu frames)", m_nFrames,
                  static_cast<double>(m_nFrames - 1) / (m_dLast - m_dFirst), recent[recent.size() / 2] * 1000.0,
                  recent.size());
    return line;
}

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
    if (!InstallSignalHandlers()) {
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
    RestoreSignalHandlers();
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
    const SSaverTarget target = {m_pDisplay, window};
    SSaverView* view = module.create(&target, x, y, width, height, preview ? 1 : 0);
    if (!view)
        return nullptr;
    module.set_frame_size(view, width, height);
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
    m_Views.push_back({view, window, width, height, seen, 0});
    return view;
}

void CXHost::_SetSeen(Window window, bool seen)
{
    for (SHostedView& v : m_Views) {
        if (v.m_Window != window || v.m_bSeen == seen)
            continue;
        v.m_bSeen = seen;
        m_bSightRegained = m_bSightRegained || seen;
        if (m_bVerbose)
            std::fprintf(stderr,
                         seen ? "veltrix: window 0x%lx in sight again after %ld frames\n"
                              : "veltrix: window 0x%lx out of sight after %ld frames: not drawn until it shows\n",
                         v.m_Window, v.m_nFrames);
    }
}

bool CXHost::_AnySeen() const
{
    return std::any_of(m_Views.begin(), m_Views.end(), [](const SHostedView& v) { return v.m_bSeen; });
}

bool CXHost::_AnimateTick()
{
    const bool anySeen = _AnySeen();
    bool drawn = false;
    for (SHostedView& v : m_Views) {
        if (!DrawsThisTick(v.m_bSeen, m_pModule->is_main_screen(v.m_pView) != 0, anySeen))
            continue;
        m_pModule->animate(v.m_pView);
        ++v.m_nFrames;
        drawn = true;
    }
    return drawn;
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
    m_bVerbose = verbose;
    for (SHostedView& v : m_Views)
        m_pModule->start(v.m_pView);
    XSync(m_pDisplay, False);
    if (verbose)
        std::fprintf(stderr, "veltrix: first frames presented %.3f s after the process started (%.2f s of CPU)\n",
                     SecondsSinceProcessStart(), ProcessCpuSeconds());
    m_dFirstFrames = MonotonicSeconds();

    double interval = 1.0 / 30.0;
    if (!m_Views.empty() && m_pModule->animation_interval(m_Views.front().m_pView) > 0.0)
        interval = m_pModule->animation_interval(m_Views.front().m_pView);
    double deadline = MonotonicSeconds() + interval;
    pollfd fds[2] = {{ConnectionNumber(m_pDisplay), POLLIN, 0}, {g_SignalPipe[0], POLLIN, 0}};
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

        if (m_bSightRegained) {
            m_bSightRegained = false;
            deadline = MonotonicSeconds();
        }
        // With nothing in sight there is nothing to time: only an event can change that.
        const bool timed = _AnySeen();
        const double wait = std::max(0.0, deadline - MonotonicSeconds());
        timespec timeout = {static_cast<time_t>(wait), static_cast<long>((wait - static_cast<time_t>(wait)) * 1e9)};
        if (ppoll(fds, 2, timed ? &timeout : nullptr, nullptr) > 0 && (fds[1].revents & POLLIN)) {
            m_Quit = EQuit::Signal;
            break;
        }
        const double now = MonotonicSeconds();
        if (timed && now >= deadline) {
            if (_AnimateTick())
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
    else if (event.type == UnmapNotify)
        _SetSeen(event.xunmap.window, false);
    else if (event.type == VisibilityNotify)
        _SetSeen(event.xvisibility.window, event.xvisibility.state != VisibilityFullyObscured);
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
