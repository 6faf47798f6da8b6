// Vector helpers shared by the drawer's passes: the products they take on the
// three components, and the guard that keeps a degenerate direction (a zero or
// parallel cross product normalises to 0/0) from ever reaching OpenGL.
#pragma once

#include "math/Math.h"

#include <cmath>

namespace pass {

inline float Dot(const math::vector& a, const math::vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Right-handed: Cross(x, y) = z.
inline math::vector Cross(const math::vector& a, const math::vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline bool IsFinite(const math::vector& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// math::normalize where it gives a finite result, otherwise the fallback. The
// normal path stays bit-for-bit math::normalize; only the degenerate case differs.
inline math::vector NormalizeOr(const math::vector& v, const math::vector& fallback)
{
    const math::vector n = math::normalize(v);
    return IsFinite(n) ? n : fallback;
}

// A unit vector perpendicular to v: v crossed with the axis it leans on least.
// For a zero or non-finite v there is no such thing, and +x is returned.
inline math::vector AnyPerpendicular(const math::vector& v)
{
    const float ax = std::fabs(v.x), ay = std::fabs(v.y), az = std::fabs(v.z);
    math::vector axis{0.0f, 0.0f, 1.0f};
    if (ax <= ay && ax <= az)
        axis = {1.0f, 0.0f, 0.0f};
    else if (ay <= az)
        axis = {0.0f, 1.0f, 0.0f};
    return NormalizeOr(Cross(v, axis), {1.0f, 0.0f, 0.0f});
}

// Two unit vectors spanning the plane across a bolt's chord d, where its end
// spots lie: n1 = normalize(d x w) with w = d's components rotated one place,
// n2 = normalize(d x n1). A chord with three equal components is parallel to w,
// and a very short one squares to nothing; both take any plane across the
// chord instead. Only a chord with no direction at all (zero, or not a number)
// leaves the spot facing the camera (right, up).
inline void SpotAxes(const math::vector& d, const math::vector& right, const math::vector& up, math::vector* n1,
                     math::vector* n2)
{
    const math::vector w{d.y, d.z, d.x};
    *n1 = math::normalize(Cross(d, w));
    *n2 = math::normalize(Cross(d, *n1));
    if (IsFinite(*n1) && IsFinite(*n2))
        return;
    const float largest = std::fmax(std::fabs(d.x), std::fmax(std::fabs(d.y), std::fabs(d.z)));
    if (IsFinite(d) && largest > 0.0f) {
        const math::vector axis = math::normalize(d / largest); // one component is 1: no underflow
        *n1 = AnyPerpendicular(axis);
        *n2 = Cross(axis, *n1);
    } else {
        *n1 = right;
        *n2 = up;
    }
}

} // namespace pass
