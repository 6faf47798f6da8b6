// veltrix: the saver's program. It records without a display (--headless),
// or loads the saver module and shows it on the X display: in a window, as
// an XScreenSaver hack (--root, --window-id) or on every monitor
// (--all-screens).
#include "host/AudioCapture.h"
#include "host/Options.h"
#include "host/Recorder.h"
#include "host/XModes.h"
#include "platform/HeadlessGL.h"

#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>
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

int RunHeadless(const SOptions& options)
{
    std::string error;
    const std::string pack = options.m_Pack.empty() ? DefaultPackPath() : options.m_Pack;
    // OpenAL Soft reads its configuration at the first call, so the capture is
    // set up before anything can open a device, and ended after the saver has
    // closed it (which completes the WAVE header).
    if (!options.m_Audio.empty() && !BeginAudioCapture(options.m_Audio.c_str(), &error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    CHeadlessGL gl;   // outlives the check in Finish
    SRecordResult result;
    const bool recorded = Record(options, pack, gl, result, error);
    EndAudioCapture();
    if (!recorded) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return Finish(1);
    }
    std::printf("%s\n", FormatSummary(result).c_str());
    return Finish(0);
}

// Stand-in until the module loader lands: the bundle beside the program.
const SSaverModule* LoadModule(std::string& error)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
    dir = dir.substr(0, dir.rfind('/'));
    const std::string path = dir + "/Veltrix.saver/Contents/Linux/Veltrix.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = "cannot load the saver module " + path + ": " + dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<PFNVELTRIXSAVERMODULE>(dlsym(handle, VELTRIX_SAVER_MODULE_SYMBOL));
    const SSaverModule* module = entry ? entry(VELTRIX_SAVER_MODULE_ABI) : nullptr;
    if (!module)
        error = "the saver module " + path + " has no usable entry point";
    return module;
}

int RunOnDisplay(const SOptions& options)
{
    std::string error;
    if (!options.m_Audio.empty() && !BeginAudioCapture(options.m_Audio.c_str(), &error)) {
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
        return 1;
    }
    const SSaverModule* module = LoadModule(error);
    int status = 1;
    if (!module)
        std::fprintf(stderr, "veltrix: %s\n", error.c_str());
    else if (options.m_bAllScreens)
        status = RunAllScreens(*module, options);
    else if (options.m_bRoot || options.m_WindowId != 0)
        status = RunHack(*module, options);
    else
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
    return options.m_bHeadless ? RunHeadless(options) : RunOnDisplay(options);
}
