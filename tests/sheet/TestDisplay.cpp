#include "tests/sheet/TestDisplay.h"

#include "platform/SheetLibrary.h"
#include "tests/support/Xvfb.h"

#include <cstdlib>
#include <string>

const std::string& sheet_test::Display()
{
    static CXvfb s_Xvfb;
    static const bool s_bStarted = [] {
        const bool started = s_Xvfb.Start(2560, 720);
        if (started)
            setenv("DISPLAY", s_Xvfb.DisplayName().c_str(), 1);
        // Linked into the test rather than loaded from the bundle, the sheet code looks for its library here.
        SetSheetLibraryPath(VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Linux/VeltrixSheet.so");
        return started;
    }();
    static const std::string s_None;
    return s_bStarted ? s_Xvfb.DisplayName() : s_None;
}

void sheet_test::SetTwoMonitors()
{
    static bool s_bDone = false; // the server refuses a monitor that exists
    if (s_bDone)
        return;
    s_bDone = true;
    const std::string d = "xrandr -d " + Display();
    // The left monitor takes the screen's output, so the automatic whole-screen monitor goes away.
    std::system((d + " --setmonitor VL 1280/338x720/190+0+0 screen >/dev/null").c_str());
    std::system((d + " --setmonitor '*VR' 1280/338x720/190+1280+0 none >/dev/null").c_str());
}
