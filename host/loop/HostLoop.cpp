#include "host/loop/HostLoop.h"

#include "host/app/RunSettings.h"
#include "host/loop/FramePacing.h"
#include "host/loop/RenderScale.h"
#include "platform/PowerWatcher.h"

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

namespace {

// Signal handlers are process-wide, so what they share is too.
int g_SignalPipe[2] = {-1, -1}; // written by the signal handlers, read by the loop
void (*g_pLostServerCleanup)() = nullptr;

constexpr double TimerSlack = 0.002; // seconds a wake-up may lag its deadline and still be on time
constexpr int QuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int ReportSignal = SIGUSR1; // --verbose: what every view drew so far

void OnQuitSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    const ssize_t written = write(g_SignalPipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

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

void SetLostServerCleanup(void (*cleanup)())
{
    g_pLostServerCleanup = cleanup;
}

void LeaveLostServer(const char* line)
{
    static bool leaving = false;
    if (g_pLostServerCleanup && !leaving) {
        leaving = true;
        g_pLostServerCleanup();
    }
    const ssize_t written = write(STDERR_FILENO, line, std::strlen(line));
    (void)written;
    _exit(1);
}

bool InstallQuitSignals()
{
    if (g_SignalPipe[0] < 0 && pipe2(g_SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s : QuitSignals)
        sigaction(s, &action, nullptr);
    sigaction(ReportSignal, &action, nullptr);
    return true;
}

int QuitSignalFd()
{
    return g_SignalPipe[0];
}

void RestoreQuitSignals()
{
    for (int s : QuitSignals)
        signal(s, SIG_DFL);
    signal(ReportSignal, SIG_DFL);
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

CHostLoop::~CHostLoop()
{
    DestroyViews();
}

SSaverView* CHostLoop::AddView(const SSaverModule& module, const SSaverTarget& target, double x, double y, int width,
                               int height, bool preview, void* owner)
{
    m_pModule = &module;
    SSaverView* view = module.create(&target, x, y, width, height, preview ? 1 : 0);
    if (!view)
        return nullptr;
    module.set_frame_size(view, width, height);
    const char* why = nullptr;
    if (m_dRenderScale != 1.0 && !module.set_render_scale(view, m_dRenderScale, &why) && m_bVerbose)
        std::fprintf(stderr, "veltrix: a view draws at render scale 1: %s\n", why ? why : "unknown");
    m_Views.push_back({view, owner, width, height, false, 0});
    if (m_bRunning) {
        module.start(view);
        m_Views.back().m_bStarted = true;
    }
    return view;
}

void CHostLoop::Resize(SSaverView* view, int width, int height)
{
    for (SHostedView& v : m_Views) {
        if (v.m_pView == view && (v.m_nWidth != width || v.m_nHeight != height)) {
            v.m_nWidth = width;
            v.m_nHeight = height;
            m_pModule->set_frame_size(v.m_pView, width, height);
            m_bResized = true;
        }
    }
}

void CHostLoop::RemoveView(SSaverView* view)
{
    const auto it =
        std::find_if(m_Views.begin(), m_Views.end(), [&](const SHostedView& v) { return v.m_pView == view; });
    if (it == m_Views.end())
        return;
    if (it->m_bStarted)
        m_pModule->stop(it->m_pView);
    m_pModule->destroy(it->m_pView);
    m_Views.erase(it);
}

SSaverView* CHostLoop::ViewOf(const void* owner) const
{
    for (const SHostedView& v : m_Views) {
        if (v.m_pOwner == owner)
            return v.m_pView;
    }
    return nullptr;
}

long CHostLoop::FramesOf(const void* owner) const
{
    for (const SHostedView& v : m_Views) {
        if (v.m_pOwner == owner)
            return v.m_nFrames;
    }
    return 0;
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

bool CHostLoop::_AnimateTick(IHostWindowSystem& system, bool draw)
{
    if (!draw) {
        // A tick between frames (a slow frame rate, a pause): only the main
        // screen's time passes.
        for (const SHostedView& v : m_Views) {
            if (v.m_bStarted && m_pModule->is_main_screen(v.m_pView) != 0)
                m_pModule->advance(v.m_pView);
        }
        return false;
    }
    bool anySeen = false;
    for (const SHostedView& v : m_Views)
        anySeen = anySeen || (v.m_bStarted && system.Seen(v.m_pOwner));
    const bool mayDrawUnseen = system.MayDrawUnseen();
    bool drawn = false;
    // Each tick starts one view further on: the view drawn first is the one
    // whose compositor has the longest to ask for the next frame, and no view
    // may have that edge at every tick.
    const size_t first = m_Views.empty() ? 0 : m_nTicks++ % m_Views.size();
    for (size_t k = 0; k < m_Views.size(); ++k) {
        SHostedView& v = m_Views[(first + k) % m_Views.size()];
        const bool main = mayDrawUnseen && m_pModule->is_main_screen(v.m_pView) != 0;
        if (!v.m_bStarted)
            continue;
        if (!DrawsThisTick(system.Seen(v.m_pOwner), main, anySeen)) {
            // The main screen's drawer alone moves the shared camera and the
            // music's gains: unseen, it still lets the frame's time pass.
            if (m_pModule->is_main_screen(v.m_pView) != 0)
                m_pModule->advance(v.m_pView);
            continue;
        }
        system.BeforeDraw(v.m_pOwner);
        m_pModule->animate(v.m_pView);
        ++v.m_nFrames;
        drawn = true;
    }
    return drawn;
}

void CHostLoop::_ApplyRenderScale(double scale, double cause, bool verbose, std::string (*name)(void*))
{
    m_dRenderScale = scale;
    for (const SHostedView& v : m_Views) {
        const std::string view = name ? name(v.m_pOwner) : "a view";
        const char* why = nullptr;
        if (!m_pModule->set_render_scale(v.m_pView, scale, &why)) {
            if (verbose)
                std::fprintf(stderr, "veltrix: %s stays at render scale 1: %s\n", view.c_str(), why ? why : "unknown");
            // auto only ever asks for 1 again once a step down failed.
            m_bAutoScale = false;
        } else if (verbose && cause > 0.0) {
            std::fprintf(stderr, "veltrix: %s render scale %.2f (frame time %.1f ms)\n", view.c_str(), scale,
                         cause * 1000.0);
        } else if (verbose) {
            std::fprintf(stderr, "veltrix: %s render scale %.2f\n", view.c_str(), scale);
        }
    }
}

EQuit CHostLoop::Run(IHostWindowSystem& system, bool verbose, std::string (*name)(void* owner))
{
    m_bRunning = true;
    m_bVerbose = verbose;
    const double runScale = RunRenderScale();
    m_bAutoScale = runScale <= 0.0;
    if (!m_bAutoScale && runScale != m_dRenderScale)
        _ApplyRenderScale(runScale, 0.0, verbose, name);
    for (SHostedView& v : m_Views) {
        if (!v.m_bStarted) {
            m_pModule->start(v.m_pView);
            v.m_bStarted = true;
        }
    }
    system.AfterFrames();
    if (verbose)
        std::fprintf(stderr, "veltrix: first frames presented %.3f s after the process started (%.2f s of CPU)\n",
                     SecondsSinceProcessStart(), ProcessCpuSeconds());
    m_dFirstFrames = MonotonicSeconds();

    double interval = 1.0 / 30.0;
    if (!m_Views.empty() && m_pModule->animation_interval(m_Views.front().m_pView) > 0.0)
        interval = m_pModule->animation_interval(m_Views.front().m_pView);
    const SRunPacing& run = RunPacing();
    if (run.m_nFrameRate > 0)
        interval = 1.0 / run.m_nFrameRate;
    CPowerWatcher power;
    std::string noPower;
    const bool watching = run.m_Power != EPowerPolicy::Full && power.Start(noPower);
    if (verbose && run.m_Power != EPowerPolicy::Full && !watching)
        std::fprintf(stderr, "veltrix: power: %s: full frame rate\n", noPower.c_str());
    CFramePacing pacing;
    pacing.Set(interval, run.m_Power, watching && power.Saving());
    if (verbose && watching)
        _ReportPacing(pacing, power.Describe());
    double deadline = MonotonicSeconds() + pacing.TickInterval();
    CFrameStats stats;
    CRenderScalePolicy scalePolicy(interval);

    while (m_Quit == EQuit::Running) {
        system.BeforeWait();
        if (m_Quit != EQuit::Running)
            break;
        // A still picture too must be put back, and drawn at a new size.
        if (system.TakeSightRegained() || (m_bResized && pacing.Paused())) {
            deadline = MonotonicSeconds();
            pacing.DrawAtNextTick();
        }
        m_bResized = false;
        // With nothing in sight there is nothing to draw, but the main screen's
        // time still passes, so the music keeps its schedule; without a main
        // screen only an event can change anything.
        bool timed = false;
        for (const SHostedView& v : m_Views)
            timed = timed || (v.m_bStarted && (system.Seen(v.m_pOwner) || m_pModule->is_main_screen(v.m_pView) != 0));
        const double wait = std::max(0.0, deadline - MonotonicSeconds());
        timespec timeout = {static_cast<time_t>(wait), static_cast<long>((wait - static_cast<time_t>(wait)) * 1e9)};
        // Without a watcher the third entry is -1, which poll() skips.
        pollfd fds[3] = {{system.ConnectionFd(), POLLIN, 0}, {QuitSignalFd(), POLLIN, 0}, {power.Fd(), POLLIN, 0}};
        const int ready = ppoll(fds, 3, timed ? &timeout : nullptr, nullptr);
        system.AfterWait(ready > 0 && fds[0].revents != 0);
        if (ready > 0 && (fds[1].revents & POLLIN) && _QuitSignalCame(verbose, name))
            break;
        if (ready > 0 && (fds[2].revents & POLLIN)) {
            const bool wasPaused = pacing.Paused();
            pacing.Set(interval, run.m_Power, power.Saving());
            if (wasPaused && !pacing.Paused()) {
                deadline = MonotonicSeconds();
                pacing.DrawAtNextTick();
            }
            if (verbose)
                _ReportPacing(pacing, power.Describe());
        }
        const double now = MonotonicSeconds();
        if (!timed || now < deadline)
            continue;
        const bool draws = pacing.DrawsNext();
        if (_AnimateTick(system, draws)) {
            const double drawn = MonotonicSeconds();
            stats.Add(now, drawn - now);
            // Every view of a tick must fit in the interval, so the tick's time decides.
            if (m_bAutoScale && scalePolicy.Add(drawn, drawn - now))
                _ApplyRenderScale(scalePolicy.Scale(), scalePolicy.Cause(), verbose, name);
            system.AfterFrames();
        }
        // Ticks between frames keep the grid however late they come (they cost
        // next to nothing), so a slow frame delays only itself.
        deadline = draws ? NextDeadline(deadline, now, pacing.TickInterval()) : deadline + pacing.TickInterval();
    }
    if (verbose) {
        std::fprintf(stderr, "veltrix: %s\n", stats.Summary().c_str());
        _ReportViews(name);
    }
    DestroyViews();
    m_bRunning = false;
    return m_Quit;
}

bool CHostLoop::_QuitSignalCame(bool verbose, std::string (*name)(void*))
{
    char signals[16];
    const ssize_t count = read(g_SignalPipe[0], signals, sizeof signals);
    bool report = false;
    for (ssize_t i = 0; i < count; ++i) {
        if (signals[i] == ReportSignal)
            report = true;
        else
            m_Quit = EQuit::Signal;
    }
    if (report && verbose && m_Quit == EQuit::Running)
        _ReportViews(name);
    return m_Quit != EQuit::Running;
}

void CHostLoop::_ReportPacing(const CFramePacing& pacing, const std::string& power)
{
    if (pacing.Paused())
        std::fprintf(stderr, "veltrix: power: %s: a still picture\n", power.c_str());
    else
        std::fprintf(stderr, "veltrix: power: %s: %.1f frames a second\n", power.c_str(), 1.0 / pacing.DrawInterval());
}

// Counting the two frames every start draws.
void CHostLoop::_ReportViews(std::string (*name)(void*)) const
{
    for (const SHostedView& v : m_Views) {
        std::fprintf(stderr, "veltrix: %s drew %ld frames, %dx%d pixels\n", name ? name(v.m_pOwner).c_str() : "a view",
                     v.m_nFrames + (v.m_bStarted ? 2 : 0), v.m_nWidth, v.m_nHeight);
    }
}

void CHostLoop::DestroyViews()
{
    if (!m_pModule)
        return;
    for (SHostedView& v : m_Views) {
        if (v.m_bStarted)
            m_pModule->stop(v.m_pView);
    }
    for (SHostedView& v : m_Views)
        m_pModule->destroy(v.m_pView);
    m_Views.clear();
}
