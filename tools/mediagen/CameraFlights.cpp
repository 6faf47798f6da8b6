// The ten recorded camera flights: five routes, each flown on two courses.
//
// A path entry is a bare array of 24-byte records, little-endian floats: position x, y, z in inches, then
// Euler angles about x, y and z in radians, composed Rz * Ry * Rx, so that the camera's local -z looks
// ahead and its local +y is up. Key frames are spaced evenly in time, and every flight looks at the ball
// at the origin, mostly from the +y side where the galaxy backdrop lies behind it.
//
// The lens flare's light and the galaxy's core hang at a fixed offset from the eye, (3.6, -7, -4.1): the
// eye sees them only while it looks at the ball from about 117 degrees of azimuth and 27 of elevation, give
// or take the half field of view. Every course passes through that window for a few seconds.
#include "tools/mediagen/Assets.h"

#include <cmath>
#include <cstring>

namespace {
const double kPi = 3.14159265358979323846;
const double kDeg = kPi / 180.0;

struct SVec
{
    double x, y, z;
};

SVec operator+(SVec a, SVec b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
SVec operator-(SVec a, SVec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
SVec operator*(SVec a, double k)
{
    return {a.x * k, a.y * k, a.z * k};
}
SVec Cross(SVec a, SVec b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
SVec Normalize(SVec a)
{
    double len = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return a * (1.0 / len);
}

struct SKey
{
    SVec m_vPos; // metres
    SVec m_vAngles; // radians about x, y, z
};

// One route: the eye on a sphere around the ball, by azimuth (from +x towards +y), elevation and radius,
// each a smooth function of the flight's progress u in 0..1, plus a gentle roll. Its "m" flight keeps the
// elevation and radius but takes its own azimuth course with the roll reversed; without one of its own it is
// the mirror image in x.
struct SRoute
{
    const char* m_Name;
    int m_nFrames;
    double (*m_pAzimuth)(double u); // degrees
    double (*m_pVariantAzimuth)(double u); // degrees, or null for the mirror image
    double (*m_pElevation)(double u); // degrees
    double (*m_pRadius)(double u); // metres
    double (*m_pRoll)(double u); // degrees, positive turns the picture clockwise
};

double Ease(double u)
{
    return u * u * (3.0 - 2.0 * u);
}
double Mix(double a, double b, double u)
{
    return a + (b - a) * u;
}

// Euler angles (x, y, z) of the rotation whose columns are the camera's right, up and back axes,
// for R = Rz(z) * Ry(y) * Rx(x). Right stays near the horizontal, far from the poles of y = +-90 degrees.
SVec EulerFromAxes(SVec right, SVec up, SVec back)
{
    double ay = std::asin(-right.z);
    double ax = std::atan2(up.z, back.z);
    double az = std::atan2(right.y, right.x);
    return {ax, ay, az};
}

SKey KeyAt(const SRoute& route, double u, bool variant)
{
    double az = route.m_pAzimuth(u);
    if (variant)
        az = route.m_pVariantAzimuth ? route.m_pVariantAzimuth(u) : 180.0 - az;
    az *= kDeg;
    double el = route.m_pElevation(u) * kDeg, r = route.m_pRadius(u);
    SVec eye = {r * std::cos(el) * std::cos(az), r * std::cos(el) * std::sin(az), r * std::sin(el)};
    SVec back = Normalize(eye); // the camera looks at the origin
    SVec right0 = Normalize(Cross({0, 0, 1}, back));
    SVec up0 = Cross(back, right0);
    double roll = (variant ? -1.0 : 1.0) * route.m_pRoll(u) * kDeg;
    SVec right = right0 * std::cos(roll) + up0 * std::sin(roll);
    SVec up = up0 * std::cos(roll) - right0 * std::sin(roll);
    return {eye, EulerFromAxes(right, up, back)};
}

void PutFloat(std::vector<uint8_t>& out, double value)
{
    float f = float(value);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(bits >> (8 * i)));
}

std::vector<uint8_t> Encode(const std::vector<SKey>& keys)
{
    const double inchesPerMetre = 100.0 / 2.54;
    std::vector<uint8_t> out;
    for (const SKey& k : keys) {
        PutFloat(out, k.m_vPos.x * inchesPerMetre);
        PutFloat(out, k.m_vPos.y * inchesPerMetre);
        PutFloat(out, k.m_vPos.z * inchesPerMetre);
        PutFloat(out, k.m_vAngles.x);
        PutFloat(out, k.m_vAngles.y);
        PutFloat(out, k.m_vAngles.z);
    }
    return out;
}

// A slow orbit well outside the shell, drifting across the +y side.
const SRoute kOrbit = {
    "cameras/camera01",
    36,
    [](double u) { return Mix(52.0, 128.0, Ease(u)); },
    nullptr,
    [](double u) { return 14.0 + 8.0 * std::sin(kPi * u); },
    [](double u) { return 16.0 - 2.5 * std::sin(kPi * u) + 1.0 * u; },
    [](double u) { return 3.0 * std::sin(kPi * u); },
};

// Dives through the shell, passes the ball among the bolts at about 4 m and climbs out the other side; the
// variant dives in from the far side and climbs out facing the galaxy.
const SRoute kDive = {
    "cameras/camera02",
    44,
    [](double u) { return Mix(48.0, 138.0, u); },
    [](double u) { return Mix(170.0, 100.0, u); },
    [](double u) { return Mix(10.0, 16.0, u) - 14.0 * std::sin(kPi * u); },
    [](double u) { return 15.0 - 11.0 * std::pow(std::sin(kPi * u), 1.6); },
    [](double u) { return -9.0 * std::sin(2.0 * kPi * u); },
};

// A rising spiral from below the ball to above it, sweeping round the +y side; its variant turns the other
// way, and less, so that it too comes out on top where the galaxy shows.
const SRoute kSpiral = {
    "cameras/camera03",
    48,
    [](double u) { return Mix(15.0, 165.0, u); },
    [](double u) { return Mix(172.0, 92.0, u); },
    [](double u) { return Mix(-32.0, 38.0, Ease(u)); },
    [](double u) { return Mix(11.0, 14.5, u); },
    [](double u) { return 6.0 * std::sin(kPi * u); },
};

// Drifts in from far away to just inside the shell, lingers, and backs away again.
const SRoute kApproach = {
    "cameras/camera04",
    40,
    [](double u) { return Mix(78.0, 100.0, u); },
    nullptr,
    [](double u) { return 6.0 + 10.0 * u; },
    [](double u) { return 5.5 + 15.5 * std::pow(std::cos(kPi * u), 2.0); },
    [](double) { return 0.0; },
};

// A low arc that grazes the shell at about 7 m while rising from below the ball's equator toward the
// galaxy; its variant sweeps the other way, in from the far side.
const SRoute kGraze = {
    "cameras/camera05",
    40,
    [](double u) { return Mix(48.0, 122.0, u); },
    [](double u) { return Mix(165.0, 100.0, u); },
    [](double u) { return Mix(-26.0, 14.0, Ease(u)); },
    [](double u) { return 17.0 - 10.0 * std::pow(std::sin(kPi * u), 2.0) - 1.0 * u; },
    [](double u) { return 5.0 * std::sin(kPi * u); },
};
} // namespace

void MakeCameraPaths(AssetList& out)
{
    for (const SRoute* route : {&kOrbit, &kDive, &kSpiral, &kApproach, &kGraze})
        for (bool variant : {false, true}) {
            std::vector<SKey> keys;
            for (int k = 0; k < route->m_nFrames; ++k) {
                // Slower near both ends: the flight glides out of the fade-in and into the fade-out, and the
                // spline's short overshoot past the last key stays too small to see.
                double u = double(k) / double(route->m_nFrames - 1);
                keys.push_back(KeyAt(*route, Mix(u, Ease(u), 0.6), variant));
            }
            out.push_back({std::string(route->m_Name) + (variant ? "m.path" : ".path"), Encode(keys)});
        }
}
