#include "host/record/Recorder.h"

#include "host/record/FrameWriter.h"
#include "host/app/ModuleLoader.h"
#include "host/record/QuietAudio.h"
#include "host/loop/RenderScale.h"
#include "host/loop/StopSignal.h"
#include "pack/PackReader.h"

#include <EGL/egl.h>
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
double VirtualClock()
{
    return g_VirtualNow;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Gives the module back its own clock, pack and settings on every way out.
struct SSession
{
    const SSaverModule& m_Module;

    ~SSession()
    {
        m_Module.set_time_source(nullptr);
        m_Module.set_resource_path(nullptr);
        m_Module.set_run_settings(nullptr);
    }
};

// The frame the view just presented, from its framebuffer (bound while its
// context is current), rows from the top of the picture down.
bool ReadFrame(int width, int height, std::vector<unsigned char>& rgba)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    const size_t row = static_cast<size_t>(width) * 4; // RGBA rows meet the default alignment of 4
    rgba.resize(row * static_cast<size_t>(height));
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(rgba.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(top)),
                         rgba.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(top + 1)),
                         rgba.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(bottom)));
    return glGetError() == GL_NO_ERROR;
}

// Every frame the view presents, the two that start renders included, is
// timed and written, up to the number asked for.
struct SCapture
{
    const SOptions& m_Options;
    CFrameWriter& m_Writer;
    SRecordResult& m_Result;
    std::string& m_Error;
    bool m_bTerminal;
    int m_nPresented = 0;
    double m_dLastSeconds = 0.0; // the last frame's render time
    bool m_bOk = true;
    Clock::time_point m_Begin{};
    Clock::time_point m_FirstShown{};
    std::vector<unsigned char> m_Pixels{};

    static void OnFrame(void* context, int event) { static_cast<SCapture*>(context)->_OnFrame(event); }

    void _OnFrame(int event)
    {
        if (!m_bOk || m_nPresented >= m_Options.m_nFrames)
            return;
        if (event == SAVER_FRAME_BEGIN) {
            m_Begin = Clock::now();
            return;
        }
        glFinish();
        const double ms = Ms(Clock::now() - m_Begin);
        m_dLastSeconds = ms / 1000.0;
        m_Result.m_RenderMs.push_back(ms);
        const int number = ++m_nPresented;
        // The two start-up frames show together once both are drawn.
        if (number <= 2)
            m_FirstShown = Clock::now();
        // By the first frame the music has started, or found no device to start on.
        if (number == 1 && !m_Options.m_bNoSound && !m_Options.m_bPreview && !m_Options.m_bSecondary &&
            !AudioDeviceOpen())
            std::fprintf(stderr, "veltrix: no audio device; running without music\n");
        if (!m_Writer.Take(m_Pixels, m_Error)) {
            m_bOk = false;
            return;
        }
        if (!ReadFrame(m_Options.m_nWidth, m_Options.m_nHeight, m_Pixels)) {
            m_Error = "cannot read the rendered frame back";
            m_bOk = false;
            return;
        }
        m_Writer.Submit(number, std::move(m_Pixels));
        if (m_bTerminal) {
            std::printf("\rveltrix: frame %d/%d", number, m_Options.m_nFrames);
            std::fflush(stdout);
        }
    }
};

} // namespace

bool Record(const SOptions& options, const SSaverModule& module, const std::string& packPath, SRecordResult& result,
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
    // The module quietly shows its error picture without a pack; a recording
    // of that is no use, so a pack that does not open stops it here.
    const bool packOpens = CPackReader::Init(packPath.c_str());
    CPackReader::Done();
    if (!packOpens) {
        error = "cannot open pack " + packPath;
        return false;
    }

    SSession session{module};
    const SSaverRunSettings run = RunSettings(options);
    module.set_run_settings(&run);
    module.set_resource_path(options.m_Pack.empty() ? nullptr : packPath.c_str());
    if (!options.m_bPacing) {
        g_VirtualNow = VirtualClockStart;
        module.set_time_source(&VirtualClock);
    }

    // A secondary screen lies beside the main one.
    const SSaverTarget headless = {SAVER_TARGET_HEADLESS, nullptr, 0, nullptr};
    const double width = options.m_nWidth;
    const double height = options.m_nHeight;
    SSaverView* view =
        module.create(&headless, options.m_bSecondary ? width : 0.0, 0.0, width, height, options.m_bPreview ? 1 : 0);
    if (!view) {
        error.clear(); // the module has said why in its one line
        return false;
    }
    module.set_frame_size(view, width, height);
    // Frames at a share of the picture's size, scaled up to it.
    const double fixedScale = RenderScaleOf(options);
    const char* why = nullptr;
    if (fixedScale > 0.0 && fixedScale != 1.0 && !module.set_render_scale(view, fixedScale, &why))
        std::fprintf(stderr, "veltrix: recording at render scale 1: %s\n", why ? why : "unknown");

    // Frames left by an earlier, longer run would mix with this one's; they
    // go only once this one has started (and if they cannot, it records nothing).
    const int oldFrames = CFrameWriter::RemoveOldFrames(options.m_Output, error);
    if (oldFrames < 0) {
        module.destroy(view);
        return false;
    }
    if (oldFrames > 0)
        std::fprintf(stderr, "veltrix: removed %d frames of an earlier recording from %s\n", oldFrames,
                     options.m_Output.c_str());

    CFrameWriter writer(options.m_Output, options.m_nWidth, options.m_nHeight, options.m_nFrames);
    SCapture capture{options, writer, result, error, isatty(STDOUT_FILENO) != 0};
    module.set_frame_callback(view, &SCapture::OnFrame, &capture);

    // start presents the first two frames at once; then one per tick.
    module.start(view);
    if (options.m_bVerbose) {
        // Which EGL and renderer the module's context landed on: a GPU, or Mesa's software renderer.
        const EGLDisplay display = eglGetCurrentDisplay();
        const char* vendor = display != EGL_NO_DISPLAY ? eglQueryString(display, EGL_VENDOR) : nullptr;
        const GLubyte* renderer = glGetString(GL_RENDERER);
        std::fprintf(stderr, "veltrix: EGL vendor %s, renderer %s\n", vendor ? vendor : "unknown",
                     renderer ? reinterpret_cast<const char*>(renderer) : "unknown");
    }
    const double frameInterval = 1.0 / options.m_nFrameRate; // seconds, the host's timer
    result.m_nFrameRate = options.m_nFrameRate;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frameInterval));
    const Clock::time_point tickOrigin = Clock::now();
    Clock::time_point nextTick = tickOrigin + interval;
    Clock::time_point lastTickStart = tickOrigin;
    int tickFrames = 0;
    bool autoScale = fixedScale <= 0.0;
    CRenderScalePolicy scalePolicy(frameInterval);
    // A stop signal ends the recording as if the last frame had come.
    while (capture.m_bOk && capture.m_nPresented < options.m_nFrames && !StopRequested()) {
        if (options.m_bPacing) {
            std::this_thread::sleep_until(nextTick);
            lastTickStart = Clock::now();
            // A late frame fires at once and the ticks restart from it: a
            // timer does not burst to catch up.
            nextTick = std::max(nextTick + interval, lastTickStart);
        } else {
            g_VirtualNow += frameInterval;
        }
        ++tickFrames;
        module.animate(view);
        const double drawn = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        if (autoScale && scalePolicy.Add(drawn, capture.m_dLastSeconds)) {
            if (!module.set_render_scale(view, scalePolicy.Scale(), &why)) {
                std::fprintf(stderr, "veltrix: recording at render scale 1: %s\n", why ? why : "unknown");
                autoScale = false;
            } else if (options.m_bVerbose) {
                std::fprintf(stderr, "veltrix: frame %d on at render scale %.2f (frame time %.1f ms)\n",
                             capture.m_nPresented + 1, scalePolicy.Scale(), scalePolicy.Cause() * 1000.0);
            }
        }
    }
    if (capture.m_bTerminal) {
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
    if (capture.m_FirstShown != Clock::time_point())
        result.m_dSoundSeconds =
            std::chrono::duration<double>(Clock::now() - capture.m_FirstShown).count() + frameInterval;
    module.set_frame_callback(view, nullptr, nullptr);
    module.stop(view);
    module.destroy(view);
    bool ok = capture.m_bOk;
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
    // Below its frame rate the recording no longer keeps real time; say what it managed.
    if (r.m_bPaced && r.m_dAchievedFps > 0.0 && r.m_dAchievedFps < r.m_nFrameRate - 0.5) {
        std::snprintf(line, sizeof line, ", achieved %.1f fps", r.m_dAchievedFps);
        text += line;
    }
    return text;
}

std::string BundlePackPath(const std::string& bundle)
{
    return bundle + "/Contents/Resources/media.dat";
}
