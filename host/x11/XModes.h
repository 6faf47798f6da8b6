// The veltrix program's modes on an X display, each given the loaded module:
//   RunWindow      one window titled "Veltrix" (1280x720, or --size), the main screen;
//                  Escape, q or the window manager's close quits.
//   RunHack        an XScreenSaver hack: draws into the daemon's window
//                  (--root, $XSCREENSAVER_WINDOW, else the root window) or
//                  into --window-id as the preview, never maps a window of
//                  its own and leaves when the window is destroyed. Only the
//                  process whose window lies on the primary monitor plays
//                  music.
//   RunAllScreens  a full-screen window and view per monitor, pointer hidden;
//                  the primary monitor's view is the main screen.
// Each returns the exit status: 0 when the run ended as asked (a quit key, a
// signal, the window gone), 1 after one line "veltrix: ..." on stderr.
#pragma once

#include "host/app/Options.h"
#include "platform/SaverModule.h"

int RunWindow(const SSaverModule& module, const SOptions& options);
int RunHack(const SSaverModule& module, const SOptions& options);
int RunAllScreens(const SSaverModule& module, const SOptions& options);
