#include "host/record/QuietAudio.h"

#include <AL/alc.h>

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ALSA's error handler type; its header is not needed for one call.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int err, const char* fmt, ...);

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...)
{}

} // namespace

void QuietAudioMessages()
{
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    // OpenAL Soft loads ALSA itself when it tries that backend and gets this
    // same, already loaded, library; it stays loaded so the handler holds.
    if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL)) {
        using SetHandler = int (*)(AlsaErrorHandler);
        if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
            set(IgnoreAlsaError);
    }
}

bool AudioDeviceOpen()
{
    return alcGetCurrentContext() != nullptr;
}

void CloseAudioDevice()
{
    ALCcontext* context = alcGetCurrentContext();
    if (!context)
        return;
    ALCdevice* device = alcGetContextsDevice(context);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}

bool IsPrivateRuntimeDir(const char* dir, uid_t uid)
{
    struct stat st = {};
    return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 07777) == 0700;
}

void FindUserRuntimeDir()
{
    if (const char* set = std::getenv("XDG_RUNTIME_DIR"); set && *set)
        return;
    const std::string dir = "/run/user/" + std::to_string(getuid());
    if (IsPrivateRuntimeDir(dir.c_str(), getuid()))
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}
