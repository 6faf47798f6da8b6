// Any bytes as an Ogg Vorbis image, read through the decoder's memory
// callbacks: refused, or decoded whole into one buffer, never a read outside
// the image, a leak or a buffer name left behind; and decoded a piece at a
// time by COggStream to the same result.
//
// The decoder drops every page whose checksum fails, and nearly every
// mutation breaks one; the checksums of whole pages are set right before
// decoding, so mutations reach the stream headers and audio packets instead.
//
// libvorbis 1.3.7 (like the Tremor snapshot, which shares its code) loses a
// small serial-number list when it fails to open some damaged chained
// streams, memory no caller can free. So an image the decoder cannot open is
// tried with leak checking off (it must still be refused); every image it
// opens is checked in full.
#include "fuzz/NullAudio.h"
#include "sound/SoundDecode.h"
#include "tests/support/OggCrc.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define VELTRIX_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRIX_LEAK_CHECK 1
#endif
#endif
#ifdef VELTRIX_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

void SetPageChecksums(unsigned char* ogg, size_t size)
{
    size_t at = 0;
    while (at + 27 <= size) {
        if (std::memcmp(ogg + at, "OggS", 4) != 0) {
            ++at;
            continue;
        }
        const size_t segments = ogg[at + 26];
        size_t length = 27 + segments;
        for (size_t s = 0; s < segments && at + 27 + s < size; ++s)
            length += ogg[at + 27 + s];
        if (at + length > size)
            return; // a page cut short stays as it is
        std::memset(ogg + at + 22, 0, 4);
        const uint32_t crc = OggCrc(ogg + at, length);
        for (int k = 0; k < 4; ++k)
            ogg[at + 22 + size_t(k)] = uint8_t(crc >> (8 * k));
        at += length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    // A copy of exactly the input's size, so a read past its end is still caught.
    const std::unique_ptr<unsigned char[]> image(new unsigned char[size]);
    if (size > 0)
        std::memcpy(image.get(), data, size);
    SetPageChecksums(image.get(), size);
    OpenNullAudio();
    {
#ifdef VELTRIX_LEAK_CHECK
        __lsan::ScopedDisabler decoderLeaks;
#endif
        COggStream probe;
        if (!probe.Open(image.get(), uint32_t(size))) {
            if (CreateBufferFromOggFileImage(image.get(), uint32_t(size)) != 0)
                std::abort();
            return 0;
        }
    }
    // Small pieces, so that reads which end inside a packet are exercised.
    COggStream stream;
    bool whole = stream.Open(image.get(), uint32_t(size));
    if (whole) {
        std::unique_ptr<unsigned char[]> pcm(new unsigned char[size_t(stream.Bytes()) + 1]);
        int64_t at = 0;
        int64_t got = 0;
        while ((got = stream.Read(pcm.get() + at, 1000)) > 0)
            at += got;
        whole = got == 0 && at == stream.Bytes();
    }
    const uint32_t buffer = CreateBufferFromOggFileImage(image.get(), uint32_t(size));
    // Without a context the upload fails on its own, so only this way round.
    if (buffer != 0 && !whole)
        std::abort();
    CheckAndDeleteBuffer(buffer);
    return 0;
}
