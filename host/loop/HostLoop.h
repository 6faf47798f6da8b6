// What the X and the Wayland hosts share: the views they drive (one per
// screen) and the loop that animates them, the quit signals, the clock, the
// frame statistics and the way out when the display server goes away.
//
// CHostLoop::Run starts every view, then calls animate on the views, one
// after another, at the run's frame rate (else the views' animation
// interval), halved or paused while the machine saves power as the run's
// power policy says (RunSettings.h), from one deadline timer; a
// late frame fires at once and the ticks restart from it, so a slow frame
// never causes a burst. A view the window system cannot show now (not mapped,
// covered, no frame callback yet) is skipped and costs nothing; while no view
// is seen the loop only waits for events. The loop waits in
// poll() on the window system's connection and on a pipe its signal handlers
// write to, so SIGTERM, SIGINT and SIGHUP end it at once. Ending it stops
// every view (the music stops with the main one) and destroys them.
// Views draw at the run's render scale (RenderScale.h): a fixed one from
// their start, or under auto one that follows the ticks' frame times, the
// same for every view; --verbose reports each change.
#pragma once

#include "platform/SaverModule.h"

#include <array>
#include <string>
#include <vector>

class CFramePacing;

double MonotonicSeconds();

// When the timer fires next, given the deadline it fired for, the time it
// fired and the interval between frames (seconds). Within the wake-up slack
// the ticks keep their grid; later, they restart from the firing.
double NextDeadline(double deadline, double firedAt, double interval);

// Seconds from the process's start (as the kernel recorded it) to now, and
// the CPU seconds its threads have used.
double SecondsSinceProcessStart();
double ProcessCpuSeconds();

// Run just before the process leaves because its display server went away
// (it leaves at once, without the views' stop): what must not be left half
// done, such as a sound file. Null for nothing.
void SetLostServerCleanup(void (*cleanup)());

// The cleanup, then line ("veltrix: lost the ...\n") on stderr and exit
// status 1 at once: the module's threads and its exit-time destructors would
// still talk to a server that is gone. For the display connection's I/O error
// paths, never a signal handler: the cleanup closes the sound device and
// completes its file. A second call (the cleanup itself losing the server)
// skips the cleanup.
[[noreturn]] void LeaveLostServer(const char* line);

// SIGTERM, SIGINT and SIGHUP write to a pipe that the loop polls (SIGUSR1
// too, which makes a --verbose loop report every view's frames so far);
// false when the pipe cannot be made. Restore gives the signals their defaults.
bool InstallQuitSignals();
void RestoreQuitSignals();
int QuitSignalFd(); // readable once a quit signal came

// The frames a run has shown: how many, how often, and how long the recent
// ones took to draw (every view, one after another).
class CFrameStats
{
public:
    void Add(double firedAt, double seconds); // monotonic seconds
    std::string Summary() const; // "N frames at F a second, frame median M ms (last K frames)"

private:
    long m_nFrames = 0;
    double m_dFirst = 0.0;
    double m_dLast = 0.0;
    std::array<double, 300> m_Recent{}; // seconds; a ring, so a night's run keeps no more
};

enum class EQuit
{
    Running,
    Asked, // a quit key, the window manager's close, the pointer
    Signal, // SIGTERM, SIGINT, SIGHUP
    WindowGone, // a watched window was destroyed
};

// Whether a view gets a frame at a tick. A view nobody can see is not
// drawn; where the window system allows drawing it anyway (mayDrawUnseen),
// the main screen's still is while any view is seen, for its drawer alone
// moves the camera the others show.
bool DrawsThisTick(bool seen, bool mainScreen, bool anySeen);

// Pointer motion that ends a full-screen run. Until the views have been
// shown for a settle time, motion (the windows appearing under the pointer,
// events that queued up during a slow start) only moves the point the
// pointer must travel from.
class CPointerWatch
{
public:
    static constexpr double SettleSeconds = 1.0;
    static constexpr int QuitDistance = 8; // pixels, along x plus along y

    void Start(int x, int y); // where the pointer was before the run
    // Whether motion to (x, y) ends the run, sinceShown seconds after the
    // first frames were shown (negative: not yet).
    bool Ends(int x, int y, double sinceShown);

private:
    int m_nX = 0;
    int m_nY = 0;
};

// The window system's side of the loop. owner is what the host gave
// AddView for the view (its window, its output).
class IHostWindowSystem
{
public:
    virtual ~IHostWindowSystem() = default;
    virtual int ConnectionFd() = 0; // polled for events
    // Before the wait: handles what has come in and sends what is queued
    // (the host may Quit, add, resize or remove views here).
    virtual void BeforeWait() = 0;
    virtual void AfterWait(bool readable) = 0; // reads what came in while waiting
    // Whether the view can be seen now (X: mapped and not covered; Wayland:
    // the compositor asked for its next frame).
    virtual bool Seen(void* /*owner*/) { return true; }
    // Whether a view may be drawn while unseen (the main one, for the camera).
    virtual bool MayDrawUnseen() const { return false; }
    // Whether a view came into sight since the last call: the next frame is due at once.
    virtual bool TakeSightRegained() { return false; }
    virtual void BeforeDraw(void* /*owner*/) {}
    virtual void AfterFrames() {} // after every start and every tick's frames
};

class CHostLoop
{
public:
    ~CHostLoop(); // stops and destroys the views that remain

    // Creates a view on target at frame origin (x, y), sized width x height
    // (pixels); null when the module cannot make it. A view added while the
    // loop runs starts at once.
    SSaverView* AddView(const SSaverModule& module, const SSaverTarget& target, double x, double y, int width,
                        int height, bool preview, void* owner);
    void Resize(SSaverView* view, int width, int height); // nothing when the size is the same
    void RemoveView(SSaverView* view); // stops it (the music with the main one) and destroys it
    SSaverView* ViewOf(const void* owner) const; // null: none
    long FramesOf(const void* owner) const; // ticks its view was drawn at
    size_t ViewCount() const { return m_Views.size(); }

    // Runs until Quit; with verbose, reports on stderr how long after the
    // process's start the first frames were presented and, at the end, the
    // frame statistics and how many frames each view drew (named by
    // name(owner)), lines a SIGUSR1 asks for at any time. Stops and destroys the views on the way out.
    EQuit Run(IHostWindowSystem& system, bool verbose, std::string (*name)(void* owner) = nullptr);
    void Quit(EQuit why) { m_Quit = why; }
    EQuit QuitReason() const { return m_Quit; }

    // Monotonic seconds at which Run had shown the views' first frames; 0 before.
    double FirstFramesShown() const { return m_dFirstFrames; }

    // Stops every view first, so the music ends at once, then destroys them.
    void DestroyViews();

private:
    bool _QuitSignalCame(bool verbose, std::string (*name)(void*));
    // Gives every view the scale; a view whose driver cannot keeps 1 and,
    // with verbose, says why. cause: the frame time behind it (0: none).
    void _ApplyRenderScale(double scale, double cause, bool verbose, std::string (*name)(void*));
    // draw false: only the main screen's time passes. False: no view drew.
    bool _AnimateTick(IHostWindowSystem& system, bool draw);
    static void _ReportPacing(const CFramePacing& pacing, const std::string& power);
    void _ReportViews(std::string (*name)(void*)) const;

    struct SHostedView
    {
        SSaverView* m_pView;
        void* m_pOwner;
        int m_nWidth;
        int m_nHeight;
        bool m_bStarted;
        long m_nFrames;
    };

    const SSaverModule* m_pModule = nullptr;
    std::vector<SHostedView> m_Views;
    EQuit m_Quit = EQuit::Running;
    bool m_bRunning = false;
    double m_dFirstFrames = 0.0;
    double m_dRenderScale = 1.0; // what the views were last given
    bool m_bAutoScale = false; // the scale follows the frame times
    bool m_bVerbose = false; // of the run
    bool m_bResized = false; // a view changed size since the last wait
    size_t m_nTicks = 0; // ticks so far: each starts drawing at another view
};
