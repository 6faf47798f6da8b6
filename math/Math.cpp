#include "math/Math.h"

#include <cmath>

namespace math {

vector normalize(const vector& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

vector operator/(const vector& v, float s)
{
    return {v.x / s, v.y / s, v.z / s};
}

quat gen_euler_quat(const vector& a)
{
    const double hx = static_cast<double>(a.x) * 0.5;
    const double hy = static_cast<double>(a.y) * 0.5;
    const double hz = static_cast<double>(a.z) * 0.5;
    const double sx = std::sin(hx), cx = std::cos(hx);
    const double sy = std::sin(hy), cy = std::cos(hy);
    const double sz = std::sin(hz), cz = std::cos(hz);
    return {
        static_cast<float>(sx * cy * cz - cx * sy * sz),
        static_cast<float>(cx * sy * cz + sx * cy * sz),
        static_cast<float>(cx * cy * sz - sx * sy * cz),
        static_cast<float>(cx * cy * cz + sx * sy * sz),
    };
}

quat slerp(quat q0, quat q1, float t)
{
    // q and -q are the same rotation; take the one nearer q0 so the arc is the short one.
    const float dx = q0.x - q1.x, dy = q0.y - q1.y, dz = q0.z - q1.z, dw = q0.w - q1.w;
    const float sx = q0.x + q1.x, sy = q0.y + q1.y, sz = q0.z + q1.z, sw = q0.w + q1.w;
    const float d = dx * dx + dy * dy + dz * dz + dw * dw;
    const float s = sx * sx + sy * sy + sz * sz + sw * sw;
    if (d > s)
        q1 = {-q1.x, -q1.y, -q1.z, -q1.w};

    const double cosine = static_cast<double>(q0.x * q1.x + q0.y * q1.y + q0.z * q1.z + q0.w * q1.w);
    const double td = static_cast<double>(t);
    double k0, k1;
    if (1.0 - cosine > 1e-6) {
        const double omega = std::acos(cosine);
        const double sinOmega = std::sin(omega);
        k0 = std::sin((1.0 - td) * omega) / sinOmega;
        k1 = std::sin(td * omega) / sinOmega;
    } else {
        // Nearly the same rotation: sin(omega) would vanish, and a straight blend is as good.
        k0 = 1.0 - td;
        k1 = td;
    }
    return {
        static_cast<float>(q0.x * k0 + q1.x * k1),
        static_cast<float>(q0.y * k0 + q1.y * k1),
        static_cast<float>(q0.z * k0 + q1.z * k1),
        static_cast<float>(q0.w * k0 + q1.w * k1),
    };
}

quat quat_catmull_rom(const quat& q0, const quat& q1, const quat& q2, const quat& q3, float t)
{
    const quat a1 = slerp(q0, q1, t + 1.0f);
    const quat a2 = slerp(q1, q2, t);
    const quat a3 = slerp(q2, q3, t - 1.0f);
    const quat b1 = slerp(a1, a2, (t + 1.0f) * 0.5f);
    const quat b2 = slerp(a2, a3, t * 0.5f);
    return slerp(b1, b2, t);
}

quat::operator matrix() const
{
    const auto diagonal = [](float squares) { return static_cast<float>(1.0 + (-2.0) * static_cast<double>(squares)); };
    matrix r;
    r.m[0] = diagonal(y * y + z * z);
    r.m[1] = 2.0f * (x * y + z * w);
    r.m[2] = 2.0f * (x * z - y * w);
    r.m[3] = 0.0f;
    r.m[4] = 2.0f * (x * y - z * w);
    r.m[5] = diagonal(z * z + x * x);
    r.m[6] = 2.0f * (y * z + x * w);
    r.m[7] = 0.0f;
    r.m[8] = 2.0f * (x * z + y * w);
    r.m[9] = 2.0f * (y * z - x * w);
    r.m[10] = diagonal(x * x + y * y);
    r.m[11] = 0.0f;
    r.m[12] = 0.0f;
    r.m[13] = 0.0f;
    r.m[14] = 0.0f;
    r.m[15] = 1.0f;
    return r;
}

} // namespace math
