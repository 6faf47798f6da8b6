#include "tests/sound/AlCallRecorder.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <dlfcn.h>

namespace soundtest {
SAlCalls& AlCalls()
{
    static SAlCalls calls;
    return calls;
}
void ResetAlCalls()
{
    AlCalls() = SAlCalls();
}
} // namespace soundtest

namespace {
template <typename F> F Real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
} // namespace

#define REAL(fn) static const auto real = Real<decltype(&fn)>(#fn)

extern "C" {

void alSourcePlay(ALuint source)
{
    REAL(alSourcePlay);
    ++soundtest::AlCalls().m_nSourceCalls;
    real(source);
}

void alSourceStop(ALuint source)
{
    REAL(alSourceStop);
    ++soundtest::AlCalls().m_nSourceCalls;
    real(source);
}

void alSourcef(ALuint source, ALenum param, ALfloat value)
{
    REAL(alSourcef);
    ++soundtest::AlCalls().m_nSourceCalls;
    real(source, param, value);
}

void alSourcefv(ALuint source, ALenum param, const ALfloat* values)
{
    REAL(alSourcefv);
    ++soundtest::AlCalls().m_nSourceCalls;
    real(source, param, values);
}

void alSourcei(ALuint source, ALenum param, ALint value)
{
    REAL(alSourcei);
    ++soundtest::AlCalls().m_nSourceCalls;
    real(source, param, value);
}

void alGetSourcei(ALuint source, ALenum param, ALint* value)
{
    REAL(alGetSourcei);
    ++soundtest::AlCalls().m_nSourceCalls;
    real(source, param, value);
}

void alGenSources(ALsizei n, ALuint* sources)
{
    REAL(alGenSources);
    soundtest::AlCalls().m_nGenSources += n;
    real(n, sources);
}

void alDeleteSources(ALsizei n, const ALuint* sources)
{
    REAL(alDeleteSources);
    ++soundtest::AlCalls().m_nSourceCalls;
    soundtest::AlCalls().m_nDelSources += n;
    real(n, sources);
    // OpenAL deletes all of the names or none; see which survived.
    for (ALsizei i = 0; i < n; ++i)
        if (alIsSource(sources[i]))
            ++soundtest::AlCalls().m_nSourcesLeft;
}

void alListenerf(ALenum param, ALfloat value)
{
    REAL(alListenerf);
    ++soundtest::AlCalls().m_nListenerCalls;
    real(param, value);
}

void alGenBuffers(ALsizei n, ALuint* buffers)
{
    REAL(alGenBuffers);
    real(n, buffers);
    for (ALsizei i = 0; i < n; ++i)
        soundtest::AlCalls().m_GenBuffers.insert(buffers[i]);
}

void alDeleteBuffers(ALsizei n, const ALuint* buffers)
{
    REAL(alDeleteBuffers);
    for (ALsizei i = 0; i < n; ++i)
        if (buffers[i] != 0)
            soundtest::AlCalls().m_DelBuffers.insert(buffers[i]);
    real(n, buffers);
    for (ALsizei i = 0; i < n; ++i)
        if (buffers[i] != 0 && alIsBuffer(buffers[i]))
            ++soundtest::AlCalls().m_nBuffersLeft;
}

ALCdevice* alcOpenDevice(const ALCchar* name)
{
    REAL(alcOpenDevice);
    ALCdevice* device = real(name);
    soundtest::AlCalls().m_nDevicesOpened += device != nullptr;
    return device;
}

ALCboolean alcCloseDevice(ALCdevice* device)
{
    REAL(alcCloseDevice);
    ++soundtest::AlCalls().m_nDevicesClosed;
    return real(device);
}

} // extern "C"
