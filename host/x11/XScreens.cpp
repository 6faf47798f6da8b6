#include "host/x11/XScreens.h"

#include "host/loop/Screens.h"
#include "host/x11/XHost.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>

SScreenPlan PlanScreens(const std::vector<SMonitor>& monitors)
{
    SScreenPlan plan;
    std::vector<SScreenPlace> places;
    for (const SMonitor& m : monitors)
        places.push_back({m.m_nX, m.m_nY, m.m_bPrimary});
    plan.m_nMain = MainScreenIndex(places);
    for (size_t i = 0; i < places.size(); ++i) {
        double x = 0.0, y = 0.0;
        FrameOrigin(places[plan.m_nMain], places[i], static_cast<int>(i) == plan.m_nMain, x, y);
        plan.m_OriginX.push_back(x);
        plan.m_OriginY.push_back(y);
    }
    return plan;
}

CXScreens::CXScreens(CXHost& host, Cursor invisible, AddViewFn addView)
    : m_Host(host)
    , m_pDisplay(host.display())
    , m_Invisible(invisible)
    , m_AddView(std::move(addView))
{}

void CXScreens::Listen()
{
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(m_pDisplay, &eventBase, &errorBase))
        return;
    m_nRandrEvents = eventBase;
    XRRSelectInput(m_pDisplay, DefaultRootWindow(m_pDisplay),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
}

bool CXScreens::OnEvent(const XEvent& event)
{
    if (m_nRandrEvents < 0 ||
        (event.type != m_nRandrEvents + RRScreenChangeNotify && event.type != m_nRandrEvents + RRNotify))
        return true;
    XEvent copy = event;
    XRRUpdateConfiguration(&copy); // Xlib's idea of the screen's size
    return Follow(ListMonitors(m_pDisplay));
}

Window CXScreens::_CreateWindow(const SMonitor& m)
{
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(m_pDisplay, DefaultScreen(m_pDisplay));
    attributes.cursor = m_Invisible;
    attributes.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask | StructureNotifyMask;
    const Window w = XCreateWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), m.m_nX, m.m_nY, m.m_nWidth, m.m_nHeight,
                                   0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWOverrideRedirect | CWBackPixel | CWCursor | CWEventMask, &attributes);
    XStoreName(m_pDisplay, w, "Veltrix");
    return w;
}

// Each monitor keeps the window it had (known by its name); every view
// whose origin changes is made again, and those go before any is made, so
// two views are never both the main one.
bool CXScreens::Follow(const std::vector<SMonitor>& monitors)
{
    const SScreenPlan plan = PlanScreens(monitors);
    std::vector<SScreen> old = std::move(m_Screens);
    std::vector<bool> taken(old.size(), false);
    m_Screens.clear();
    for (size_t i = 0; i < monitors.size(); ++i) {
        SScreen s;
        s.m_Monitor = monitors[i];
        for (size_t k = 0; k < old.size() && s.m_Window == None; ++k) {
            if (!taken[k] && old[k].m_Monitor.m_Name == monitors[i].m_Name) {
                taken[k] = true;
                s.m_Window = old[k].m_Window;
                s.m_bViewed = old[k].m_bViewed;
                s.m_dOriginX = old[k].m_dOriginX;
                s.m_dOriginY = old[k].m_dOriginY;
                const SMonitor& was = old[k].m_Monitor;
                if (was.m_nX != s.m_Monitor.m_nX || was.m_nY != s.m_Monitor.m_nY ||
                    was.m_nWidth != s.m_Monitor.m_nWidth || was.m_nHeight != s.m_Monitor.m_nHeight) {
                    XMoveResizeWindow(m_pDisplay, s.m_Window, s.m_Monitor.m_nX, s.m_Monitor.m_nY, s.m_Monitor.m_nWidth,
                                      s.m_Monitor.m_nHeight);
                    m_Host.Resize(s.m_Window, s.m_Monitor.m_nWidth, s.m_Monitor.m_nHeight);
                }
            }
        }
        if (s.m_bViewed && (s.m_dOriginX != plan.m_OriginX[i] || s.m_dOriginY != plan.m_OriginY[i])) {
            m_Host.RemoveView(s.m_Window);
            s.m_bViewed = false;
        }
        m_Screens.push_back(s);
    }
    for (size_t k = 0; k < old.size(); ++k) { // monitors that went
        if (taken[k])
            continue;
        if (old[k].m_bViewed)
            m_Host.RemoveView(old[k].m_Window);
        XDestroyWindow(m_pDisplay, old[k].m_Window);
        if (old[k].m_Window == m_Grabbed)
            m_Grabbed = None;
    }
    // The main view first: the module knows it by its origin.
    std::vector<size_t> order;
    for (size_t i = 0; i < m_Screens.size(); ++i)
        order.insert(static_cast<int>(i) == plan.m_nMain ? order.begin() : order.end(), i);
    for (size_t i : order) {
        SScreen& s = m_Screens[i];
        const bool fresh = s.m_Window == None;
        if (fresh)
            s.m_Window = _CreateWindow(s.m_Monitor);
        if (!s.m_bViewed) {
            s.m_dOriginX = plan.m_OriginX[i];
            s.m_dOriginY = plan.m_OriginY[i];
            if (!m_AddView(s.m_Window, static_cast<int>(s.m_dOriginX), static_cast<int>(s.m_dOriginY),
                           s.m_Monitor.m_nWidth, s.m_Monitor.m_nHeight))
                return false;
            s.m_bViewed = true;
        }
        if (fresh)
            XMapRaised(m_pDisplay, s.m_Window);
    }
    _Grab();
    return true;
}

// Override-redirect windows get no focus; the grabs bring keys and buttons
// to us wherever the pointer is. Without them (another client holds a grab)
// the pointer over our windows still ends the run.
void CXScreens::_Grab()
{
    const Window w = GrabWindow();
    if (w == None || w == m_Grabbed)
        return;
    XSync(m_pDisplay, False); // mapped before the grab asks
    XGrabKeyboard(m_pDisplay, w, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XGrabPointer(m_pDisplay, w, False, ButtonPressMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None,
                 m_Invisible, CurrentTime);
    m_Grabbed = w;
}
