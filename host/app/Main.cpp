// veltrix: the saver's program. It loads the saver module and hosts its
// views: recording without a display (--headless), on a Wayland compositor
// in a window or on every output (--all-screens), or on the X display in a
// window, as an XScreenSaver hack (--root, --window-id) or on every monitor;
// or it waits for the desktop to go idle and shows the saver then (--idle).
#include "host/record/AudioCapture.h"
#include "host/x11/ConfigureMode.h"
#include "host/idle/Idle.h"
#include "host/app/ModuleLoader.h"
#include "host/app/Options.h"
#include "host/app/PackCheck.h"
#include "host/app/RunSettings.h"
#include "host/record/QuietAudio.h"
#include "host/record/Recorder.h"
#include "host/loop/StopSignal.h"
#include "host/wayland/WaylandHost.h"
#include "host/x11/XHost.h"
#include "host/x11/XModes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Sanitizer builds check for leaks before the process exits, while the
// module, and with it Mesa's driver, is still loaded: what the driver keeps
// would otherwise show as leaks from a nameless module that the suppression
// file cannot recognise.
int Finish(int status)
{
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    return status;
}

// The module named by --module or found in the usual places; null after
// printing the one-line reason.
const SSaverModule* LoadSaver(const SOptions& options, std::string& bundle)
{
    bundle = FindModuleBundle(options.m_Module);
    std::string error;
    const SSaverModule* module = LoadModule(bundle, error);
    if (!module)
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
    return module;
}

int PrintVersion(const SOptions& options)
{
    std::string bundle;
    const SSaverModule* module = LoadSaver(options, bundle);
    if (!module)
        return 1;
    std::printf("veltrix %s\n", module->version);
    return 0;
}

int RunHeadless(const SOptions& options)
{
    std::string error;
    CatchStopSignals();
    QuietAudioMessages();
    const std::string pack =
        options.m_Pack.empty() ? BundlePackPath(FindModuleBundle(options.m_Module)) : options.m_Pack;
    std::error_code same;
    if (!options.m_Audio.empty() && std::filesystem::equivalent(options.m_Audio, pack, same)) {
        std::fprintf(stderr, "veltrix: %s: the audio recording would overwrite the pack\n", options.m_Audio.c_str());
        return 1;
    }
    // OpenAL Soft reads its configuration at the first call, so the capture is
    // set up before the module can open a device, and ended after the view has
    // closed it (which completes the WAVE header).
    if (!options.m_Audio.empty() && !BeginAudioCapture(options.m_Audio.c_str(), &error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    std::string bundle;
    const SSaverModule* module = LoadSaver(options, bundle);
    if (!module) {
        EndAudioCapture();
        return 1;
    }
    // Recording what the saver shows is right, but a scene it cannot load must not pass for success.
    if (const std::string entry = FirstUnloadableSceneEntry(pack); !entry.empty())
        std::fprintf(stderr,
                     "veltrix: warning: the scene cannot load %s from %s; recording what the saver shows anyway\n",
                     entry.c_str(), pack.c_str());
    SRecordResult result;
    const bool recorded = Record(options, *module, pack, result, error);
    // A run that failed leaves the audio file as it was; a recording gets it
    // checked and lined up with its frames.
    const bool audioDone = recorded && FinishAudioCapture(result.m_dSoundSeconds, &error);
    EndAudioCapture();
    if (!audioDone) {
        if (!error.empty())
            std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return Finish(1);
    }
    std::printf("%s\n", FormatSummary(result).c_str());
    return Finish(0);
}

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value;
}

// The window modes on the Wayland compositor, which wins over an X server
// (XWayland's) beside it, as GTK and SDL choose.
int RunOnWayland(wl_display* display, const SSaverModule& module, const SOptions& options)
{
    CWaylandHost host(display);
    std::string error;
    // A background is quiet unless asked: it plays under whatever the desktop does.
    ApplyRunSettings(module, options, options.m_bBackground && !options.m_bSound);
    // It runs all session long under whatever the user does, as a hack runs under XScreenSaver.
    if (options.m_bBackground)
        LowerSaverPriority();
    const EWaylandMode mode = options.m_bBackground   ? EWaylandMode::Background
                              : options.m_bAllScreens ? EWaylandMode::AllScreens
                                                      : EWaylandMode::Window;
    if (!host.Open(mode, error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    return host.Run(module, options);
}

int RunOnDisplay(const SOptions& options)
{
    std::string error;
    // XScreenSaver's modes, the sheet (GTK over an X preview) and --x11 stay on X.
    const bool waylandModes = !options.m_bX11 && !options.m_bConfigure && !options.m_bRoot && options.m_WindowId == 0;
    wl_display* wayland = waylandModes ? ConnectWayland() : nullptr;
    if (options.m_bBackground && !wayland) {
        std::fprintf(stderr, "veltrix: --background needs a Wayland compositor (WAYLAND_DISPLAY or "
                             "WAYLAND_SOCKET); on X, --root draws the root window\n");
        return 1;
    }
    if (waylandModes && !wayland && IsSet("WAYLAND_DISPLAY") && !IsSet("DISPLAY")) {
        std::fprintf(stderr,
                     "veltrix: cannot connect to the Wayland compositor '%s' (WAYLAND_DISPLAY), and DISPLAY is not "
                     "set; --headless records without one\n",
                     std::getenv("WAYLAND_DISPLAY"));
        return 1;
    }
    QuietAudioMessages();
    FindUserRuntimeDir();
    if (!options.m_Audio.empty() && !BeginAudioCapture(options.m_Audio.c_str(), &error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        if (wayland)
            DisconnectWayland(wayland);
        return 1;
    }
    // Without its server the host leaves at once; the recording is completed first.
    SetLostServerCleanup([] {
        CloseAudioDevice();
        EndAudioCapture();
    });
    std::string bundle;
    const SSaverModule* module = LoadSaver(options, bundle);
    int status = 1;
    if (wayland && module)
        status = RunOnWayland(wayland, *module, options);
    else if (wayland)
        DisconnectWayland(wayland);
    else if (module && options.m_bConfigure)
        status = RunConfigure(*module, options);
    else if (module && options.m_bAllScreens)
        status = RunAllScreens(*module, options);
    else if (module && (options.m_bRoot || options.m_WindowId != 0))
        status = RunHack(*module, options);
    else if (module)
        status = RunWindow(*module, options);
    EndAudioCapture();
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
    if (options.m_bVersion)
        return PrintVersion(options);
    if (options.m_nIdleSeconds > 0) {
        if (const std::string conflict = IdleConflict(options); !conflict.empty()) {
            std::fprintf(stderr, "veltrix: %s\n", conflict.c_str());
            return 1;
        }
        return RunIdle(options);
    }
    return options.m_bHeadless ? RunHeadless(options) : RunOnDisplay(options);
}
