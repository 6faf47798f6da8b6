// CCameraPath: a recorded camera flight loaded from a ".path" pack entry and
// sampled as a local-to-world camera transform for a parameter t in [0, 1].
// An entry is a bare array of 24-byte little-endian records: position x, y, z
// in inches, then rotations about x, y, z in radians (floats). Positions are
// kept in metres. A failed load leaves the path empty; the path owns its frames.
#pragma once

#include "math/Math.h"

#include <cstddef>
#include <vector>

class CCameraPath
{
public:
    struct SFrame
    {
        math::vector m_vPos; // metres
        math::vector m_vAngles; // radians, composed as Rz * Ry * Rx
    };

    // Replaces the frames with those of the named pack entry ("cameras/camera01.path").
    // True when at least one frame was loaded.
    bool LoadPath(const char* name);

    // Same, from the bytes of an entry (caller keeps ownership). Bytes past the last whole
    // record are ignored; fewer than 24 bytes (or a null pointer) load nothing and return false.
    bool LoadFromMemory(const void* data, std::size_t size);

    // Camera transform at t, clamped to [0, 1]; a NaN t counts as 0. Eye point = elements
    // 12-14, viewing direction = minus the third column, up = the second column.
    // An empty path gives the identity.
    math::matrix GetCameraTransform(float t) const;

    const std::vector<SFrame>& GetFrames() const { return m_Frames; }

private:
    std::vector<SFrame> m_Frames;
};
