#include "fuzz/NullAudio.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <cstdlib>

namespace {

bool g_bAudio = false; // a context is current

} // namespace

void OpenNullAudio()
{
    static const bool opened = [] {
        setenv("ALSOFT_DRIVERS", "null", 1);
        ALCdevice* device = alcOpenDevice(nullptr);
        ALCcontext* context = device != nullptr ? alcCreateContext(device, nullptr) : nullptr;
        g_bAudio = context != nullptr && alcMakeContextCurrent(context) == ALC_TRUE;
        return true;
    }();
    (void)opened;
}

void CheckAndDeleteBuffer(uint32_t name)
{
    if (!g_bAudio) {
        if (name != 0)
            std::abort();
        return;
    }
    if (name != 0) {
        if (alIsBuffer(name) != AL_TRUE)
            std::abort();
        alDeleteBuffers(1, &name);
    }
    if (alGetError() != AL_NO_ERROR)
        std::abort();
}
