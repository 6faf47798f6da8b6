// The ten camera flights, read with the saver's own path loader: sound frames, an eye that stays between
// the ball and the far backdrop, the ball in view, smooth motion, and each "m" flight the mirror of its
// partner.
#include "tests/media/MediaPack.h"

#include "math/CameraPath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
const char* const kRoutes[] = {"cameras/camera01", "cameras/camera02", "cameras/camera03", "cameras/camera04",
                               "cameras/camera05"};
const float kCycleSeconds = 23.0f; // every flight is flown whole in one cycle
const int kSamples = 23 * 60;      // a sample per frame at 60 Hz

struct SView
{
    math::vector eye, dir, up;
};

SView ViewAt(const CCameraPath& path, float t)
{
    math::matrix m = path.GetCameraTransform(t);
    return {{m[12], m[13], m[14]}, {-m[8], -m[9], -m[10]}, {m[4], m[5], m[6]}};
}

float Length(const math::vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
float Dot(const math::vector& a, const math::vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Degrees(float cosine) { return std::acos(std::clamp(cosine, -1.0f, 1.0f)) * 57.29578f; }

bool LoadFlight(const std::string& name, CCameraPath& path)
{
    media_test::Load(name.c_str()); // opens the pack for the loader
    return path.LoadPath(name.c_str());
}

std::vector<std::string> AllFlights()
{
    std::vector<std::string> names;
    for (const char* route : kRoutes)
    {
        names.push_back(std::string(route) + ".path");
        names.push_back(std::string(route) + "m.path");
    }
    return names;
}
} // namespace

TEST(MediaCameraFlights, EachHasTwentyToSixtyFiniteWholeFrames)
{
    for (const std::string& name : AllFlights())
    {
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
    for (const std::string& name : AllFlights())
    {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        float nearest = 1e9f, farthest = 0;
        for (int i = 0; i <= kSamples; ++i)
        {
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
    for (const std::string& name : AllFlights())
    {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        int fromPlusY = 0;
        for (int i = 0; i <= kSamples; ++i)
        {
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
    for (const std::string& name : AllFlights())
    {
        CCameraPath path;
        ASSERT_TRUE(LoadFlight(name, path)) << name;
        SView previous = ViewAt(path, 0.0f);
        float previousSpeed = -1;
        for (int i = 1; i <= kSamples; ++i)
        {
            SView v = ViewAt(path, float(i) / kSamples);
            float speed = Length(v.eye - previous.eye) / dt;
            float turn = Degrees(Dot(v.dir, previous.dir)) / dt;
            ASSERT_LT(speed, 4.0f) << name << " at sample " << i; // metres per second
            ASSERT_LT(turn, 25.0f) << name << " at sample " << i; // degrees per second
            if (previousSpeed >= 0)
            {
                ASSERT_LT(std::fabs(speed - previousSpeed) / dt, 3.0f) << name << " at sample " << i; // no lurches
            }
            previous = v;
            previousSpeed = speed;
        }
    }
}

TEST(MediaCameraFlights, MirroredFlightsReflectTheirPartnersInX)
{
    for (const char* route : kRoutes)
    {
        CCameraPath path, mirror;
        ASSERT_TRUE(LoadFlight(std::string(route) + ".path", path)) << route;
        ASSERT_TRUE(LoadFlight(std::string(route) + "m.path", mirror)) << route;
        ASSERT_EQ(path.GetFrames().size(), mirror.GetFrames().size()) << route;
        for (int i = 0; i <= 200; ++i)
        {
            const float t = float(i) / 200;
            SView a = ViewAt(path, t), b = ViewAt(mirror, t);
            // Reflecting in x maps every point and direction (x, y, z) to (-x, y, z).
            EXPECT_NEAR(b.eye.x, -a.eye.x, 1e-3f) << route << " t=" << t;
            EXPECT_NEAR(b.eye.y, a.eye.y, 1e-3f) << route << " t=" << t;
            EXPECT_NEAR(b.eye.z, a.eye.z, 1e-3f) << route << " t=" << t;
            EXPECT_NEAR(b.dir.x, -a.dir.x, 1e-4f) << route << " t=" << t;
            EXPECT_NEAR(b.dir.y, a.dir.y, 1e-4f) << route << " t=" << t;
            EXPECT_NEAR(b.dir.z, a.dir.z, 1e-4f) << route << " t=" << t;
            EXPECT_NEAR(b.up.x, -a.up.x, 1e-4f) << route << " t=" << t;
            EXPECT_NEAR(b.up.y, a.up.y, 1e-4f) << route << " t=" << t;
            EXPECT_NEAR(b.up.z, a.up.z, 1e-4f) << route << " t=" << t;
        }
        // And the flight is not its own mirror: the two fly different sides.
        SView a = ViewAt(path, 0.0f), b = ViewAt(mirror, 0.0f);
        EXPECT_GT(std::fabs(a.eye.x - b.eye.x), 1.0f) << route;
    }
}
