// CFramePacing: which of the loop's ticks draw. The loop ticks at
// TickInterval(); a tick that does not draw only lets the main screen's time
// pass (the module's advance), so the camera and the music keep their
// schedule however seldom frames are drawn. The drawer caps the time one
// step may take (a stall must not make the scene jump), so ticks come at
// least every MaxStep seconds, and a slow frame rate draws every few ticks.
#pragma once

#include "host/app/Options.h"

class CFramePacing
{
public:
    // Under the drawer's 0.1 s cap, with room for a late wake-up.
    static constexpr double MaxStep = 1.0 / 12.0; // seconds

    // drawInterval: seconds between frames at full power. saving: the
    // machine asks for less (on battery, power-saver): the policy halves the
    // frame rate, keeps it, or draws nothing.
    void Set(double drawInterval, EPowerPolicy policy, bool saving);

    double TickInterval() const { return m_dTick; } // seconds
    double DrawInterval() const { return m_dTick * m_nSteps; } // seconds; meaningless while paused
    bool Paused() const { return m_bPaused; }

    bool DrawsNext(); // called once per tick: whether it draws
    void DrawAtNextTick(); // the picture is wanted now (a view came into sight, the pause ended)

private:
    double m_dTick = 1.0 / 30.0;
    int m_nSteps = 1; // ticks per frame drawn
    int m_nStep = 0; // the tick in the current frame; 0 draws
    bool m_bPaused = false;
    bool m_bForced = false;
};
