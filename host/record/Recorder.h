// Recording mode: drives the saver module's view the way a desktop host does
// (create headless, size, start, which presents two frames at once, then one
// frame per tick of 1/30 s, or 1/FPS with --frame-rate, stop, destroy) and writes every presented frame as a
// PNG, read back from the view's offscreen framebuffer.
//
// Clocks: with pacing the scene runs on the wall clock and frames wait for
// their tick, as under the host's timer. Without pacing, the module's clock
// reads a virtual clock that starts at VirtualClockStart and advances one
// frame interval before every tick frame, so the scene (random seed included) is the same on every run
// and on every machine, however long a frame takes.
#pragma once

#include "host/loop/FrameTimes.h"
#include "host/app/Options.h"
#include "platform/SaverModule.h"

#include <string>
#include <vector>

struct SRecordResult
{
    int m_nFrames = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    CFrameTimes m_RenderMs; // per frame: Draw plus the driver finishing it
    double m_dAchievedFps = 0.0; // tick frames per wall-clock second (paced runs)
    bool m_bPaced = false;
    // Seconds from one frame interval before the two start-up frames showed
    // until the saver began to stop: what a sound recording keeps, so that
    // frame k of the recording shows k / FPS s into its sound.
    double m_dSoundSeconds = 0.0;
    int m_nFrameRate = 30; // the ticks a second it was recorded at
};

constexpr double VirtualClockStart = 1000000000.0; // seconds, the unpaced clock's first reading

// Records options.m_nFrames frames through the loaded module. packPath is
// the pack that must open (--pack or the bundle's media.dat); the module is
// told to use it only when --pack gave it. False with a one-line reason (no
// OpenGL view, unwritable folder, unreadable pack, failed write); the reason
// is empty when the module has already logged its own line.
bool Record(const SOptions& options, const SSaverModule& module, const std::string& packPath, SRecordResult& result,
            std::string& error);

// "veltrix: N frames WxH, render median X ms, p95 Y ms, max Z ms", plus the
// achieved frame rate when a paced run fell behind its ticks.
std::string FormatSummary(const SRecordResult& result);

// <bundle>/Contents/Resources/media.dat
std::string BundlePackPath(const std::string& bundle);
