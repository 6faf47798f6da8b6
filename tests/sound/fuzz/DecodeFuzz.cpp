// libFuzzer target for both decoders. No OpenAL context is current, so every
// upload fails: the WAVE header checks and the whole Ogg decode still run,
// and neither may read outside the image, leak, or hand back a buffer name.
// The first byte picks the decoder.
#include "sound/SoundDecode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 24))
        return 0;
    const uint32_t name = (data[0] & 1) ? CreateBufferFromOggFileImage(data + 1, uint32_t(size - 1))
                                        : CreateBufferFromWavFileImage(data + 1, uint32_t(size - 1));
    if (name != 0)
        std::abort();
    return 0;
}
