// The monitors of an X screen (XRandR 1.5 monitors) and which one is the
// primary; monitors at the same place (cloned outputs) are one. ListMonitors
// never fails: without XRandR, or when it reports none, the whole screen is
// one monitor, the primary.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

struct SMonitor
{
    int m_nX = 0; // pixels, on the root window
    int m_nY = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bPrimary = false; // exactly one monitor of a list has it
    std::string m_Name;
};

// XRandR's primary monitor is marked; without one the first monitor is.
std::vector<SMonitor> ListMonitors(Display* display);

const SMonitor& PrimaryMonitor(const std::vector<SMonitor>& monitors); // monitors not empty

// Whether a window at (x, y, width, height) on the root window belongs on the
// primary monitor: it does when no monitor has a larger share of its own area
// covered by the window than the primary has, and when it covers none at all.
// So a window covering one monitor belongs there, and the root window, which
// covers every monitor, belongs on the primary.
bool WindowIsOnPrimary(const std::vector<SMonitor>& monitors, int x, int y, int width, int height);

// Whether such a window covers the whole of the monitor it belongs to (the
// one with the largest share of its area covered): a screen saver daemon's
// window does; a preview inside a settings dialog does not. A window on no
// monitor at all is alone with its screen and counts as covering it.
bool WindowCoversItsMonitor(const std::vector<SMonitor>& monitors, int x, int y, int width, int height);
