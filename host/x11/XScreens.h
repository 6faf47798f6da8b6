// The full-screen windows of --all-screens, one per monitor, following the
// monitors as XRandR rearranges them: a monitor that moves or changes size
// takes its window and view along, one that goes takes them away, a new one
// gets its own; the main screen and every frame origin are decided again
// (the views whose origin changed are made again there), and the keyboard
// and pointer grabs stay on a window of ours.
#pragma once

#include "host/x11/Monitors.h"

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

// Where each monitor's view lies in the shared camera's picture.
struct SScreenPlan
{
    int m_nMain = -1; // index of the main screen's monitor; -1: no monitors
    std::vector<double> m_OriginX, m_OriginY; // one per monitor
};
SScreenPlan PlanScreens(const std::vector<SMonitor>& monitors);

class CXHost;

class CXScreens
{
public:
    // addView makes the view on a window (its frame origin and size) or fails.
    using AddViewFn = std::function<bool(Window window, int x, int y, int width, int height)>;
    CXScreens(CXHost& host, Cursor invisible, AddViewFn addView);

    // Makes, moves or removes windows and views so that each monitor has
    // one. False when a view could not be made.
    bool Follow(const std::vector<SMonitor>& monitors);
    // The monitors changed (an XRandR event): lists them again and follows.
    bool OnEvent(const XEvent& event);
    // Asks the server for the XRandR events that say so.
    void Listen();

    Window GrabWindow() const { return m_Screens.empty() ? None : m_Screens.front().m_Window; }

private:
    struct SScreen
    {
        SMonitor m_Monitor;
        Window m_Window = None;
        double m_dOriginX = 0.0, m_dOriginY = 0.0;
        bool m_bViewed = false;
    };

    Window _CreateWindow(const SMonitor& m);
    void _Grab();

    CXHost& m_Host;
    Display* m_pDisplay;
    Cursor m_Invisible;
    AddViewFn m_AddView;
    std::vector<SScreen> m_Screens; // in the monitors' order
    Window m_Grabbed = None;
    int m_nRandrEvents = -1; // XRandR's first event number; -1: no XRandR
};
