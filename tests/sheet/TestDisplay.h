// A private Xvfb for one test program: started on first use with a free
// display number, $DISPLAY pointing at it, stopped when the program ends.
// It does not reset when its last client leaves, so monitors set with
// xrandr stay. Display(): the display name, empty when Xvfb cannot start.
#pragma once

#include <string>

namespace sheet_test
{
const std::string& Display();
void SetTwoMonitors();   // the 2560 x 720 screen as two 1280 x 720 monitors, the right one primary
}
