#include "host/x11/Monitors.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace {

void MarkPrimary(std::vector<SMonitor>& monitors)
{
    if (std::none_of(monitors.begin(), monitors.end(), [](const SMonitor& m) { return m.m_bPrimary; }))
        monitors.front().m_bPrimary = true;
}

// Share of the monitor's area the rectangle covers, 0 to 1.
double Coverage(const SMonitor& m, int x, int y, int width, int height)
{
    const long left = std::max(m.m_nX, x);
    const long top = std::max(m.m_nY, y);
    const long right = std::min<long>(static_cast<long>(m.m_nX) + m.m_nWidth, static_cast<long>(x) + width);
    const long bottom = std::min<long>(static_cast<long>(m.m_nY) + m.m_nHeight, static_cast<long>(y) + height);
    if (right <= left || bottom <= top || m.m_nWidth <= 0 || m.m_nHeight <= 0)
        return 0.0;
    return static_cast<double>(right - left) * static_cast<double>(bottom - top) /
           (static_cast<double>(m.m_nWidth) * m.m_nHeight);
}

} // namespace

std::vector<SMonitor> ListMonitors(Display* display)
{
    std::vector<SMonitor> monitors;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase) && XRRQueryVersion(display, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
        int count = 0;
        if (XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count)) {
            for (int i = 0; i < count; ++i) {
                SMonitor m;
                m.m_nX = info[i].x;
                m.m_nY = info[i].y;
                m.m_nWidth = info[i].width;
                m.m_nHeight = info[i].height;
                m.m_bPrimary = info[i].primary && std::none_of(monitors.begin(), monitors.end(),
                                                               [](const SMonitor& o) { return o.m_bPrimary; });
                if (char* name = info[i].name != None ? XGetAtomName(display, info[i].name) : nullptr) {
                    m.m_Name = name;
                    XFree(name);
                }
                if (m.m_nWidth <= 0 || m.m_nHeight <= 0)
                    continue;
                // A cloned output shows the same picture: one screen, primary if either is.
                const auto clone = std::find_if(monitors.begin(), monitors.end(), [&](const SMonitor& o) {
                    return o.m_nX == m.m_nX && o.m_nY == m.m_nY && o.m_nWidth == m.m_nWidth &&
                           o.m_nHeight == m.m_nHeight;
                });
                if (clone == monitors.end())
                    monitors.push_back(m);
                else
                    clone->m_bPrimary = clone->m_bPrimary || m.m_bPrimary;
            }
            XRRFreeMonitors(info);
        }
    }
    if (monitors.empty()) {
        const int screen = DefaultScreen(display);
        monitors.push_back({0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen), true, "screen"});
    }
    MarkPrimary(monitors);
    return monitors;
}

const SMonitor& PrimaryMonitor(const std::vector<SMonitor>& monitors)
{
    for (const SMonitor& m : monitors) {
        if (m.m_bPrimary)
            return m;
    }
    return monitors.front();
}

bool WindowIsOnPrimary(const std::vector<SMonitor>& monitors, int x, int y, int width, int height)
{
    if (monitors.empty())
        return true;
    const double primary = Coverage(PrimaryMonitor(monitors), x, y, width, height);
    for (const SMonitor& m : monitors) {
        if (Coverage(m, x, y, width, height) > primary)
            return false;
    }
    return true;
}

bool WindowCoversItsMonitor(const std::vector<SMonitor>& monitors, int x, int y, int width, int height)
{
    const SMonitor* best = nullptr;
    double most = 0.0;
    for (const SMonitor& m : monitors) {
        const double share = Coverage(m, x, y, width, height);
        if (share > most) {
            most = share;
            best = &m;
        }
    }
    if (!best)
        return true;
    return x <= best->m_nX && y <= best->m_nY && x + width >= best->m_nX + best->m_nWidth &&
           y + height >= best->m_nY + best->m_nHeight;
}
