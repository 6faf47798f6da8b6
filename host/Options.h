// Command line of the veltrix program. ParseOptions fills SOptions from argv;
// on a bad argument it returns false and sets the one-line reason.
// To add an option: a field here and one entry in the table in Options.cpp.
#pragma once

#include <string>

struct SOptions
{
    bool m_bHeadless = false;       // --headless: record frames without a display
    int m_nWidth = 1280;            // --size WxH
    int m_nHeight = 720;
    int m_nFrames = 300;            // --frames N
    std::string m_Output = "out";   // --output DIR
    bool m_bPreview = false;        // --preview: the instance is the settings-window preview
    bool m_bSecondary = false;      // --secondary: neither main screen nor preview
    std::string m_Pack;             // --pack FILE; empty: the bundle's media.dat
    bool m_bPacing = true;          // --no-pacing: back to back on a virtual 1/30 s clock
    std::string m_Audio;            // --audio FILE.wav: record what the saver plays; empty: no capture
    int m_nVolume = -1;             // --volume N (percent) for this run; -1: the stored setting
    bool m_bNoSound = false;        // --no-sound: sounds off for this run
    int m_nDensity = -1;            // --density N (bolts) for this run; -1: the stored setting
    bool m_bStaticCamera = false;   // --static-camera: fixed viewpoints for this run
    std::string m_Module;           // --module DIR: the saver bundle to load; empty: the usual places
    bool m_bVersion = false;        // --version
    bool m_bHelp = false;           // --help
};

bool ParseOptions(int argc, const char* const* argv, SOptions& options, std::string& error);

// One paragraph listing every option, for --help.
const char* UsageText();
