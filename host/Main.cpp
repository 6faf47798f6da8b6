// veltrix: the saver's program. For now it has the recording mode only; the
// windowed and XScreenSaver modes come with the desktop host.
#include "host/AudioCapture.h"
#include "host/Options.h"
#include "host/PackCheck.h"
#include "host/QuietAudio.h"
#include "host/Recorder.h"
#include "host/StopSignal.h"
#include "platform/HeadlessGL.h"

#include <cstdio>
#include <filesystem>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Sanitizer builds check for leaks while the context, and with it Mesa's
// driver, still exists: the driver is unloaded with the last context, and what
// it keeps would then show as leaks from a nameless module that the
// suppression file cannot recognise.
int Finish(int status)
{
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    SOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    if (options.m_bHelp) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (!options.m_bHeadless) {
        std::fprintf(stderr, "veltrix: only the recording mode exists so far; run with --headless (see --help)\n");
        return 1;
    }

    const std::string pack = options.m_Pack.empty() ? DefaultPackPath() : options.m_Pack;
    CatchStopSignals();
    QuietAudioMessages();
    std::error_code same;
    if (!options.m_Audio.empty() && std::filesystem::equivalent(options.m_Audio, pack, same)) {
        std::fprintf(stderr, "veltrix: %s: the audio recording would overwrite the pack\n", options.m_Audio.c_str());
        return 1;
    }
    // OpenAL Soft reads its configuration at the first call, so the capture is
    // set up before anything can open a device, and ended after the saver has
    // closed it (which completes the WAVE header).
    if (!options.m_Audio.empty() && !BeginAudioCapture(options.m_Audio.c_str(), &error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    // Recording what the saver shows is right, but a scene it cannot load must not pass for success.
    if (const std::string entry = FirstUnloadableSceneEntry(pack); !entry.empty())
        std::fprintf(stderr,
                     "veltrix: warning: the scene cannot load %s from %s; recording what the saver shows anyway\n",
                     entry.c_str(), pack.c_str());
    CHeadlessGL gl;   // outlives the check in Finish
    SRecordResult result;
    const bool recorded = Record(options, pack, gl, result, error);
    // A run that failed leaves the audio file as it was; a recording gets it
    // checked and lined up with its frames.
    const bool audioDone = recorded && FinishAudioCapture(result.m_dSoundSeconds, &error);
    EndAudioCapture();
    if (!audioDone) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return Finish(1);
    }
    std::printf("%s\n", FormatSummary(result).c_str());
    return Finish(0);
}
