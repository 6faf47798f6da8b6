// The X11 host of the saver module: one display connection, the views it
// drives (one per screen) and the event loop that animates them.
//
// The loop calls animate on every view, one after another, at the views'
// animation interval from one deadline timer; a late frame fires at once and
// the ticks restart from it, so a slow frame never causes a burst. A view
// whose window is unmapped or fully covered is not drawn (the music plays on)
// and is drawn again the moment it shows; while no view is seen the loop only
// waits for events. It waits in poll() on the X connection and on a pipe its
// signal handlers write to, so SIGTERM, SIGINT and SIGHUP end it at once.
// Ending it stops every view (the music stops with the main one) and destroys
// them.
//
// X errors never end the process: they are recorded, and a BadWindow on a
// watched window counts as that window gone. Losing the X server prints
// "veltrix: lost the X server" and exits 1 at once.
#pragma once

#include "platform/SaverModule.h"

#include <X11/Xlib.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

double MonotonicSeconds();

// Run just before the process leaves because its X server went away (it
// leaves at once, without the views' stop): what must not be left half done,
// such as a sound file. Null for nothing.
void SetLostServerCleanup(void (*cleanup)());

// When the timer fires next, given the deadline it fired for, the time it
// fired and the interval between frames (seconds). Within the wake-up slack
// the ticks keep their grid; later, they restart from the firing.
double NextDeadline(double deadline, double firedAt, double interval);

// Seconds from the process's start (as the kernel recorded it) to now, and
// the CPU seconds its threads have used.
double SecondsSinceProcessStart();
double ProcessCpuSeconds();

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

// Whether a view gets a frame at a tick. A view nobody can see (its window
// unmapped or covered) is not drawn; the main screen's still is while any
// view is seen, for its drawer alone moves the camera the others show.
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

enum class EQuit
{
    Running,
    Asked, // a quit key, the window manager's close, the pointer
    Signal, // SIGTERM, SIGINT, SIGHUP
    WindowGone, // a watched window was destroyed
};

// Why a view could not be made on an open display.
inline constexpr const char* NoViewReason =
    "cannot make an OpenGL view on this display (no GLX visual with a depth buffer and double buffering)";

class CXHost
{
public:
    // After Open: the signal handlers are installed and the X error handlers
    // set. False with a one-line reason when the display cannot be opened.
    bool Open(std::string& error);
    ~CXHost(); // destroys the views that remain, closes the display

    Display* display() const { return m_pDisplay; }

    // A black top-level window of ours titled "Veltrix", not yet mapped, that
    // the window manager asks to close through deleteWindow.
    Window CreateTopWindow(int width, int height, long eventMask, Atom& deleteWindow);

    // Events on this window matter: its DestroyNotify (or a BadWindow on it)
    // ends the loop. Selects StructureNotifyMask on it.
    void Watch(Window window);

    // Creates a view covering window at frame origin (x, y) with the window's
    // size and sizes it; null when the module cannot make it. The view is
    // drawn while its window can be seen: selects StructureNotifyMask and
    // VisibilityChangeMask on it.
    SSaverView* AddView(const SSaverModule& module, Window window, double x, double y, int width, int height,
                        bool preview);

    // Starts every view, then animates them until something ends the loop;
    // every event goes to onEvent first (it may call Quit). Stops and
    // destroys the views on the way out. With verbose, reports on stderr how
    // long after the process's start the first frames were presented and,
    // at the end, the frame statistics.
    EQuit Run(const std::function<void(const XEvent&)>& onEvent, bool verbose);

    void Quit(EQuit why) { m_Quit = why; }

    // Monotonic seconds at which Run had shown the views' first frames; 0 before.
    double FirstFramesShown() const { return m_dFirstFrames; }

    // The view covering window follows its new size (ConfigureNotify).
    void Resize(Window window, int width, int height);

private:
    struct SHostedView
    {
        SSaverView* m_pView;
        Window m_Window;
        int m_nWidth;
        int m_nHeight;
        bool m_bSeen; // mapped and not fully covered, as far as the server told us
        long m_nFrames; // ticks it was drawn at
    };

    void _HandleEvent(const XEvent& event, const std::function<void(const XEvent&)>& onEvent);
    void _SetSeen(Window window, bool seen);
    bool _AnySeen() const;
    // Animates the views that want a frame now; false when none did.
    bool _AnimateTick();
    bool _WatchedWindowGone();
    void _DestroyViews();

    Display* m_pDisplay = nullptr;
    const SSaverModule* m_pModule = nullptr;
    std::vector<SHostedView> m_Views;
    std::vector<Window> m_Watched;
    EQuit m_Quit = EQuit::Running;
    bool m_bStarted = false;
    bool m_bVerbose = false;
    bool m_bSightRegained = false; // a view came back into sight: draw at once
    double m_dFirstFrames = 0.0;
    unsigned long m_nErrorsChecked = 0; // X errors already answered by asking the watched windows
};
