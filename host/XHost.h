// The X11 host of the saver module: one display connection, the views it
// drives (one per screen) and the event loop that animates them.
//
// The loop calls animate on every view, one after another, at the views'
// animation interval from one deadline timer; a late frame fires at once and
// the ticks restart from it, so a slow frame never causes a burst. It waits in
// poll() on the X connection and on a pipe its signal handlers write to, so
// SIGTERM, SIGINT and SIGHUP end it at once. Ending it stops every view (the
// music stops with the main one) and destroys them.
//
// X errors never end the process: they are recorded, and a BadWindow on a
// watched window counts as that window gone. Losing the X server prints
// "veltrix: lost the X server" and exits 1 at once.
#pragma once

#include "host/HostLoop.h"
#include "platform/SaverModule.h"

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

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
    // size and sizes it; null when the module cannot make it.
    SSaverView* AddView(const SSaverModule& module, Window window, double x, double y, int width, int height,
                        bool preview);

    // Starts every view, then animates them until something ends the loop;
    // every event goes to onEvent first (it may call Quit). Stops and
    // destroys the views on the way out. With verbose, reports on stderr how
    // long after the process's start the first frames were presented and,
    // at the end, the frame statistics.
    EQuit Run(const std::function<void(const XEvent&)>& onEvent, bool verbose);

    void Quit(EQuit why) { m_Quit = why; }

    // The view covering window follows its new size (ConfigureNotify).
    void Resize(Window window, int width, int height);

private:
    struct SHostedView
    {
        SSaverView* m_pView;
        Window m_Window;
        int m_nWidth;
        int m_nHeight;
    };

    void _HandleEvent(const XEvent& event, const std::function<void(const XEvent&)>& onEvent);
    bool _WatchedWindowGone();
    void _DestroyViews();

    Display* m_pDisplay = nullptr;
    const SSaverModule* m_pModule = nullptr;
    std::vector<SHostedView> m_Views;
    std::vector<Window> m_Watched;
    EQuit m_Quit = EQuit::Running;
    bool m_bStarted = false;
    unsigned long m_nErrorsChecked = 0; // X errors already answered by asking the watched windows
};
