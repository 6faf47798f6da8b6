// Small stateless math for the scene: a 3-float vector, a rotation quaternion
// (x, y, z, w; w is the scalar part), a column-major 4x4 matrix as OpenGL takes
// it, and Catmull-Rom splines on positions and rotations.
// Angles are radians. Nothing checks its input: a zero vector normalises to
// NaNs, and non-unit quaternions give scaled results (nothing renormalises).
#pragma once

namespace math {

// Plain three floats, nothing else: arrays of vectors are packed floats.
struct vector
{
    float x, y, z;
};

// Element 4 * column + row; 0-2 first column, 12-14 translation.
struct matrix
{
    float m[16];

    float& operator[](int i) { return m[i]; }
    const float& operator[](int i) const { return m[i]; }
};

struct quat
{
    float x, y, z, w;

    // Rotation matrix of this quaternion (element 15 = 1, translation 0).
    operator matrix() const;
};

// Component-wise helpers; single precision throughout.
inline vector operator+(const vector& a, const vector& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline vector operator-(const vector& a, const vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline vector operator-(const vector& a)
{
    return {-a.x, -a.y, -a.z};
}
inline vector operator*(const vector& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline vector operator*(float s, const vector& a)
{
    return {a.x * s, a.y * s, a.z * s};
}

vector normalize(const vector& v); // true division by sqrtf of x*x + y*y + z*z
vector operator/(const vector& v, float s); // true division of each component

// Uniform Catmull-Rom segment: p1 exactly at t = 0, p2 exactly at t = 1.
// T needs T * float, T / float and T + T.
template <typename T> T catmull_rom(const T& p0, const T& p1, const T& p2, const T& p3, float t)
{
    const float w0 = ((2.0f - t) * t - 1.0f) * t;
    const float w1 = (3.0f * t - 5.0f) * t * t + 2.0f;
    const float w2 = ((-3.0f * t + 4.0f) * t + 1.0f) * t;
    const float w3 = (t - 1.0f) * t * t;
    const T a = (p0 * w0) / 2.0f;
    const T b = (p1 * w1) / 2.0f;
    const T c = (p2 * w2) / 2.0f;
    const T d = (p3 * w3) / 2.0f;
    return a + b + c + d;
}

// Quaternion of Rz(a.z) * Ry(a.y) * Rx(a.x) on column vectors: x first, then y, then z, fixed axes.
quat gen_euler_quat(const vector& a);

// Shorter-arc spherical interpolation; t outside [0, 1] extrapolates. Not renormalised.
quat slerp(quat q0, quat q1, float t);

// Catmull-Rom spline on rotations (knots -1, 0, 1, 2, lerps replaced by slerp):
// q1 at t = 0, q2 (or its negation) at t = 1.
quat quat_catmull_rom(const quat& q0, const quat& q1, const quat& q2, const quat& q3, float t);

} // namespace math

// Inches to metres: times 2.54, then divided by 100 (two steps, both single precision).
template <typename T> T InchesToMeters(const T& v)
{
    return (v * 2.54f) / 100.0f;
}
