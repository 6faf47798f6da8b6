#include "sound/SoundDecode.h"

#include <AL/al.h>
#include <vorbis/vorbisfile.h>

#include <bit>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t ReadLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t ReadLE16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

const size_t WavHeaderSize = 44;

// Uploads into a fresh buffer name; on an OpenAL error the name is released
// again so a failed load leaves nothing behind.
ALuint UploadBuffer(ALenum format, const void* data, ALsizei bytes, ALsizei rate)
{
    ALuint name = 0;
    alGenBuffers(1, &name);
    alBufferData(name, format, data, bytes, rate);
    if (alGetError() != AL_NO_ERROR) {
        if (name != 0)
            alDeleteBuffers(1, &name);
        alGetError();
        return 0;
    }
    return name;
}

} // namespace

uint32_t CreateBufferFromWavFileImage(const void* image, uint32_t size)
{
    const unsigned char* p = static_cast<const unsigned char*>(image);
    if (p == nullptr || size < WavHeaderSize)
        return 0;
    if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVEfmt ", 8) != 0)
        return 0;
    if (ReadLE16(p + 20) != 1)
        return 0;
    const uint16_t channels = ReadLE16(p + 22);
    if (channels != 1 && channels != 2)
        return 0;
    if (std::memcmp(p + 36, "data", 4) != 0)
        return 0;

    const uint32_t rate = ReadLE32(p + 24);
    const uint16_t bits = ReadLE16(p + 34);
    const uint32_t dataBytes = ReadLE32(p + 40);
    if (uint64_t(size) < WavHeaderSize + uint64_t(dataBytes))
        return 0;
    // OpenAL counts bytes and rates in signed ints; larger values would wrap.
    if (dataBytes > uint32_t(INT_MAX) || rate > uint32_t(INT_MAX))
        return 0;

    ALenum format;
    if (bits / 8 == 1)
        format = channels == 1 ? AL_FORMAT_MONO8 : AL_FORMAT_STEREO8;
    else
        format = channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    return UploadBuffer(format, p + WavHeaderSize, ALsizei(dataBytes), ALsizei(rate));
}

size_t mem_read_func(void* dst, size_t size, size_t count, void* src)
{
    SMemFile* file = static_cast<SMemFile*>(src);
    if (dst == nullptr || file == nullptr || size == 0 || count == 0)
        return 0;
    if (file->m_nPos < 0 || file->m_nPos >= file->m_nSize)
        return 0;
    const size_t left = size_t(file->m_nSize - file->m_nPos);
    // The product may exceed any integer type the image size fits in; a
    // request that does not fit is simply larger than what is left.
    size_t wanted = 0;
    if (__builtin_mul_overflow(size, count, &wanted) || wanted > left)
        count = left / size;
    const size_t bytes = count * size;
    std::memcpy(dst, file->m_pData + file->m_nPos, bytes);
    file->m_nPos += int32_t(bytes);
    return count;
}

int mem_seek_func(void* src, int64_t offset, int whence)
{
    SMemFile* file = static_cast<SMemFile*>(src);
    if (file == nullptr)
        return -1;
    int64_t base;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = file->m_nPos;
        break;
    case SEEK_END:
        base = int64_t(file->m_nSize) - 1;
        break;
    default:
        return -1;
    }
    // Offsets near the type's limits must not wrap into range.
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target))
        return -1;
    if (target < 0 || target > int64_t(file->m_nSize) - 1)
        return -1;
    file->m_nPos = int32_t(target);
    return 0;
}

int mem_close_func(void* src)
{
    return src == nullptr ? -1 : 0;
}

long mem_tell_func(void* src)
{
    const SMemFile* file = static_cast<const SMemFile*>(src);
    return file == nullptr ? -1 : file->m_nPos;
}

COggStream::COggStream()
    : m_File{nullptr, 0, 0}
    , m_pDecoder(nullptr)
    , m_nChannels(0)
    , m_nRate(0)
    , m_nBytes(0)
    , m_nFilled(0)
    , m_bFailed(false)
{}

COggStream::~COggStream()
{
    Close();
}

bool COggStream::Open(const void* image, uint32_t size)
{
    Close();
    if (image == nullptr || size > uint32_t(INT32_MAX))
        return false;
    m_File = {static_cast<const unsigned char*>(image), int32_t(size), 0};
    OggVorbis_File* vf = new OggVorbis_File;
    const ov_callbacks callbacks = {mem_read_func, mem_seek_func, mem_close_func, mem_tell_func};
    if (ov_open_callbacks(&m_File, vf, nullptr, 0, callbacks) < 0) {
        delete vf;
        return false;
    }
    m_pDecoder = vf;
    const vorbis_info* info = ov_info(vf, -1);
    const ogg_int64_t samples = ov_pcm_total(vf, -1);
    // The whole track becomes one allocation and one upload counted in a
    // signed int: refuse streams whose sample count would not fit.
    int64_t bytes = 0;
    if (info == nullptr || info->channels <= 0 || info->rate <= 0 || info->rate > INT_MAX || samples < 0 ||
        __builtin_mul_overflow(int64_t(info->channels) * 2, int64_t(samples), &bytes) || bytes > INT_MAX) {
        Close();
        return false;
    }
    m_nChannels = info->channels;
    m_nRate = int(info->rate);
    m_nBytes = bytes;
    return true;
}

void COggStream::Close()
{
    if (m_pDecoder) {
        OggVorbis_File* vf = static_cast<OggVorbis_File*>(m_pDecoder);
        ov_clear(vf);
        delete vf;
    }
    m_pDecoder = nullptr;
    m_nChannels = m_nRate = 0;
    m_nBytes = m_nFilled = 0;
    m_bFailed = false;
}

int64_t COggStream::Read(void* dst, int64_t bytes)
{
    if (m_pDecoder == nullptr || m_bFailed)
        return -1;
    const int64_t frame = int64_t(m_nChannels) * 2;
    const int64_t want = std::max<int64_t>(0, std::min(bytes, m_nBytes - m_nFilled)) / frame * frame;
    char* out = static_cast<char*>(dst);
    OggVorbis_File* vf = static_cast<OggVorbis_File*>(m_pDecoder);
    const int bigEndian = std::endian::native == std::endian::big ? 1 : 0;
    int64_t done = 0;
    while (done < want) {
        int stream = 0;
        // Each call asks for everything still missing; the decoder delivers
        // at most one packet, and never more than asked.
        const long got = ov_read(vf, out + done, int(want - done), bigEndian, 2, 1, &stream);
        if (got <= 0) {
            m_bFailed = true;
            return -1;
        }
        done += got;
    }
    m_nFilled += done;
    return done;
}

uint32_t CreateBufferFromOggFileImage(const void* image, uint32_t size)
{
    COggStream stream;
    if (!stream.Open(image, size))
        return 0;
    const int64_t bytes = stream.Bytes();
    char* block = static_cast<char*>(std::malloc(bytes > 0 ? size_t(bytes) : 1));
    if (block == nullptr)
        return 0;
    if (stream.Read(block, bytes) != bytes) {
        std::free(block);
        return 0;
    }
    const ALuint name = UploadBuffer(stream.Channels() == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, block,
                                     ALsizei(bytes), ALsizei(stream.Rate()));
    std::free(block);
    return name;
}
