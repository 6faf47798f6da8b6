// Camera, projection and the screen-space helpers, on real pixels where they show.
#include "tests/passes/PassTestSupport.h"

#include <cmath>

using namespace passtest;

namespace {

void ExpectVec(const math::vector& v, float x, float y, float z, float tol = 1e-4f)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

// Bounding box of the lit pixels (any channel above the threshold).
struct SBox
{
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
};

SBox LitBox(const std::vector<unsigned char>& rgba, int threshold = 128)
{
    SBox b;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const SPixel p = PixelAt(rgba, x, y);
            if (p.r > threshold || p.g > threshold || p.b > threshold) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
                ++b.count;
            }
        }
    return b;
}

} // namespace

using CameraTest = PassTest;

TEST_F(CameraTest, SetupMatrices_NarrowsTheVerticalFieldAsTheViewWidensAndTurnsForPortraitViews)
{
    // 160 x 100 is a 1.6 view: 56.25 degrees vertically, aspect 1.6.
    GLdouble proj[16];
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    const double f = 1.0 / std::tan(56.25 * M_PI / 360.0);
    EXPECT_NEAR(proj[5], f, 1e-5);
    EXPECT_NEAR(proj[0], f / 1.6, 1e-5);
    EXPECT_NEAR(proj[10], -(200.0 + 0.1) / (200.0 - 0.1), 1e-5);

    // A square view gets 90 degrees.
    glViewport(0, 0, 100, 100);
    D().SetupMatrices();
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    EXPECT_NEAR(proj[5], 1.0, 1e-5);
    EXPECT_NEAR(proj[0], 1.0, 1e-5);

    // A portrait view is the landscape one turned on its side, so very tall
    // views stay below 90 degrees instead of turning the picture over.
    glViewport(0, 0, 300, 1000);
    D().SetupMatrices();
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    EXPECT_GT(proj[5], 1.0);
    EXPECT_NEAR(proj[0], proj[5] * 1000.0 / 300.0, 1e-5);

    // A view of no height draws nothing but leaves finite matrices.
    glViewport(0, 0, 100, 0);
    D().SetupMatrices();
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    for (double e : proj)
        EXPECT_TRUE(std::isfinite(e));
}

TEST_F(CameraTest, SetupCamera_BuildsAnOrthonormalScreenBasis)
{
    SetCamera({0, 0, 10}, {0, 0, 0}, {0, 1, 0});
    ExpectVec(D().m_vEye, 0, 0, 10);
    ExpectVec(D().m_vDir, 0, 0, -1);
    ExpectVec(D().m_vRight, 1, 0, 0);
    ExpectVec(D().m_vUp, 0, 1, 0);

    // The starting camera, and an up hint that is not perpendicular to the view.
    SetCamera({-100, -100, 0}, {0, 0, 0}, {0, 0, 1});
    ExpectVec(D().m_vDir, 0.70710677f, 0.70710677f, 0);
    ExpectVec(D().m_vRight, 0.70710677f, -0.70710677f, 0);
    ExpectVec(D().m_vUp, 0, 0, 1);
    SetCamera({0, -10, 0}, {0, 0, 0}, {0, 1, 1});
    ExpectVec(D().m_vUp, 0, 0, 1);
}

TEST_F(CameraTest, ProjectVertex_CentreOnScreenAndBehindTheEyeNot)
{
    SetCamera({-100, -100, 0}, {0, 0, 0}, {0, 0, 1});
    float sx = -1, sy = -1, sz = -1;
    EXPECT_TRUE(D().ProjectVertex(0, 0, 0, &sx, &sy, &sz));
    EXPECT_NEAR(sx, 0.5f, 1e-5f);
    EXPECT_NEAR(sy, 0.5f, 1e-5f);
    EXPECT_GT(sz, 0.0f);
    EXPECT_LT(sz, 1.0f);

    // Straight behind the eye: written, but not visible.
    EXPECT_FALSE(D().ProjectVertex(-200, -200, 0, &sx, &sy, &sz));
    // Beyond the far plane.
    EXPECT_FALSE(D().ProjectVertex(300, 300, 0, &sx, &sy, &sz));
}

TEST_F(CameraTest, ProjectVertex_LeftAndBottomEdgesCountRightAndTopDoNot)
{
    // An orthographic unit square maps x = 1 exactly onto window x = width.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    float sx, sy, sz;
    EXPECT_TRUE(D().ProjectVertex(0, 0, 0, &sx, &sy, &sz));
    EXPECT_EQ(sx, 0.0f);
    EXPECT_EQ(sy, 0.0f);
    EXPECT_FALSE(D().ProjectVertex(1, 0.5f, 0, &sx, &sy, &sz));
    EXPECT_EQ(sx, 1.0f); // written even when not visible
    EXPECT_FALSE(D().ProjectVertex(0.5f, 1, 0, &sx, &sy, &sz));
    EXPECT_TRUE(D().ProjectVertex(0.999f, 0.999f, 0, &sx, &sy, &sz));
    // Depth 0 and 1 are inside, beyond them not.
    EXPECT_TRUE(D().ProjectVertex(0.5f, 0.5f, 1, &sx, &sy, &sz));
    EXPECT_EQ(sz, 0.0f);
    EXPECT_TRUE(D().ProjectVertex(0.5f, 0.5f, -1, &sx, &sy, &sz));
    EXPECT_EQ(sz, 1.0f);
    EXPECT_FALSE(D().ProjectVertex(0.5f, 0.5f, -1.5f, &sx, &sy, &sz));
}

TEST_F(CameraTest, ProjectVertex_FailedProjectionLeavesOutputsAlone)
{
    // A point in the eye's plane has w = 0 under a perspective projection.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    float sx = 7, sy = 8, sz = 9;
    EXPECT_FALSE(D().ProjectVertex(1, 2, 0, &sx, &sy, &sz));
    EXPECT_EQ(sx, 7.0f);
    EXPECT_EQ(sy, 8.0f);
    EXPECT_EQ(sz, 9.0f);
}

TEST_F(CameraTest, DrawQuad_MapsTheTextureFromThePQEdgeToTheRSEdge)
{
    // Texels: bottom row red, green; top row blue, white.
    const GLuint tex = Texture(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    D().Set2D();
    // p, q form the left edge (p on top), r, s the right edge (r on top).
    D().DrawQuad({0, 1, 0}, {0, 0, 0}, {1, 1, 0}, {1, 0, 0});
    D().Restore3D();
    const auto px = Pixels();
    const SPixel bl = PixelAt(px, 10, 10), br = PixelAt(px, Width - 10, 10);
    const SPixel tl = PixelAt(px, 10, Height - 10), tr = PixelAt(px, Width - 10, Height - 10);
    EXPECT_EQ(bl.r, 255);
    EXPECT_EQ(bl.g, 0);
    EXPECT_EQ(br.g, 255);
    EXPECT_EQ(br.r, 0);
    EXPECT_EQ(tl.b, 255);
    EXPECT_EQ(tl.r, 0);
    EXPECT_EQ(tr.r, 255);
    EXPECT_EQ(tr.g, 255);
}

TEST_F(CameraTest, DrawQuad2D_WithTheAspectAsYScaleIsASquareOnA16View)
{
    D().Set2D();
    D().DrawQuad2D(0.4f, 0.4f, 0.6f, 0.6f, 0, 0, 1, 1, 0, 1.6f);
    D().Restore3D();
    // x 0.4..0.6 and y 0.34..0.66: 32 x 32 pixels.
    const SBox box = LitBox(Pixels());
    EXPECT_EQ(box.x0, 64);
    EXPECT_EQ(box.x1, 95);
    EXPECT_EQ(box.y0, 34);
    EXPECT_EQ(box.y1, 65);
    EXPECT_EQ(box.count, 32 * 32);
}

TEST_F(CameraTest, DrawQuad2D_TurnsTheTextureCounterClockwiseBeforeTheStretch)
{
    const GLuint tex = Texture(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    D().Set2D();
    D().DrawQuad2D(0.4f, 0.4f, 0.6f, 0.6f, 0, 0, 1, 1, static_cast<float>(M_PI / 2), 1.6f);
    D().Restore3D();
    const auto px = Pixels();
    const SBox box = LitBox(px, 40);
    EXPECT_EQ(box.count, 32 * 32);
    // A quarter turn counter-clockwise carries the bottom-left texel (red) to the
    // bottom-right, bottom-right (green) to the top-right, and so on.
    const SPixel br = PixelAt(px, 90, 38), tr = PixelAt(px, 90, 62);
    const SPixel tl = PixelAt(px, 68, 62), bl = PixelAt(px, 68, 38);
    EXPECT_EQ(br.r, 255);
    EXPECT_EQ(br.g, 0);
    EXPECT_EQ(br.b, 0);
    EXPECT_EQ(tr.g, 255);
    EXPECT_EQ(tr.r, 0);
    EXPECT_EQ(tl.r, 255);
    EXPECT_EQ(tl.g, 255);
    EXPECT_EQ(tl.b, 255);
    EXPECT_EQ(bl.b, 255);
    EXPECT_EQ(bl.r, 0);
}

TEST_F(CameraTest, DarkScene_BlendsBlackByStrengthAndLeavesTinyStrengthsAlone)
{
    auto frameAfter = [&](float strength) {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D); // must not tint the fade
        D().DarkScene(strength);
        glDisable(GL_TEXTURE_2D);
        return PixelAt(Pixels(), 80, 50);
    };
    EXPECT_EQ(frameAfter(0.0f).r, 255);
    EXPECT_NEAR(frameAfter(0.5f).r, 128, 1);
    EXPECT_EQ(frameAfter(1.0f).r, 0);
    EXPECT_EQ(frameAfter(3.0f).g, 0); // more than 1 acts as 1

    // The threshold itself is finer than a byte of colour: count what is sent.
    CRecording rec;
    D().DarkScene(0.0009f);
    D().DarkScene(std::nanf(""));
    EXPECT_TRUE(rec->calls.empty());
    D().DarkScene(0.001f);
    EXPECT_EQ(rec->Only(EOp::Vertex).size(), 4u);
    const auto colors = rec->Only(EOp::Color);
    ASSERT_EQ(colors.size(), 1u);
    EXPECT_EQ(colors[0].v[3], 0.001f);
}
