#include "sound/Sound.h"

#include "pack/PackReader.h"
#include "sound/SoundDecode.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <cmath>
#include <numbers>
#include <cstring>
#include <strings.h>

namespace snd {
std::vector<uint32_t> BufferArray;
std::vector<std::string> NameArray;
std::vector<uint32_t> SourceArray;

namespace {
ALCdevice* sndDevice = nullptr;
ALCcontext* sndContext = nullptr;
} // namespace
} // namespace snd

namespace {

bool IsValidHandle(int handle)
{
    return handle >= 0 && size_t(handle) < snd::SourceArray.size();
}

// "a.ogg" and "A.OgG" are Ogg Vorbis; "ogg" and ".ogg" are too short to be.
bool IsOggName(const char* name)
{
    const size_t length = std::strlen(name);
    return length >= 5 && strcasecmp(name + length - 3, "ogg") == 0;
}

void ClearTables()
{
    snd::BufferArray.clear();
    snd::NameArray.clear();
    snd::SourceArray.clear();
}

} // namespace

int sndInit()
{
    ClearTables();
    snd::sndDevice = alcOpenDevice(nullptr);
    if (snd::sndDevice == nullptr)
        return 0;
    snd::sndContext = alcCreateContext(snd::sndDevice, nullptr);
    if (snd::sndContext == nullptr)
        return 0;
    alcMakeContextCurrent(snd::sndContext);
    if (alGetError() != AL_NO_ERROR)
        return 0;
    if (alcGetError(snd::sndDevice) != ALC_NO_ERROR)
        return 0;
    return 1;
}

void sndDone()
{
    alListenerf(AL_GAIN, 0.0f);
    for (ALuint source : snd::SourceArray)
        alSourceStop(source);
    // Sources go before the buffers they play. OpenAL deletes nothing from a
    // list holding one dead name, and a buffer still attached to a live source
    // cannot go either, so a handle released by sndDelete must not keep every
    // other sound alive: only names that are still sources are passed.
    std::vector<ALuint> live;
    live.reserve(snd::SourceArray.size());
    for (ALuint source : snd::SourceArray)
        if (alIsSource(source))
            live.push_back(source);
    alDeleteSources(ALsizei(live.size()), live.data());
    alDeleteBuffers(ALsizei(snd::BufferArray.size()), snd::BufferArray.data());
    ClearTables();
    alGetError();
    // Release the context before destroying it, and destroy it before the device closes.
    alcMakeContextCurrent(nullptr);
    if (snd::sndContext != nullptr)
        alcDestroyContext(snd::sndContext);
    if (snd::sndDevice != nullptr)
        alcCloseDevice(snd::sndDevice);
    snd::sndContext = nullptr;
    snd::sndDevice = nullptr;
}

int sndMakeCurrentContext()
{
    if (snd::sndContext == nullptr)
        return 0;
    alcMakeContextCurrent(snd::sndContext);
    return 1;
}

int sndCreate(const char* name)
{
    alGetError();
    if (name == nullptr)
        return -1;

    size_t index = 0;
    while (index < snd::NameArray.size() && snd::NameArray[index] != name)
        ++index;
    if (index == snd::NameArray.size()) {
        std::unique_ptr<IData> data = CPackReader::LoadData(name);
        if (!data)
            return -1;
        const uint32_t size = data->GetSize() > 0 ? uint32_t(data->GetSize()) : 0;
        const uint32_t buffer = IsOggName(name) ? CreateBufferFromOggFileImage(data->GetData(), size)
                                                : CreateBufferFromWavFileImage(data->GetData(), size);
        if (buffer == 0)
            return -1;
        if (alGetError() != AL_NO_ERROR) {
            ALuint stale = buffer;
            alDeleteBuffers(1, &stale);
            alGetError();
            return -1;
        }
        snd::BufferArray.push_back(buffer);
        snd::NameArray.push_back(name);
    }

    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR)
        return -1;
    alSourcef(source, AL_PITCH, 1.0f);
    alSourcef(source, AL_GAIN, 1.0f);
    alSourcei(source, AL_BUFFER, ALint(snd::BufferArray[index]));
    if (alGetError() != AL_NO_ERROR) {
        // The buffer stays registered for a later create of the same name;
        // the half set-up source would only leak.
        alDeleteSources(1, &source);
        alGetError();
        return -1;
    }
    snd::SourceArray.push_back(source);
    return int(snd::SourceArray.size() - 1);
}

int sndDelete(int handle)
{
    if (!IsValidHandle(handle))
        return 0;
    alDeleteSources(1, &snd::SourceArray[size_t(handle)]);
    // OpenAL hands freed names out again: the dead handle keeps a name that no
    // source ever has, so calls on it are refused instead of reaching a later
    // sound's source.
    snd::SourceArray[size_t(handle)] = 0;
    return 1;
}

int sndPlay(int handle, bool loop)
{
    if (!IsValidHandle(handle))
        return 0;
    const ALuint source = snd::SourceArray[size_t(handle)];
    alSourcei(source, AL_LOOPING, loop ? 1 : 0);
    alSourcePlay(source);
    return 1;
}

int sndStop(int handle)
{
    if (!IsValidHandle(handle))
        return 0;
    alSourceStop(snd::SourceArray[size_t(handle)]);
    return 1;
}

int sndIsPlaying(int handle)
{
    if (!IsValidHandle(handle))
        return 0;
    ALint state = AL_INITIAL;
    alGetSourcei(snd::SourceArray[size_t(handle)], AL_SOURCE_STATE, &state);
    return state == AL_PLAYING ? 1 : 0;
}

int sndSetVolume(int handle, float gain)
{
    if (!IsValidHandle(handle))
        return 0;
    alSourcef(snd::SourceArray[size_t(handle)], AL_GAIN, gain);
    return 1;
}

int sndSetPitch(int handle, float pitch)
{
    if (!IsValidHandle(handle))
        return 0;
    alSourcef(snd::SourceArray[size_t(handle)], AL_PITCH, pitch);
    return 1;
}

int sndSetPan(int handle, float pan)
{
    if (!IsValidHandle(handle))
        return 0;
    const float angle = float(double(1.0f - pan) * std::numbers::pi * 0.5);
    const ALfloat position[3] = {std::cos(angle), 0.0f, -std::sin(angle)};
    alSourcefv(snd::SourceArray[size_t(handle)], AL_POSITION, position);
    return 1;
}

int sndSetMasterVolume(float gain)
{
    alListenerf(AL_GAIN, gain);
    return 1;
}
