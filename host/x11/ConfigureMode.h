// veltrix --configure: what a desktop's screen-saver settings window does. A
// small window shows the saver as its preview (reading the stored settings,
// like any start), and the saver's settings sheet sits on top of it as a
// dialog; closing the sheet (Close, Enter, Escape or the window's close
// button) stores what it shows and ends the program with status 0. Without
// a display, or when the module has no sheet to show: one line "veltrix: ..."
// and status 1.
#pragma once

#include "host/app/Options.h"
#include "platform/SaverModule.h"

int RunConfigure(const SSaverModule& module, const SOptions& options);
