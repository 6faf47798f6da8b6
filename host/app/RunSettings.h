// The run's settings (--no-sound, --volume, --density, --static-camera,
// --fps) given to the module, once, before any view exists, and its pacing
// (--frame-rate, --power) kept for the loop: every mode on every window
// system goes through here, so none can forget them.
#pragma once

#include "host/app/Options.h"
#include "platform/SaverModule.h"

// soundOff silences this run on top of what the options ask (a hack on a
// monitor other than the primary one).
void ApplyRunSettings(const SSaverModule& module, const SOptions& options, bool soundOff = false);

// The run's --render-scale, for the hosts' loops: 0 for auto, else the
// fixed scale. Process-wide, like the module's run settings: ApplyRunSettings
// sets it from the options before any view exists.
void SetRunRenderScale(double scale);
double RunRenderScale();

// How often this run draws, as ApplyRunSettings last set it; before that,
// the views' own interval (frame rate 0) and the Auto power policy.
struct SRunPacing
{
    int m_nFrameRate = 0; // frames a second; 0: the views' animation interval
    EPowerPolicy m_Power = EPowerPolicy::Auto;
};
const SRunPacing& RunPacing();

// nice +10, as XScreenSaver runs its hacks: a saver started in the background
// of a session (by the idle watcher) yields to whatever the user starts.
// Async-signal-safe, for a forked child before exec.
void LowerSaverPriority();
