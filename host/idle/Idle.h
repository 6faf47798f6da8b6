// veltrix --idle SECONDS: a watcher that stays running and shows the saver
// (veltrix --all-screens, as a child process) once the desktop has had no
// input for SECONDS, and stops it when input comes back.
//
// Idleness comes from the compositor, so whatever holds it off there (an idle
// inhibitor of a video player, a browser in full screen) holds the saver off
// too: ext_idle_notifier_v1, else org_kde_kwin_idle, else GNOME's
// org.gnome.Mutter.IdleMonitor on the session bus. While it waits the watcher
// sleeps in poll with no timer, and it never loads the module or the music:
// the child does, and takes them with it when it goes.
#pragma once

#include "host/app/Options.h"

#include <string>
#include <vector>

// The reason --idle cannot go with the other options given; empty when it can.
std::string IdleConflict(const SOptions& options);

// The arguments (after the program's name) of the saver the watcher starts:
// --all-screens and this run's settings.
std::vector<std::string> SaverArguments(const SOptions& options);

// Watches until SIGTERM, SIGINT or SIGHUP (0, the saver stopped first), or
// until it cannot watch (one line on stderr, 1).
int RunIdle(const SOptions& options);
