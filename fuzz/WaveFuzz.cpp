// Any bytes as a WAVE image: the decoder either refuses them or hands back a
// buffer holding samples it read from inside the image.
#include "fuzz/NullAudio.h"
#include "sound/SoundDecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    OpenNullAudio();
    CheckAndDeleteBuffer(CreateBufferFromWavFileImage(data, uint32_t(size)));
    return 0;
}
