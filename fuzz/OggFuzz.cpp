// Any bytes as an Ogg Vorbis image, read by Tremor through the decoder's
// memory callbacks: refused, or decoded whole into one buffer, never a read
// outside the image, a leak or a buffer name left behind.
#include "fuzz/NullAudio.h"
#include "sound/SoundDecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    OpenNullAudio();
    CheckAndDeleteBuffer(CreateBufferFromOggFileImage(data, uint32_t(size)));
    return 0;
}
