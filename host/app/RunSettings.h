// The run's settings (--no-sound, --volume, --density, --static-camera,
// --fps) given to the module, once, before any view exists: every mode on
// every window system goes through here, so none can forget them.
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
