#include "math/CameraPath.h"
#include "pack/PackReader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <limits>
#include <vector>

namespace {

struct Record
{
    float px, py, pz; // inches
    float ax, ay, az; // radians
};

// Little-endian bytes written one by one, whatever the host's order.
void PutFloat(std::vector<unsigned char>& out, float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>(bits >> shift));
}

std::vector<unsigned char> Encode(const std::vector<Record>& records)
{
    std::vector<unsigned char> bytes;
    for (const Record& r : records)
        for (float v : {r.px, r.py, r.pz, r.ax, r.ay, r.az})
            PutFloat(bytes, v);
    return bytes;
}

CCameraPath Load(const std::vector<Record>& records)
{
    CCameraPath path;
    const std::vector<unsigned char> bytes = Encode(records);
    EXPECT_TRUE(path.LoadFromMemory(bytes.data(), bytes.size()));
    return path;
}

void ExpectSameMatrix(const math::matrix& a, const math::matrix& b)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(a[i], b[i]) << "element " << i;
}

void ExpectRotationNear(const math::matrix& m, const math::matrix& r)
{
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_NEAR(m[i], r[i], 2e-6f) << "element " << i;
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
}

math::quat Key(const Record& r)
{
    return math::gen_euler_quat({r.ax, r.ay, r.az});
}

math::vector Pos(const Record& r)
{
    return InchesToMeters(math::vector{r.px, r.py, r.pz});
}

const std::vector<Record> kFour = {
    {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {10.0f, 5.0f, -3.0f, 0.2f, 0.1f, 0.5f},
    {30.0f, -5.0f, 7.0f, 0.5f, -0.4f, 1.4f},
    {45.0f, 20.0f, 1.0f, -0.3f, 0.9f, 2.2f},
};

} // namespace

TEST(CameraPathLoad, ReadsLittleEndianRecordsAndConvertsPositionsToMetres)
{
    // Angle x is written as raw bytes of 1.0f (0x3F800000, least significant first).
    std::vector<unsigned char> bytes;
    PutFloat(bytes, 100.0f);
    PutFloat(bytes, 0.0f);
    PutFloat(bytes, -50.0f);
    for (unsigned char b : {0x00, 0x00, 0x80, 0x3F})
        bytes.push_back(b);
    PutFloat(bytes, -0.75f);
    PutFloat(bytes, 3.0f);

    CCameraPath path;
    ASSERT_TRUE(path.LoadFromMemory(bytes.data(), bytes.size()));
    ASSERT_EQ(path.GetFrames().size(), 1u);
    const CCameraPath::SFrame& f = path.GetFrames()[0];
    EXPECT_FLOAT_EQ(f.m_vPos.x, 2.54f);
    EXPECT_EQ(f.m_vPos.y, 0.0f);
    EXPECT_FLOAT_EQ(f.m_vPos.z, -1.27f);
    EXPECT_EQ(f.m_vAngles.x, 1.0f); // angles are not converted
    EXPECT_EQ(f.m_vAngles.y, -0.75f);
    EXPECT_EQ(f.m_vAngles.z, 3.0f);
}

TEST(CameraPathLoad, CountsWholeRecordsOnlyAndRefusesShortEntries)
{
    std::vector<unsigned char> bytes = Encode({{1, 2, 3, 0, 0, 0}, {4, 5, 6, 0, 0, 0}, {7, 8, 9, 0, 0, 0}});
    CCameraPath path;
    ASSERT_TRUE(path.LoadFromMemory(bytes.data(), 50)); // two records and two stray bytes
    ASSERT_EQ(path.GetFrames().size(), 2u);
    EXPECT_FLOAT_EQ(path.GetFrames()[1].m_vPos.z, 6.0f * 0.0254f);

    EXPECT_FALSE(path.LoadFromMemory(bytes.data(), 23));
    EXPECT_TRUE(path.GetFrames().empty());

    ASSERT_TRUE(path.LoadFromMemory(bytes.data(), bytes.size()));
    EXPECT_FALSE(path.LoadFromMemory(bytes.data(), 0)); // a failed load drops the previous frames
    EXPECT_TRUE(path.GetFrames().empty());
    EXPECT_FALSE(path.LoadFromMemory(nullptr, 48));
    EXPECT_TRUE(path.GetFrames().empty());
}

TEST(CameraPathLoad, LoadsEntriesThroughThePack)
{
    // The pack is made by Info-ZIP, independently of our own pack tool.
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(VELTRIX_BINARY_DIR) / "tests" / "math" / "pack-input";
    fs::remove_all(dir);
    fs::create_directories(dir / "cameras");
    const std::vector<unsigned char> bytes = Encode({{100, 0, -50, 0.5f, 0, 0}, {1, 2, 3, 0, 0, 0}});
    std::ofstream(dir / "cameras" / "camera01.path", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), 26); // one whole record and two stray bytes
    std::ofstream(dir / "cameras" / "short.path", std::ios::binary).write("0123456789", 10);
    const fs::path pack = dir / "media.dat";
    const std::string command =
        "cd '" + dir.string() + "' && zip -q -P 4mq7x2kd91vbz0hw media.dat cameras/camera01.path cameras/short.path";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(CPackReader::Init(pack.c_str()));

    CCameraPath path;
    ASSERT_TRUE(path.LoadPath("cameras/camera01.path"));
    ASSERT_EQ(path.GetFrames().size(), 1u);
    EXPECT_FLOAT_EQ(path.GetFrames()[0].m_vPos.x, 2.54f);
    EXPECT_FLOAT_EQ(path.GetFrames()[0].m_vPos.z, -1.27f);
    EXPECT_EQ(path.GetFrames()[0].m_vAngles.x, 0.5f);
    EXPECT_FALSE(path.LoadPath("cameras/short.path"));
    EXPECT_TRUE(path.GetFrames().empty());
    ASSERT_TRUE(path.LoadPath("cameras/camera01.path"));
    EXPECT_FALSE(path.LoadPath("cameras/camera02.path"));
    EXPECT_TRUE(path.GetFrames().empty());
    CPackReader::Done();
    fs::remove_all(dir);
}

TEST(CameraPathLoad, MissingPackEntryLeavesThePathEmpty)
{
    CCameraPath path;
    const std::vector<unsigned char> bytes = Encode({{1, 2, 3, 0, 0, 0}});
    ASSERT_TRUE(path.LoadFromMemory(bytes.data(), bytes.size()));
    EXPECT_FALSE(path.LoadPath("cameras/no-such-path.path"));
    EXPECT_TRUE(path.GetFrames().empty());
}

TEST(CameraPathTransform, ZeroAnglesLookDownMinusZWithYUp)
{
    const CCameraPath path = Load({{10, 20, 30, 0, 0, 0}});
    const math::matrix m = path.GetCameraTransform(0.5f);
    for (int i : {0, 5, 10, 15})
        EXPECT_EQ(m[i], 1.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 11})
        EXPECT_EQ(m[i], 0.0f);
    EXPECT_FLOAT_EQ(m[12], 0.254f);
    EXPECT_FLOAT_EQ(m[13], 0.508f);
    EXPECT_FLOAT_EQ(m[14], 0.762f);
}

TEST(CameraPathTransform, SingleFrameHoldsForEveryParameter)
{
    const Record r{12, -4, 9, 0.3f, -0.2f, 1.0f};
    const CCameraPath path = Load({r});
    const math::matrix at0 = path.GetCameraTransform(0.0f);
    ExpectRotationNear(at0, Key(r));
    EXPECT_EQ(at0[12], Pos(r).x);
    EXPECT_EQ(at0[13], Pos(r).y);
    EXPECT_EQ(at0[14], Pos(r).z);
    // Between the ends the spline of four equal keys is that key within rounding; at t = 1 exactly.
    for (float t : {0.3f, 0.999f}) {
        const math::matrix m = path.GetCameraTransform(t);
        ExpectRotationNear(m, at0);
        for (int i : {12, 13, 14})
            EXPECT_NEAR(m[i], at0[i], 1e-6f);
    }
    ExpectSameMatrix(path.GetCameraTransform(1.0f), at0);
}

TEST(CameraPathTransform, EndsAreTheFirstAndLastFrames)
{
    const CCameraPath path = Load(kFour);
    const math::matrix first = path.GetCameraTransform(0.0f);
    EXPECT_EQ(first[12], Pos(kFour[0]).x);
    EXPECT_EQ(first[13], Pos(kFour[0]).y);
    EXPECT_EQ(first[14], Pos(kFour[0]).z);
    ExpectRotationNear(first, Key(kFour[0]));

    const math::matrix last = path.GetCameraTransform(1.0f);
    EXPECT_EQ(last[12], Pos(kFour[3]).x);
    EXPECT_EQ(last[13], Pos(kFour[3]).y);
    EXPECT_EQ(last[14], Pos(kFour[3]).z);
    ExpectRotationNear(last, Key(kFour[3]));
}

TEST(CameraPathTransform, ParameterSelectsTheSegmentAndItsNeighbours)
{
    const CCameraPath path = Load(kFour);
    struct Case
    {
        float t;
        int keys[4];
        float frac;
    };
    // Four frames: t = 0.3 lies in segment 1, t = 0.8 in the last one (neighbours clamped).
    // t = 0.1 lies in segment 0, where the first frame is its own predecessor.
    for (const Case& c :
         {Case{0.3f, {0, 1, 2, 3}, 0.2f}, Case{0.8f, {2, 3, 3, 3}, 0.2f}, Case{0.1f, {0, 0, 1, 2}, 0.4f}}) {
        SCOPED_TRACE(c.t);
        const math::matrix m = path.GetCameraTransform(c.t);
        // The fraction as the path forms it (4 * t in single precision, minus the segment index).
        const float frac = 4.0f * c.t - static_cast<float>(c.keys[1]);
        EXPECT_NEAR(frac, c.frac, 1e-6f);
        const math::vector p = math::catmull_rom(Pos(kFour[c.keys[0]]), Pos(kFour[c.keys[1]]), Pos(kFour[c.keys[2]]),
                                                 Pos(kFour[c.keys[3]]), frac);
        EXPECT_EQ(m[12], p.x);
        EXPECT_EQ(m[13], p.y);
        EXPECT_EQ(m[14], p.z);
        const math::matrix r = math::quat_catmull_rom(Key(kFour[c.keys[0]]), Key(kFour[c.keys[1]]),
                                                      Key(kFour[c.keys[2]]), Key(kFour[c.keys[3]]), frac);
        ExpectRotationNear(m, r);
    }
}

TEST(CameraPathTransform, LastSegmentOvershootsAndComesBack)
{
    // Two frames 27 inches apart on x: at s = 1/3 into the last segment the camera is
    // 2/27 of the step past the last frame.
    const CCameraPath path = Load({{0, 0, 0, 0, 0, 0}, {27, 0, 0, 0, 0, 0}});
    const float t = (1.0f + 1.0f / 3.0f) / 2.0f;
    const float s = 2.0f * t - 1.0f;
    const float step = 27.0f * 0.0254f;
    const math::matrix m = path.GetCameraTransform(t);
    EXPECT_NEAR(m[12], step + 0.5f * s * (1 - s) * (1 - s) * step, 1e-6f);
    EXPECT_NEAR(m[12], step * (1.0f + 2.0f / 27.0f), 1e-6f);
}

TEST(CameraPathTransform, OutOfRangeAndNaNParametersAreClamped)
{
    const CCameraPath path = Load(kFour);
    ExpectSameMatrix(path.GetCameraTransform(-5.0f), path.GetCameraTransform(0.0f));
    ExpectSameMatrix(path.GetCameraTransform(7.0f), path.GetCameraTransform(1.0f));
    ExpectSameMatrix(path.GetCameraTransform(std::nanf("")), path.GetCameraTransform(0.0f));
    ExpectSameMatrix(path.GetCameraTransform(-std::numeric_limits<float>::infinity()), path.GetCameraTransform(0.0f));
    ExpectSameMatrix(path.GetCameraTransform(std::numeric_limits<float>::infinity()), path.GetCameraTransform(1.0f));
}

TEST(CameraPathTransform, EmptyPathGivesTheIdentity)
{
    const CCameraPath path;
    const math::matrix m = path.GetCameraTransform(0.5f);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "element " << i;
}
