// One private Xvfb (2560 x 720) for the whole test program, since GTK binds
// to the display it first opens: started on first use, $DISPLAY pointing at
// it. Display(): its name, empty when it could not start.
#pragma once

#include <string>

namespace sheet_test {
const std::string& Display();
void SetTwoMonitors(); // the 2560 x 720 screen as two 1280 x 720 monitors, the right one primary
} // namespace sheet_test
