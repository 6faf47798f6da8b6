#include "sound/Sound.h"

#include "pack/PackReader.h"
#include "sound/SoundDecode.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
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

// OpenAL Soft's buffer mapping (AL_SOFT_map_buffer, AL_SOFTX_map_buffer
// before it was final; the same entry points and bits).
using ALbitfieldSOFT = unsigned int;
const ALbitfieldSOFT MapReadBit = 0x1;
const ALbitfieldSOFT MapWriteBit = 0x2;
const ALbitfieldSOFT MapPersistentBit = 0x4;

struct SMapFunctions
{
    void(AL_APIENTRY* Storage)(ALuint, ALenum, const ALvoid*, ALsizei, ALsizei, ALbitfieldSOFT) = nullptr;
    void*(AL_APIENTRY* Map)(ALuint, ALsizei, ALsizei, ALbitfieldSOFT) = nullptr;
    void(AL_APIENTRY* Unmap)(ALuint) = nullptr;
    void(AL_APIENTRY* Flush)(ALuint, ALsizei, ALsizei) = nullptr; // optional

    // Looked up per context: the extension belongs to the device opened.
    bool Load()
    {
        if (!alIsExtensionPresent("AL_SOFT_map_buffer") && !alIsExtensionPresent("AL_SOFTX_map_buffer"))
            return false;
        Storage = reinterpret_cast<decltype(Storage)>(alGetProcAddress("alBufferStorageSOFT"));
        Map = reinterpret_cast<decltype(Map)>(alGetProcAddress("alMapBufferSOFT"));
        Unmap = reinterpret_cast<decltype(Unmap)>(alGetProcAddress("alUnmapBufferSOFT"));
        Flush = reinterpret_cast<decltype(Flush)>(alGetProcAddress("alFlushMappedBufferSOFT"));
        return Storage && Map && Unmap;
    }
};

SMapFunctions g_Map;

// A buffer still being decoded into: its pack entry, the decoder over it and
// OpenAL's own storage, mapped for writing until the last sample is in.
struct SDeferred
{
    std::unique_ptr<IData> m_pImage;
    COggStream m_Stream;
    unsigned char* m_pSamples = nullptr;
    int m_nFrameBytes = 0;
};

// Parallel to snd::BufferArray: null once a buffer is whole.
std::vector<std::unique_ptr<SDeferred>> g_Deferred;
// Parallel to snd::SourceArray: the index of the source's buffer.
std::vector<size_t> g_SourceBuffer;

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
    g_Deferred.clear();
    g_SourceBuffer.clear();
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
    for (size_t i = 0; i < g_Deferred.size(); ++i)
        if (g_Deferred[i])
            g_Map.Unmap(snd::BufferArray[i]);
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

namespace {

size_t FindName(const char* name)
{
    size_t index = 0;
    while (index < snd::NameArray.size() && snd::NameArray[index] != name)
        ++index;
    return index;
}

void RegisterBuffer(uint32_t buffer, const char* name, std::unique_ptr<SDeferred> deferred)
{
    snd::BufferArray.push_back(buffer);
    snd::NameArray.push_back(name);
    g_Deferred.push_back(std::move(deferred));
}

// A new source on a registered buffer: the new handle, or -1.
int AttachSource(size_t index)
{
    if (snd::BufferArray[index] == 0)
        return -1; // a deferred image that turned out damaged
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
    g_SourceBuffer.push_back(index);
    return int(snd::SourceArray.size() - 1);
}

// OpenAL leaves new storage as its allocator hands it out, which may be
// memory freed earlier (the last run's music, anything): if the host stalls
// and the source overtakes the decoding, it must play silence. Storage this
// large is mostly fresh pages, already zero; reading them costs far less than
// writing them all at start, so only pages holding something are cleared.
// A fresh page reads as the system's one shared zero page, which stays in
// the cache, so the comparison below costs the page faults and little more;
// a search for the first non-zero byte would cost a byte a cycle.
void ClearRecycled(unsigned char* samples, size_t bytes)
{
    constexpr size_t page = 4096;
    static const unsigned char zero[page] = {};
    for (size_t at = 0; at < bytes; at += page) {
        const size_t length = std::min(page, bytes - at);
        if (std::memcmp(samples + at, zero, length) != 0)
            std::memset(samples + at, 0, length);
    }
}

// Storage for the whole stream, mapped for writing: the buffer name, or 0.
uint32_t MappedBuffer(SDeferred& d)
{
    const COggStream& stream = d.m_Stream;
    const ALenum format = stream.Channels() == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    g_Map.Storage(buffer, format, nullptr, ALsizei(stream.Bytes()), ALsizei(stream.Rate()),
                  MapReadBit | MapWriteBit | MapPersistentBit);
    void* samples = nullptr;
    if (alGetError() == AL_NO_ERROR)
        samples = g_Map.Map(buffer, 0, ALsizei(stream.Bytes()), MapWriteBit | MapPersistentBit);
    if (alGetError() != AL_NO_ERROR || samples == nullptr) {
        if (buffer != 0)
            alDeleteBuffers(1, &buffer);
        alGetError();
        return 0;
    }
    ClearRecycled(static_cast<unsigned char*>(samples), size_t(stream.Bytes()));
    if (g_Map.Flush)
        g_Map.Flush(buffer, 0, ALsizei(stream.Bytes()));
    d.m_pSamples = static_cast<unsigned char*>(samples);
    d.m_nFrameBytes = stream.Channels() * 2;
    return buffer;
}

// A deferred image that cannot be decoded to its end: every sound on it
// stops and goes, and so does the buffer; the name stays, refusing loads.
void DropDeferred(size_t index)
{
    const ALuint buffer = snd::BufferArray[index];
    g_Map.Unmap(buffer);
    for (size_t h = 0; h < snd::SourceArray.size(); ++h)
        if (g_SourceBuffer[h] == index && snd::SourceArray[h] != 0) {
            alSourceStop(snd::SourceArray[h]);
            alDeleteSources(1, &snd::SourceArray[h]);
            snd::SourceArray[h] = 0;
        }
    ALuint stale = buffer;
    alDeleteBuffers(1, &stale);
    alGetError();
    snd::BufferArray[index] = 0;
    g_Deferred[index].reset();
}

} // namespace

int sndCreate(const char* name)
{
    alGetError();
    // Without a current context no buffer can be made: reading and decoding
    // the image first would cost the start its whole decoding for nothing.
    if (name == nullptr || alcGetCurrentContext() == nullptr)
        return -1;

    const size_t index = FindName(name);
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
        RegisterBuffer(buffer, name, nullptr);
    }
    return AttachSource(index);
}

int sndCreateDeferred(const char* name)
{
    alGetError();
    if (name == nullptr)
        return -1;
    const size_t index = FindName(name);
    if (index < snd::NameArray.size() || !IsOggName(name) || !g_Map.Load())
        return sndCreate(name);

    std::unique_ptr<SDeferred> d(new SDeferred);
    d->m_pImage = CPackReader::LoadData(name);
    if (!d->m_pImage)
        return -1;
    const uint32_t size = d->m_pImage->GetSize() > 0 ? uint32_t(d->m_pImage->GetSize()) : 0;
    if (!d->m_Stream.Open(d->m_pImage->GetData(), size))
        return -1;
    // Streams without samples, and channel counts whose bytes OpenAL would
    // not take as whole frames, are loaded the ordinary way.
    const int channels = d->m_Stream.Channels();
    if (d->m_Stream.Bytes() == 0 || (channels != 1 && channels != 2))
        return sndCreate(name);
    const uint32_t buffer = MappedBuffer(*d);
    if (buffer == 0)
        return sndCreate(name);
    RegisterBuffer(buffer, name, std::move(d));
    return AttachSource(index);
}

int sndDecode(int handle, int frames)
{
    if (!IsValidHandle(handle) || snd::SourceArray[size_t(handle)] == 0)
        return -1;
    const size_t index = g_SourceBuffer[size_t(handle)];
    SDeferred* d = g_Deferred[index].get();
    if (d == nullptr)
        return 1;
    const int64_t filled = d->m_Stream.Filled();
    const int64_t got = d->m_Stream.Read(d->m_pSamples + filled, int64_t(std::max(frames, 0)) * d->m_nFrameBytes);
    if (got < 0) {
        DropDeferred(index);
        return -1;
    }
    const ALuint buffer = snd::BufferArray[index];
    // Publishes the new samples to the mixer, which reads the same storage.
    if (g_Map.Flush && got > 0)
        g_Map.Flush(buffer, ALsizei(filled), ALsizei(got));
    if (d->m_Stream.Filled() < d->m_Stream.Bytes())
        return 0;
    g_Map.Unmap(buffer);
    alGetError();
    g_Deferred[index].reset(); // the image and the decoder go with it
    return 1;
}

int sndFramesAhead(int handle)
{
    if (!IsValidHandle(handle) || snd::SourceArray[size_t(handle)] == 0)
        return 0;
    const SDeferred* d = g_Deferred[g_SourceBuffer[size_t(handle)]].get();
    if (d == nullptr)
        return INT_MAX;
    ALint offset = 0;
    alGetSourcei(snd::SourceArray[size_t(handle)], AL_SAMPLE_OFFSET, &offset);
    const int64_t decoded = d->m_Stream.Filled() / d->m_nFrameBytes;
    return int(std::max<int64_t>(0, decoded - offset));
}

int sndFrequency(int handle)
{
    if (!IsValidHandle(handle) || snd::SourceArray[size_t(handle)] == 0)
        return 0;
    ALint rate = 0;
    alGetBufferi(snd::BufferArray[g_SourceBuffer[size_t(handle)]], AL_FREQUENCY, &rate);
    return rate;
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
