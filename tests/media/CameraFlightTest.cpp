// The ten camera flights, read with the saver's own path loader: sound frames, an eye that stays between
// the ball and the far backdrop, the ball in view, the flare and the galaxy on screen for a while, smooth
// motion, and each "m" flight a variant of its partner.
#include "tests/media/MediaPack.h"

#include "math/CameraPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {
const char* const kRoutes[] = {"cameras/camera01", "cameras/camera02", "cameras/camera03", "cameras/camera04",
                               "cameras/camera05"};
const float kCycleSeconds = 23.0f; // every flight is flown whole in one cycle
const int kSamples = 23 * 60; // a sample per frame at 60 Hz

struct SView
{
    math::vector eye, dir, up;
};

SView ViewAt(const CCameraPath& path, float t)
{
    math::matrix m = path.GetCameraTransform(t);
    return {{m[12], m[13], m[14]}, {-m[8], -m[9], -m[10]}, {m[4], m[5], m[6]}};
}

float Length(const math::vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
float Dot(const math::vector& a, const math::vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Degrees(float cosine)
{
    return std::acos(std::clamp(cosine, -1.0f, 1.0f)) * 57.29578f;
}
math::vector Cross(const math::vector& a, const math::vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Whether a scene point lands inside a 1280x720 frame as the renderer projects it there: gluLookAt's basis,
// a vertical field of 90 * h / w degrees, depths from 0.1 to 200 m.
bool OnScreen(const SView& v, const math::vector& point)
{
    const float aspect = 1280.0f / 720.0f, tanHalf = std::tan(0.5f * 90.0f / aspect * 3.14159265f / 180.0f);
    const math::vector f = math::normalize(v.dir), s = math::normalize(Cross(f, v.up)), u = Cross(s, f);
    const math::vector d = point - v.eye;
    const float ahead = Dot(f, d);
    return ahead >= 0.1f && ahead <= 200.0f && std::fabs(Dot(s, d)) < ahead * tanHalf * aspect &&
           std::fabs(Dot(u, d)) < ahead * tanHalf;
}

bool LoadFlight(const std::string& name, CCameraPath& path)
{
    media_test::Load(name.c_str()); // opens the pack for the loader
    return path.LoadPath(name.c_str());
}

std::vector<std::string> AllFlights()
{
    std::vector<std::string> names;
    for (const char* route : kRoutes) {
        names.push_back(std::string(route) + ".path");
        names.push_back(std::string(route) + "m.path");
    }
    return names;
}
} // namespace

TEST(MediaCameraFlights, EachHasTwentyToSixtyFiniteWholeFrames)
{
    for (const std::string& name : AllFlights()) {
        std::unique_ptr<IData> blob = media_test::Load(name.c_str());
        ASSERT_TRUE(blob) << name;
        EXPECT_EQ(blob->GetSize() % 24, 0) << name;
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        const auto& frames = path.GetFrames();
        EXPECT_GE(frames.size(), 20u) << name;
        EXPECT_LE(frames.size(), 60u) << name;
        for (const auto& f : frames)
            for (float v : {f.m_vPos.x, f.m_vPos.y, f.m_vPos.z, f.m_vAngles.x, f.m_vAngles.y, f.m_vAngles.z})
                ASSERT_TRUE(std::isfinite(v)) << name;
    }
}

TEST(MediaCameraFlights, EyeStaysBetweenBallAndBackdropAlongTheWholeSpline)
{
    for (const std::string& name : AllFlights()) {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        float nearest = 1e9f, farthest = 0;
        for (int i = 0; i <= kSamples; ++i) {
            float r = Length(ViewAt(path, float(i) / kSamples).eye);
            nearest = std::min(nearest, r);
            farthest = std::max(farthest, r);
        }
        EXPECT_GE(nearest, 1.5f) << name;
        EXPECT_LE(farthest, 40.0f) << name;
    }
}

TEST(MediaCameraFlights, BallStaysInViewWithTheCameraUpright)
{
    for (const std::string& name : AllFlights()) {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        int fromPlusY = 0;
        for (int i = 0; i <= kSamples; ++i) {
            SView v = ViewAt(path, float(i) / kSamples);
            math::vector toBall = math::normalize(-v.eye);
            // A 16:9 screen shows about 25 degrees above and below its centre: keep the ball well inside.
            ASSERT_LT(Degrees(Dot(v.dir, toBall)), 12.0f) << name << " at sample " << i;
            ASSERT_GT(v.up.z, 0.75f) << name << " at sample " << i;
            ASSERT_NEAR(Length(v.dir), 1.0f, 1e-3f) << name;
            fromPlusY += v.eye.y > 0;
        }
        // The backdrop and the oncoming stars are on the +y side.
        EXPECT_GT(fromPlusY, kSamples * 9 / 10) << name;
    }
}

TEST(MediaCameraFlights, MotionIsSmoothWithoutJumpsOrWhipPans)
{
    const float dt = kCycleSeconds / kSamples;
    for (const std::string& name : AllFlights()) {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        SView previous = ViewAt(path, 0.0f);
        float previousSpeed = -1;
        for (int i = 1; i <= kSamples; ++i) {
            SView v = ViewAt(path, float(i) / kSamples);
            float speed = Length(v.eye - previous.eye) / dt;
            float turn = Degrees(Dot(v.dir, previous.dir)) / dt;
            ASSERT_LT(speed, 4.0f) << name << " at sample " << i; // metres per second
            ASSERT_LT(turn, 25.0f) << name << " at sample " << i; // degrees per second
            if (previousSpeed >= 0) {
                ASSERT_LT(std::fabs(speed - previousSpeed) / dt, 3.0f) << name << " at sample " << i; // no lurches
            }
            previous = v;
            previousSpeed = speed;
        }
    }
}

// The lens flare's light and the galaxy's core sit at a fixed offset from the eye, in the plane of the
// backdrop square that the renderer draws 7 m below the eye along -y.
TEST(MediaCameraFlights, EachShowsTheFlareAndTheGalaxyLongEnough)
{
    const math::vector light = {3.6f, -7.0f, -4.1f};
    // The galaxy's bright disc, 3 m round its core on the backdrop: it counts as shown when half of it is.
    std::vector<math::vector> disc;
    for (int i = -6; i <= 6; ++i)
        for (int k = -6; k <= 6; ++k)
            if (i * i + k * k <= 36)
                disc.push_back(light + math::vector{0.5f * i, 0.0f, 0.5f * k});
    const float dt = kCycleSeconds / kSamples;
    for (const std::string& name : AllFlights()) {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        float flare = 0, galaxy = 0;
        // Counted only between the fade from black and the fade to black.
        for (int i = kSamples * 3 / 23; i <= kSamples * 20 / 23; ++i) {
            SView v = ViewAt(path, float(i) / kSamples);
            flare += OnScreen(v, v.eye + light) ? dt : 0;
            auto shown = [&](const math::vector& p) { return OnScreen(v, v.eye + p); };
            galaxy += 2 * std::count_if(disc.begin(), disc.end(), shown) >= long(disc.size()) ? dt : 0;
        }
        EXPECT_GE(flare, 2.0f) << name;
        EXPECT_GE(galaxy, 5.0f) << name;
    }
}

TEST(MediaCameraFlights, VariantsKeepTheirPartnersDistanceAndHeightOnAnotherCourse)
{
    for (const char* route : kRoutes) {
        CCameraPath path, variant;
        ASSERT_TRUE(LoadFlight(std::string(route) + ".path", path)) << route;
        ASSERT_TRUE(LoadFlight(std::string(route) + "m.path", variant)) << route;
        ASSERT_EQ(path.GetFrames().size(), variant.GetFrames().size()) << route;
        float apart = 0;
        for (size_t k = 0; k < path.GetFrames().size(); ++k) {
            const math::vector a = path.GetFrames()[k].m_vPos, b = variant.GetFrames()[k].m_vPos;
            EXPECT_NEAR(Length(b), Length(a), 1e-3f) << route << " key " << k;
            EXPECT_NEAR(b.z, a.z, 1e-3f) << route << " key " << k;
            apart = std::max(apart, Length(b - a));
        }
        // The two fly different sides.
        EXPECT_GT(apart, 1.0f) << route;
    }
}
