#include "host/record/QuietAudio.h"

#include <AL/alc.h>

#include <cstdlib>
#include <dlfcn.h>

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
