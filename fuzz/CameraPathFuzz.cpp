// Any bytes as a camera path entry: every whole record becomes a frame, and
// the path can be sampled anywhere, including at t values that are NaN,
// infinite or outside [0, 1] (the first four bytes give one).
#include "math/CameraPath.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CCameraPath path;
    const bool loaded = path.LoadFromMemory(data, size);
    if (loaded != (size >= 24) || path.GetFrames().size() != size / 24)
        std::abort();

    float t = 0.0f;
    if (size >= sizeof t)
        std::memcpy(&t, data, sizeof t);
    volatile float sink = 0.0f;
    for (const float at : {t, -1.0f, 0.0f, 0.37f, 0.999999f, 1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN()})
        sink = sink + path.GetCameraTransform(at)[12];
    return 0;
}
