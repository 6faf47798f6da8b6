// Whole-file decoders from a memory image into one OpenAL buffer. Both take
// the complete file image (not owned, not kept) and return the OpenAL buffer
// name, or 0 on any failure, in which case no buffer name is left behind.
// An OpenAL context must be current. Nothing is streamed.
//
// WAVE: only the canonical 44-byte header ("RIFF", "WAVEfmt " with a 16-byte
// PCM format chunk, then "data"), 1 or 2 channels; 8-bit samples upload as
// 8-bit, every other width as 16-bit. The samples go to OpenAL in place.
// Ogg Vorbis: decoded by COggStream to interleaved 16-bit host-order
// samples; one channel uploads as mono, any other count as stereo.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t CreateBufferFromWavFileImage(const void* image, uint32_t size);
uint32_t CreateBufferFromOggFileImage(const void* image, uint32_t size);

// The memory data source behind the Ogg decoder's callbacks. Its rules differ
// from stdio's in one place: whence 2 counts from the last byte, so a seek can
// never land one past the end; only reading gets there.
struct SMemFile
{
    const unsigned char* m_pData; // not owned
    int32_t m_nSize; // bytes
    int32_t m_nPos; // read position, 0 at open
};

// The decoder's callbacks, visible so their rules can be checked directly.
size_t mem_read_func(void* dst, size_t size, size_t count, void* src); // whole items copied
int mem_seek_func(void* src, int64_t offset, int whence); // 0 or -1
int mem_close_func(void* src); // frees nothing
long mem_tell_func(void* src); // position or -1

// One Ogg Vorbis stream decoded a piece at a time from a memory image that
// the caller keeps alive until Close. Which Vorbis decoder runs behind it is
// this unit's business alone. Samples come out as interleaved signed 16-bit
// values in host byte order, exactly as many as the stream's length predicts
// (channels x 2 x frames bytes) or a failure.
class COggStream
{
public:
    COggStream();
    ~COggStream();
    COggStream(const COggStream&) = delete;
    COggStream& operator=(const COggStream&) = delete;

    // False when the decoder refuses the image or its predicted length does
    // not fit one OpenAL upload (a signed 32-bit byte count).
    bool Open(const void* image, uint32_t size);
    void Close();

    int Channels() const { return m_nChannels; }
    int Rate() const { return m_nRate; }
    int64_t Bytes() const { return m_nBytes; } // the whole stream
    int64_t Filled() const { return m_nFilled; } // delivered so far

    // Writes up to `bytes` more into dst (rounded down to whole frames):
    // the count written, 0 once the stream is whole, -1 when it ends before
    // its predicted length or cannot be decoded (every later call fails too).
    int64_t Read(void* dst, int64_t bytes);

private:
    SMemFile m_File;
    void* m_pDecoder; // the decoder's state, null while closed
    int m_nChannels;
    int m_nRate;
    int64_t m_nBytes;
    int64_t m_nFilled;
    bool m_bFailed;
};
