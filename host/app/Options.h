// Command line of the veltrix program. ParseOptions fills SOptions from argv;
// on a bad argument it returns false and sets the one-line reason.
// To add an option: a field here and one entry in the table in Options.cpp.
#pragma once

#include "platform/SaverModule.h"

#include <string>
#include <string_view>

// What a run does while the machine saves power (on battery, or the
// power-saver profile): Auto draws at half the frame rate, Full keeps it,
// Pause keeps a still picture while the music goes on.
enum class EPowerPolicy
{
    Auto,
    Full,
    Pause,
};

struct SOptions
{
    bool m_bHeadless = false; // --headless: record frames without a display
    int m_nWidth = 1280; // --size WxH
    int m_nHeight = 720;
    int m_nFrames = 300; // --frames N
    std::string m_Output = "out"; // --output DIR
    bool m_bPreview = false; // --preview: the instance is the settings-window preview
    bool m_bSecondary = false; // --secondary: neither main screen nor preview
    std::string m_Pack; // --pack FILE; empty: the bundle's media.dat
    bool m_bPacing = true; // --no-pacing: back to back on a virtual 1/30 s clock
    std::string m_Audio; // --audio FILE.wav: record what the saver plays; empty: no capture
    int m_nVolume = -1; // --volume N (percent) for this run; -1: the stored setting
    bool m_bNoSound = false; // --no-sound: sounds off for this run
    int m_nDensity = -1; // --density N (bolts) for this run; -1: the stored setting
    bool m_bStaticCamera = false; // --static-camera: fixed viewpoints for this run
    std::string m_Module; // --module DIR: the saver bundle to load; empty: the usual places
    bool m_bVersion = false; // --version
    bool m_bRoot = false; // --root: XScreenSaver's window ($XSCREENSAVER_WINDOW), else the root window
    unsigned long m_WindowId = 0; // --window-id ID: draw into this window as the preview; 0: none
    bool m_bAllScreens = false; // --all-screens: a full-screen window on every monitor
    bool m_bVerbose = false; // --verbose: one line per view and the start-up time on stderr
    bool m_bHelp = false; // --help
    bool m_bConfigure = false; // --configure: the settings sheet over a preview window
    bool m_bShowFps = false; // --fps: frame rate and frame time in the top-left corner
    bool m_bBackground = false; // --background: a live background layer on every Wayland output
    bool m_bSound = false; // --sound: music for --background
    bool m_bX11 = false; // --x11: the window modes on X even where a Wayland compositor answers
    int m_nIdleSeconds = 0; // --idle SECONDS: start the saver after that long without input; 0: no watcher
    double m_dRenderScale = -1.0; // --render-scale auto|F: 0 auto, F in [0.5, 1]; -1: not given
    int m_nFrameRate = 30; // --frame-rate FPS: frames a second, 1 to 240
    EPowerPolicy m_Power = EPowerPolicy::Auto; // --power auto|full|pause
};

// The render scale the run uses: 0 for auto (every display mode's default),
// else the fixed scale (a recording's default is 1).
double RenderScaleOf(const SOptions& options);

// Options take one dash as well as two (-root, -window-id 0x...), as
// XScreenSaver's hacks do.
bool ParseOptions(int argc, const char* const* argv, SOptions& options, std::string& error);

// One paragraph listing every option, for --help.
const char* UsageText();

// The settings for this run that the options ask for (unset where they ask nothing).
SSaverRunSettings RunSettings(const SOptions& options);

// "0x1a00007" or "27262983"; false for anything else, and for 0.
bool ParseWindowId(std::string_view text, unsigned long& id);
