// What every window system decides alike about the screens of a run: which
// one is the main screen (it alone moves the shared camera and plays the
// music), where each one's frame lies from it, which input ends a run, and
// the one line --verbose prints for each view.
#pragma once

#include <string>
#include <vector>

struct SScreenPlace
{
    int m_nX = 0; // in the desktop's layout (X: root pixels; Wayland: logical)
    int m_nY = 0;
    bool m_bPrimary = false; // the desktop's own choice, where it has one (RandR's primary)
};

// The desktop's primary screen, else the one at the layout's origin, else
// the first; -1 for an empty list.
int MainScreenIndex(const std::vector<SScreenPlace>& screens);

// The frame origin of a screen: its offset from the main screen, so the
// shared camera's picture spans the desktop. Never (0, 0) for a secondary
// screen (one that mirrors the main one), for that is what marks the main one.
void FrameOrigin(const SScreenPlace& main, const SScreenPlace& screen, bool isMain, double& x, double& y);

// A key ends a full-screen run; a window ends only on Escape or q.
bool KeyQuits(bool fullScreen, bool escapeOrQ);
// A button press ends a full-screen run only.
bool ButtonQuits(bool fullScreen);

// "view WxH<where>: main screen<detail>", the --verbose line of a view (no
// newline). where says where it lies (" at scale 2 on DP-1"); detail what
// else it is (", music", ", preview").
std::string ViewLine(int width, int height, const std::string& where, bool main, const std::string& detail);
