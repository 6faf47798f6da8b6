#include "host/Recorder.h"

#include "core/Config.h"
#include "core/ScreenSaver.h"
#include "core/Util.h"
#include "host/FrameWriter.h"
#include "host/QuietAudio.h"
#include "host/StopSignal.h"
#include "pack/PackReader.h"
#include "platform/HeadlessGL.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double g_VirtualNow = VirtualClockStart;
double VirtualClock() { return g_VirtualNow; }

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Restores the wall clock and closes what a recording opened, on every way out.
struct SSession
{
    ~SSession()
    {
        SetTimeSourceForTesting(nullptr);
        CPackReader::Done();
    }
};

} // namespace

bool Record(const SOptions& options, const std::string& packPath, CHeadlessGL& gl, SRecordResult& result,
            std::string& error)
{
    result = SRecordResult();
    result.m_nWidth = options.m_nWidth;
    result.m_nHeight = options.m_nHeight;
    result.m_bPaced = options.m_bPacing;

    std::error_code ec;
    std::filesystem::create_directories(options.m_Output, ec);
    if (ec || !std::filesystem::is_directory(options.m_Output, ec)) {
        error = "cannot create output folder " + options.m_Output + ": " +
                (ec ? ec.message() : std::string("not a folder"));
        return false;
    }
    if (access(options.m_Output.c_str(), W_OK | X_OK) != 0) {
        error = "cannot write to output folder " + options.m_Output;
        return false;
    }

    if (!gl.Create(options.m_nWidth, options.m_nHeight)) {
        error = "no headless OpenGL context: " + gl.Error();
        return false;
    }

    SSession session;
    if (!CPackReader::Init(packPath.c_str())) {
        error = "cannot open pack " + packPath;
        return false;
    }
    if (!options.m_bPacing) {
        g_VirtualNow = VirtualClockStart;
        SetTimeSourceForTesting(&VirtualClock);
    }

    SCONFIG config;
    config.m_bPreview = options.m_bPreview;
    config.m_bMainScreen = !options.m_bSecondary;
    if (options.m_bNoSound)
        config.m_nEnableSounds = 0;
    if (options.m_nVolume >= 0)
        config.m_nSoundVolume = options.m_nVolume;

    CScreenSaver saver;
    saver.Init(&config);

    // Frames left by an earlier, longer run would mix with this one's; they
    // go only once this one has started (and if they cannot, it records nothing).
    const int oldFrames = CFrameWriter::RemoveOldFrames(options.m_Output, error);
    if (oldFrames > 0)
        std::fprintf(stderr, "veltrix: removed %d frames of an earlier recording from %s\n", oldFrames,
                     options.m_Output.c_str());
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    CFrameWriter writer(options.m_Output, options.m_nWidth, options.m_nHeight, options.m_nFrames);
    std::vector<unsigned char> pixels;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(FrameInterval));
    Clock::time_point tickOrigin;
    Clock::time_point nextTick;
    Clock::time_point lastTickStart;
    Clock::time_point firstShown;
    int tickFrames = 0;
    bool ok = oldFrames >= 0;

    // A stop signal ends the recording as if the last frame had come.
    for (int i = 0; i < options.m_nFrames && ok && !StopRequested(); ++i) {
        // The first two frames come at once, as when the saver starts; then one per tick.
        if (i == 2) {
            tickOrigin = Clock::now();
            nextTick = tickOrigin + interval;
        }
        if (i >= 2) {
            if (options.m_bPacing) {
                std::this_thread::sleep_until(nextTick);
                lastTickStart = Clock::now();
                // A late frame fires at once and the ticks restart from it: a
                // timer does not burst to catch up.
                nextTick = std::max(nextTick + interval, lastTickStart);
            } else {
                g_VirtualNow += FrameInterval;
            }
            ++tickFrames;
        }

        const Clock::time_point start = Clock::now();
        saver.Draw();
        glFlush();
        glFinish();
        result.m_RenderMs.push_back(Ms(Clock::now() - start));
        // The two start-up frames show together once both are drawn.
        if (i < 2)
            firstShown = Clock::now();
        // By the first frame the music has started, or found no device to start on.
        if (i == 0 && !options.m_bNoSound && !options.m_bPreview && !options.m_bSecondary && !AudioDeviceOpen())
            std::fprintf(stderr, "veltrix: no audio device; running without music\n");

        if (!writer.Take(pixels, error)) {
            ok = false;
            break;
        }
        if (!gl.ReadPixels(pixels)) {
            error = "cannot read the rendered frame back";
            ok = false;
            break;
        }
        writer.Submit(i + 1, std::move(pixels));
        if (terminal) {
            std::printf("\rveltrix: frame %d/%d", i + 1, options.m_nFrames);
            std::fflush(stdout);
        }
    }
    if (terminal) {
        std::printf("\r\033[K");
        std::fflush(stdout);
    }

    if (options.m_bPacing && tickFrames > 0) {
        const double span = std::chrono::duration<double>(lastTickStart - tickOrigin).count();
        if (span > 0.0)
            result.m_dAchievedFps = tickFrames / span;
    }
    // The last frame stays up until the next tick, and its sound plays on until then.
    if (options.m_bPacing && tickFrames > 0)
        std::this_thread::sleep_until(nextTick);
    if (firstShown != Clock::time_point())
        result.m_dSoundSeconds = std::chrono::duration<double>(Clock::now() - firstShown).count() + FrameInterval;
    saver.Done();
    if (!writer.Finish(error))
        ok = false;
    result.m_nFrames = writer.Written();
    return ok;
}

std::string FormatSummary(const SRecordResult& r)
{
    const double median = r.m_RenderMs.Percentile(0.5);
    const double p95 = r.m_RenderMs.Percentile(0.95);
    const double max = r.m_RenderMs.Max();
    char line[256];
    std::snprintf(line, sizeof line, "veltrix: %d frames %dx%d, render median %.1f ms, p95 %.1f ms, max %.1f ms",
                  r.m_nFrames, r.m_nWidth, r.m_nHeight, median, p95, max);
    std::string text = line;
    // Below 30 a second the recording no longer keeps real time; say what it managed.
    if (r.m_bPaced && r.m_dAchievedFps > 0.0 && r.m_dAchievedFps < 29.5) {
        std::snprintf(line, sizeof line, ", achieved %.1f fps", r.m_dAchievedFps);
        text += line;
    }
    return text;
}

std::string DefaultPackPath()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path folder = ec ? std::filesystem::current_path(ec) : exe.parent_path();
    return (folder / "Veltrix.saver" / "Contents" / "Resources" / "media.dat").string();
}
