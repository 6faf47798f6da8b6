#include "math/Math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float kPi = 3.14159265358979f;

void ExpectQuatNear(const math::quat& a, const math::quat& b, float tolerance = 1e-6f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}

math::quat AboutZ(float angle)
{
    return {0.0f, 0.0f, std::sin(angle / 2), std::cos(angle / 2)};
}

// Column-major rotation matrices built from their textbook definitions, in double.
struct Mat3
{
    double m[9]; // column-major
};

Mat3 Multiply(const Mat3& a, const Mat3& b)
{
    Mat3 r{};
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row)
            for (int k = 0; k < 3; ++k)
                r.m[3 * col + row] += a.m[3 * k + row] * b.m[3 * col + k];
    return r;
}

Mat3 Rx(double a)
{
    return {{1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a)}};
}
Mat3 Ry(double a)
{
    return {{std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a)}};
}
Mat3 Rz(double a)
{
    return {{std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1}};
}

double MaxDifference(const math::matrix& m, const Mat3& r)
{
    double worst = 0;
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row)
            worst = std::max(worst, std::fabs(m[4 * col + row] - r.m[3 * col + row]));
    return worst;
}

} // namespace

TEST(Vector, NormalizeAndDivide)
{
    const math::vector n = math::normalize({3.0f, 0.0f, -4.0f});
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.y, 0.0f);
    EXPECT_FLOAT_EQ(n.z, -0.8f);
    const math::vector zero = math::normalize({0.0f, 0.0f, 0.0f});
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));

    const math::vector d = math::vector{1.0f, -3.0f, 0.5f} / 2.0f;
    EXPECT_EQ(d.x, 0.5f);
    EXPECT_EQ(d.y, -1.5f);
    EXPECT_EQ(d.z, 0.25f);
}

TEST(Vector, InchesToMetersScalesEachComponent)
{
    const math::vector m = InchesToMeters(math::vector{100.0f, 0.0f, -50.0f});
    EXPECT_FLOAT_EQ(m.x, 2.54f);
    EXPECT_EQ(m.y, 0.0f);
    EXPECT_FLOAT_EQ(m.z, -1.27f);
}

TEST(CatmullRom, HitsTheInnerPointsExactlyAtTheEnds)
{
    const math::vector p0{-7.25f, 3.5f, 100.125f}, p1{0.1f, -0.3f, 12.7f}, p2{5.3f, 8.9f, -4.4f},
        p3{1e3f, -2e-3f, 0.7f};
    const math::vector a = math::catmull_rom(p0, p1, p2, p3, 0.0f);
    const math::vector b = math::catmull_rom(p0, p1, p2, p3, 1.0f);
    EXPECT_EQ(a.x, p1.x);
    EXPECT_EQ(a.y, p1.y);
    EXPECT_EQ(a.z, p1.z);
    EXPECT_EQ(b.x, p2.x);
    EXPECT_EQ(b.y, p2.y);
    EXPECT_EQ(b.z, p2.z);
}

TEST(CatmullRom, ReproducesConstantsAndEvenlySpacedLines)
{
    const math::vector p{1.5f, -2.25f, 40.0f};
    for (float t : {0.1f, 0.33f, 0.5f, 0.9f}) {
        const math::vector c = math::catmull_rom(p, p, p, p, t);
        EXPECT_NEAR(c.x, p.x, 1e-5f);
        EXPECT_NEAR(c.y, p.y, 1e-5f);
        EXPECT_NEAR(c.z, p.z, 4e-5f);
        // Evenly spaced collinear keys: the spline is the straight line through them.
        const math::vector l = math::catmull_rom(math::vector{0, 0, 0}, math::vector{1, 2, 3}, math::vector{2, 4, 6},
                                                 math::vector{3, 6, 9}, t);
        EXPECT_NEAR(l.x, 1.0f + t, 1e-6f);
        EXPECT_NEAR(l.y, 2.0f + 2.0f * t, 1e-6f);
        EXPECT_NEAR(l.z, 3.0f + 3.0f * t, 1e-6f);
    }
    // Off-line keys pull the curve: at t = 0.5 the weights are -1/16, 9/16, 9/16, -1/16.
    const math::vector h = math::catmull_rom(math::vector{0, 16, 0}, math::vector{0, 0, 0}, math::vector{16, 0, 0},
                                             math::vector{16, 16, 0}, 0.5f);
    EXPECT_FLOAT_EQ(h.x, 8.0f);
    EXPECT_FLOAT_EQ(h.y, -2.0f);
}

TEST(Quaternion, EulerAnglesComposeAsZThenYThenX)
{
    const math::quat identity = math::gen_euler_quat({0.0f, 0.0f, 0.0f});
    EXPECT_EQ(identity.x, 0.0f);
    EXPECT_EQ(identity.y, 0.0f);
    EXPECT_EQ(identity.z, 0.0f);
    EXPECT_EQ(identity.w, 1.0f);

    const math::quat quarter = math::gen_euler_quat({0.0f, 0.0f, kPi / 2});
    ExpectQuatNear(quarter, {0.0f, 0.0f, std::sin(kPi / 4), std::cos(kPi / 4)});
    const math::matrix m = quarter;
    EXPECT_NEAR(m[0], 0.0f, 1e-6f); // x axis goes to y
    EXPECT_NEAR(m[1], 1.0f, 1e-6f);
    EXPECT_NEAR(m[2], 0.0f, 1e-6f);

    const double ax = 0.3, ay = -0.7, az = 1.1;
    const math::matrix r = math::gen_euler_quat({0.3f, -0.7f, 1.1f});
    EXPECT_LT(MaxDifference(r, Multiply(Rz(az), Multiply(Ry(ay), Rx(ax)))), 1e-6);
    EXPECT_GT(MaxDifference(r, Multiply(Rx(ax), Multiply(Ry(ay), Rz(az)))), 0.1);
}

TEST(Quaternion, MatrixOfIdentityIsIdentityAndRotationsAreColumnMajor)
{
    const math::matrix m = math::quat{0.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "element " << i;

    // 90 degrees about x: y goes to z, so element 6 (column 1, row 2) is +1.
    const math::matrix rx = math::quat{std::sin(kPi / 4), 0.0f, 0.0f, std::cos(kPi / 4)};
    EXPECT_NEAR(rx[6], 1.0f, 1e-6f);
    EXPECT_NEAR(rx[9], -1.0f, 1e-6f);
    EXPECT_EQ(rx[15], 1.0f);
    EXPECT_EQ(rx[3], 0.0f);
    EXPECT_EQ(rx[12], 0.0f);
}

TEST(Slerp, InterpolatesAndExtrapolatesAlongTheArc)
{
    const math::quat identity{0.0f, 0.0f, 0.0f, 1.0f};
    const math::quat quarter = AboutZ(kPi / 2);
    ExpectQuatNear(math::slerp(identity, quarter, 0.5f), AboutZ(kPi / 4));
    ExpectQuatNear(math::slerp(identity, quarter, -1.0f), AboutZ(-kPi / 2));
    ExpectQuatNear(math::slerp(identity, quarter, 2.0f), AboutZ(kPi));
    ExpectQuatNear(math::slerp(identity, quarter, 0.0f), identity);
    ExpectQuatNear(math::slerp(identity, quarter, 1.0f), quarter);
}

TEST(Slerp, TakesTheShorterArc)
{
    const math::quat identity{0.0f, 0.0f, 0.0f, 1.0f};
    // 270 degrees about z is -90 degrees: halfway is -45, not +135.
    ExpectQuatNear(math::slerp(identity, AboutZ(1.5f * kPi), 0.5f), AboutZ(-kPi / 4));
    // The negated quarter turn is the same rotation and gives the same path.
    const math::quat quarter = AboutZ(kPi / 2);
    const math::quat negated{-quarter.x, -quarter.y, -quarter.z, -quarter.w};
    ExpectQuatNear(math::slerp(identity, negated, 0.5f), AboutZ(kPi / 4));
}

TEST(Slerp, EqualOrOppositeQuaternionsStayPut)
{
    const math::quat q = math::gen_euler_quat({0.4f, -1.2f, 2.5f});
    const math::quat minus{-q.x, -q.y, -q.z, -q.w};
    for (float t : {-1.0f, 0.0f, 0.25f, 1.0f, 2.0f}) {
        const math::quat a = math::slerp(q, minus, t);
        const math::quat b = math::slerp(q, q, t);
        ExpectQuatNear(a, q);
        ExpectQuatNear(b, q);
        EXPECT_FALSE(std::isnan(a.w) || std::isnan(b.w));
    }
}

TEST(QuatSpline, PassesThroughTheInnerKeys)
{
    const math::quat q = math::gen_euler_quat({0.1f, 0.2f, 0.3f});
    for (float t : {0.0f, 0.4f, 1.0f})
        ExpectQuatNear(math::quat_catmull_rom(q, q, q, q, t), q);

    const math::quat k0 = math::gen_euler_quat({0.0f, 0.0f, 0.0f});
    const math::quat k1 = math::gen_euler_quat({0.5f, -0.2f, 1.0f});
    const math::quat k2 = math::gen_euler_quat({-1.0f, 0.7f, 2.9f});
    const math::quat k3 = math::gen_euler_quat({2.0f, 1.0f, -3.0f});
    ExpectQuatNear(math::quat_catmull_rom(k0, k1, k2, k3, 0.0f), k1, 2e-6f);
    const math::quat end = math::quat_catmull_rom(k0, k1, k2, k3, 1.0f);
    const float sign = (end.w * k2.w + end.x * k2.x + end.y * k2.y + end.z * k2.z) < 0 ? -1.0f : 1.0f;
    ExpectQuatNear({sign * end.x, sign * end.y, sign * end.z, sign * end.w}, k2, 2e-6f);

    // Turns about one axis: the spline turns by the Catmull-Rom spline of the angles.
    const float a0 = 0.0f, a1 = 0.3f, a2 = 0.9f, a3 = 1.0f;
    for (float t : {0.25f, 0.5f, 0.8f}) {
        const float angle = 0.5f * (2 * a1 + (a2 - a0) * t + (2 * a0 - 5 * a1 + 4 * a2 - a3) * t * t +
                                    (3 * a1 - a0 - 3 * a2 + a3) * t * t * t);
        ExpectQuatNear(math::quat_catmull_rom(AboutZ(a0), AboutZ(a1), AboutZ(a2), AboutZ(a3), t), AboutZ(angle), 2e-6f);
    }
}
