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

#include "host/loop/HostLoop.h"
#include "platform/SaverModule.h"

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

// Why a view could not be made on an open display.
inline constexpr const char* NoViewReason =
    "cannot make an OpenGL view on this display (no GLX visual with a depth buffer and double buffering)";

class CXHost final : public IHostWindowSystem
{
public:
    // After Open: the signal handlers are installed and the X error handlers
    // set. False with a one-line reason when the display cannot be opened.
    bool Open(std::string& error);
    ~CXHost() override; // destroys the views that remain, closes the display

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

    // Stops and destroys the view covering window (the window stays).
    void RemoveView(Window window);

    // Starts every view, then animates them until something ends the loop;
    // every event goes to onEvent first (it may call Quit). Stops and
    // destroys the views on the way out. With verbose, reports on stderr how
    // long after the process's start the first frames were presented and,
    // at the end, the frame statistics.
    EQuit Run(const std::function<void(const XEvent&)>& onEvent, bool verbose);

    void Quit(EQuit why) { m_Loop.Quit(why); }

    // Monotonic seconds at which Run had shown the views' first frames; 0 before.
    double FirstFramesShown() const { return m_Loop.FirstFramesShown(); }

    // The view covering window follows its new size (ConfigureNotify).
    void Resize(Window window, int width, int height);

    // IHostWindowSystem
    int ConnectionFd() override { return ConnectionNumber(m_pDisplay); }
    void BeforeWait() override;
    void AfterWait(bool) override {} // XPending reads at the next BeforeWait
    bool Seen(void* owner) override;
    bool MayDrawUnseen() const override { return true; }
    bool TakeSightRegained() override;
    void AfterFrames() override;

private:
    struct SXView
    {
        Window m_Window;
        bool m_bSeen; // mapped and not fully covered, as far as the server told us
    };

    void _HandleEvent(const XEvent& event);
    void _SetSeen(Window window, bool seen);
    bool _WatchedWindowGone();
    void _DestroyViews();

    Display* m_pDisplay = nullptr;
    CHostLoop m_Loop;
    std::vector<SXView> m_Views; // the loop knows each view by its window
    std::vector<Window> m_Watched;
    const std::function<void(const XEvent&)>* m_pOnEvent = nullptr; // while Run runs
    bool m_bVerbose = false;
    bool m_bSynced = false; // the first frames were waited for
    bool m_bSightRegained = false; // a view came back into sight: draw at once
    unsigned long m_nErrorsChecked = 0; // X errors already answered by asking the watched windows
};
