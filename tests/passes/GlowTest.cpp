// The ball, its glows, the bolt ribbons, the stars and the lens flare.
#include "tests/passes/PassTestSupport.h"

#include "render/PassMath.h"
#include "scene/ComplexBolt.h"

#include <cmath>

using namespace passtest;
using pass::Cross;
using pass::Dot;

namespace {

float Length(const math::vector& v)
{
    return std::sqrt(Dot(v, v));
}

math::vector At(const SCall& c)
{
    return {c.v[0], c.v[1], c.v[2]};
}

// Texels: bottom row red, green; top row magenta, cyan.
const std::vector<uint32_t> Quadrants = {0xFF0000, 0x00FF00, 0xFF00FF, 0x00FFFF};

} // namespace

using GlowTest = PassTest;

TEST_F(GlowTest, DrawSphere_TurnsThePictureTowardsTheViewer)
{
    // Seen from +z with +y up, the texture's right half lands on the ball's
    // right and its top row on the ball's top, from whichever side it is seen.
    const GLuint tex = Texture(2, 2, Quadrants);
    for (const math::vector& eye : {math::vector{0, 0, 5}, math::vector{0, 0, -5}}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SetCamera(eye, {0, 0, 0}, {0, 1, 0});
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, tex);
        D().DrawSphere(D().m_vCenter, 0.995f, 0u);
        const auto px = Pixels();
        const SPixel ll = PixelAt(px, 72, 42), lr = PixelAt(px, 88, 42);
        const SPixel ul = PixelAt(px, 72, 58), ur = PixelAt(px, 88, 58);
        EXPECT_EQ(ll.r, 255);
        EXPECT_EQ(ll.g, 0);
        EXPECT_EQ(ll.b, 0);
        EXPECT_EQ(lr.g, 255);
        EXPECT_EQ(lr.r, 0);
        EXPECT_EQ(lr.b, 0);
        EXPECT_EQ(ul.r, 255);
        EXPECT_EQ(ul.b, 255);
        EXPECT_EQ(ur.g, 255);
        EXPECT_EQ(ur.b, 255);
        // Well outside the ball nothing is drawn.
        EXPECT_EQ(PixelAt(px, 80, 90).r + PixelAt(px, 80, 90).g, 0);
    }

    // 30 strips of 31 columns, two vertices each; the colour argument is ignored.
    CRecording rec;
    D().DrawSphere(D().m_vCenter, 9.1f, 0xFFFFFFFFu);
    EXPECT_EQ(rec->Only(EOp::Begin).size(), 30u);
    EXPECT_EQ(rec->Only(EOp::Normal).size(), 1860u);
    EXPECT_EQ(rec->Only(EOp::Vertex).size(), 1860u);
    EXPECT_TRUE(rec->Only(EOp::Color).empty());
}

TEST_F(GlowTest, DrawHalo_DimsAsTheEyeNearsTheBall)
{
    auto centrePixel = [&](const math::vector& eye, const math::vector& to) {
        glClear(GL_COLOR_BUFFER_BIT);
        SetCamera(eye, to, {0, 1, 0});
        D().DrawHalo(); // no texture: plain colour
        return PixelAt(Pixels(), 80, 50);
    };
    const SPixel far = centrePixel({0, 0, 20}, {0, 0, 0});
    EXPECT_NEAR(far.r, 51, 1);
    EXPECT_NEAR(far.b, 153, 1);
    const SPixel half = centrePixel({0, 0, 5}, {0, 0, 0});
    EXPECT_NEAR(half.r, 26, 1);
    EXPECT_NEAR(half.b, 77, 1);
    const SPixel inside = centrePixel({0, 0, 0}, {0, 0, -1});
    EXPECT_EQ(inside.r + inside.g + inside.b, 0);
}

TEST_F(GlowTest, DrawHalo_RunsTheTextureUpTheScreenAndAcrossToTheRight)
{
    const GLuint tex = Texture(2, 2, Quadrants);
    D().m_nLightTex = tex;
    SetCamera({0, 0, 20}, {0, 0, 0}, {0, 1, 0});
    D().DrawHalo();
    const auto px = Pixels();
    // s follows the screen's up, t its right: the top-left corner reads texel (s 1, t 0).
    EXPECT_GT(PixelAt(px, 60, 70).g, 40); // green
    EXPECT_EQ(PixelAt(px, 60, 70).r, 0);
    EXPECT_GT(PixelAt(px, 100, 70).b, 100); // cyan
    EXPECT_GT(PixelAt(px, 60, 30).r, 40); // red
    EXPECT_EQ(PixelAt(px, 60, 30).b, 0);
    EXPECT_GT(PixelAt(px, 100, 30).b, 100); // magenta
    EXPECT_GT(PixelAt(px, 100, 30).r, 40);
}

TEST_F(GlowTest, DrawHalos_PutsFourSquaresAcrossEachChordInOneBatch)
{
    {
        CRecording rec;
        D().DrawHalos(); // no bolts: an empty batch all the same
        EXPECT_EQ(rec->Only(EOp::Begin).size(), 1u);
        EXPECT_EQ(rec->Only(EOp::End).size(), 1u);
        EXPECT_TRUE(rec->Only(EOp::Vertex).empty());
    }
    D().m_Bolts.push_back(new CComplexBolt);
    D().m_Bolts.push_back(new CComplexBolt);
    CRecording rec;
    D().DrawHalos();
    EXPECT_EQ(rec->Only(EOp::Begin).size(), 1u);
    const auto v = rec->Only(EOp::Vertex);
    ASSERT_EQ(v.size(), 32u);
    const auto colors = rec->Only(EOp::Color);
    ASSERT_EQ(colors.size(), 8u);
    EXPECT_EQ(colors[0].v[0], 0.7f);
    EXPECT_EQ(colors[1].v[0], Color2.x);
    EXPECT_EQ(colors[1].v[2], Color2.z);

    const float halves[4] = {0.03f, 0.09f, 0.3f, 0.9f};
    for (size_t b = 0; b < 2; ++b) {
        const CComplexBolt* bolt = D().m_Bolts[b];
        const math::vector start = bolt->GetPoint(0), end = bolt->GetPoint(63);
        const math::vector chord = end - start;
        for (int sq = 0; sq < 4; ++sq) {
            math::vector corner[4];
            for (int k = 0; k < 4; ++k)
                corner[k] = At(v[b * 16 + sq * 4 + k]);
            const math::vector centre = (corner[0] + corner[2]) * 0.5f;
            const math::vector& q = sq < 2 ? start : end;
            EXPECT_NEAR(Length(centre - q), 0.0f, 1e-5f);
            // Corners round the rim, all in the plane across the chord.
            EXPECT_NEAR(Length(corner[1] - corner[0]), 2 * halves[sq], 1e-4f);
            EXPECT_NEAR(Length(corner[2] - corner[1]), 2 * halves[sq], 1e-4f);
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(Dot(corner[k] - q, chord) / Length(chord), 0.0f, 1e-4f);
        }
    }
}

TEST_F(GlowTest, SpotAxes_DegenerateChordsStillSpanAPlane)
{
    const math::vector right{1, 0, 0}, up{0, 1, 0};
    const float nan = std::nanf("");
    struct SCase
    {
        math::vector d;
        bool across;
        math::vector axis;
    };
    const SCase cases[] = {
        {{0.3f, -2.0f, 5.0f}, true, math::normalize({0.3f, -2.0f, 5.0f})}, // an ordinary chord
        {{2.0f, 2.0f, 2.0f}, true, math::normalize({1, 1, 1})}, // parallel to its own rotation
        {{-1.5f, -1.5f, -1.5f}, true, math::normalize({-1, -1, -1})},
        {{1e-30f, 1e-30f, 0.0f}, true, math::normalize({1, 1, 0})}, // too short to square
        {{1e-45f, 0.0f, 0.0f}, true, {1, 0, 0}},
        {{0.0f, 0.0f, 0.0f}, false, {}}, // no chord: faces the camera
        {{nan, 1.0f, 0.0f}, false, {}},
    };
    for (const SCase& c : cases) {
        math::vector n1, n2;
        pass::SpotAxes(c.d, right, up, &n1, &n2);
        ASSERT_TRUE(pass::IsFinite(n1) && pass::IsFinite(n2));
        EXPECT_NEAR(Length(n1), 1.0f, 1e-5f);
        EXPECT_NEAR(Length(n2), 1.0f, 1e-5f);
        EXPECT_NEAR(Dot(n1, n2), 0.0f, 1e-5f);
        if (c.across) {
            EXPECT_NEAR(Dot(n1, c.axis), 0.0f, 1e-5f);
            EXPECT_NEAR(Dot(n2, c.axis), 0.0f, 1e-5f);
        } else {
            EXPECT_EQ(n1.x, 1.0f);
            EXPECT_EQ(n2.y, 1.0f);
        }
    }
}

TEST_F(GlowTest, CalcColor_IsOneAtTheEndsAndZeroInTheMiddle)
{
    EXPECT_EQ(D().CalcColor(0.0f), 1.0f);
    EXPECT_NEAR(D().CalcColor(0.15f), 0.5f, 1e-6f);
    EXPECT_EQ(D().CalcColor(0.3f), 0.0f);
    EXPECT_EQ(D().CalcColor(0.5f), 0.0f);
    EXPECT_EQ(D().CalcColor(0.7f), 0.0f);
    EXPECT_NEAR(D().CalcColor(0.85f), 0.5f, 1e-6f);
    EXPECT_NEAR(D().CalcColor(1.0f), 1.0f, 1e-6f);
}

TEST_F(GlowTest, DrawBolt_TwoCameraFacingRibbonsColouredAlongTheRamp)
{
    CComplexBolt bolt;
    bolt.Update(0.3);
    for (int i = 0; i < 64; ++i)
        D().m_Colors.push_back({i / 63.0f, 0.25f, 1.0f - i / 63.0f});
    SetCamera({2, -25, 6}, {0, 0, 0}, {0, 0, 1});

    CRecording rec;
    D().DrawBolt(&bolt);
    EXPECT_EQ(rec->nonFinite, 0);
    const auto begins = rec->Only(EOp::Begin);
    ASSERT_EQ(begins.size(), 2u);
    EXPECT_EQ(begins[0].e, static_cast<unsigned>(GL_TRIANGLE_STRIP));
    const auto v = rec->Only(EOp::Vertex);
    const auto t = rec->Only(EOp::TexCoord);
    ASSERT_EQ(v.size(), 256u);
    ASSERT_EQ(t.size(), 256u);

    const float halves[2] = {0.02f, 0.06f};
    for (int ribbon = 0; ribbon < 2; ++ribbon)
        for (unsigned i = 0; i < 64; ++i) {
            const size_t k = ribbon * 128 + i * 2;
            EXPECT_EQ(t[k].v[0], i < 63 ? 0.5f : 1.0f);
            EXPECT_EQ(t[k + 1].v[0], t[k].v[0]);
            EXPECT_EQ(t[k].v[1], 1.0f);
            EXPECT_EQ(t[k + 1].v[1], 0.0f);
            // The pair straddles the point, across the bolt and across the line of sight.
            const math::vector a = At(v[k]), b = At(v[k + 1]);
            const math::vector p = bolt.GetPoint(i);
            const math::vector side = a - b;
            EXPECT_NEAR(Length(side), 2 * halves[ribbon], 1e-4f);
            EXPECT_NEAR(Length((a + b) * 0.5f - p), 0.0f, 1e-5f);
            EXPECT_NEAR(Dot(side, math::normalize(p - D().m_vEye)), 0.0f, 1e-4f);
            EXPECT_NEAR(Dot(side, math::normalize(bolt.GetTangent(i))), 0.0f, 1e-4f);
        }

    // Core grey once, then ramp entry i before point i of the glow.
    const auto colors = rec->Only(EOp::Color);
    ASSERT_EQ(colors.size(), 65u);
    EXPECT_EQ(colors[0].v[0], 0.7f);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(colors[1 + i].v[0], D().m_Colors[i].x);
        EXPECT_EQ(colors[1 + i].v[2], D().m_Colors[i].z);
    }
    size_t colorsBefore = 0;
    for (const SCall& c : rec->calls) {
        if (c.op == EOp::Color)
            ++colorsBefore;
        if (c.op == EOp::Begin && colorsBefore == 1)
            break;
    }
    EXPECT_EQ(colorsBefore, 1u); // core colour set before the first strip
}

TEST_F(GlowTest, DrawBolt_EyeOnTheBoltKeepsTheRibbonWhole)
{
    CComplexBolt bolt;
    for (int i = 0; i < 64; ++i)
        D().m_Colors.push_back(Color1);
    // The line of sight to a point vanishes when the eye sits on it.
    for (unsigned onPoint : {0u, 5u, 63u}) {
        SetCamera(bolt.GetPoint(onPoint), {0, 0, 0}, {0, 0, 1});
        D().m_vEye = bolt.GetPoint(onPoint);
        CRecording rec;
        D().DrawBolt(&bolt);
        EXPECT_EQ(rec->nonFinite, 0) << "eye on point " << onPoint;
        const auto v = rec->Only(EOp::Vertex);
        ASSERT_EQ(v.size(), 256u);
        EXPECT_NEAR(Length(At(v[onPoint * 2]) - At(v[onPoint * 2 + 1])), 0.04f, 1e-4f);
    }
}

TEST_F(GlowTest, DrawStars_SquareGlowsWhenStillAndTrailsWhenMoving)
{
    CDrawer::m_fStarsTimeScale = 0.0f;
    D().m_StarField.Update(0.0);
    SetCamera({5, -30, 2}, {0, 0, 0}, {0, 0, 1});
    {
        CRecording rec;
        D().DrawStars();
        EXPECT_EQ(rec->nonFinite, 0);
        EXPECT_EQ(rec->Only(EOp::Begin).size(), 1u);
        const auto v = rec->Only(EOp::Vertex);
        const auto colors = rec->Only(EOp::Color);
        ASSERT_EQ(v.size(), 4u * 4096u);
        ASSERT_EQ(colors.size(), 4096u);
        for (unsigned i = 0; i < 4096; i += 7) {
            const CStarField::SStar& s = D().m_StarField.GetStar(i);
            const math::vector p = s.m_vPos + D().m_vEye;
            const math::vector c[4] = {At(v[i * 4]), At(v[i * 4 + 1]), At(v[i * 4 + 2]), At(v[i * 4 + 3])};
            EXPECT_NEAR(Length((c[0] + c[2]) * 0.5f - p), 0.0f, 1e-3f);
            EXPECT_NEAR(Length(c[1] - c[0]), 0.4f, 1e-4f);
            EXPECT_NEAR(Length(c[2] - c[1]), 0.4f, 1e-4f);
            EXPECT_EQ(colors[i].v[0], s.m_fAlpha);
        }
    }

    // Moving: the sprite's middle slides half the trail down the y axis.
    CDrawer::m_fStarsTimeScale = 0.5f;
    CRecording rec;
    D().DrawStars();
    const auto v = rec->Only(EOp::Vertex);
    for (unsigned i = 0; i < 4096; i += 11) {
        const CStarField::SStar& s = D().m_StarField.GetStar(i);
        const float trail = 0.05f * s.m_fSpeed * 0.5f;
        const math::vector mid = (At(v[i * 4]) + At(v[i * 4 + 1]) + At(v[i * 4 + 2]) + At(v[i * 4 + 3])) * 0.25f;
        const math::vector p = s.m_vPos + D().m_vEye;
        EXPECT_NEAR(mid.x, p.x, 1e-3f);
        EXPECT_NEAR(mid.y, p.y - trail / 2, 1e-3f);
        EXPECT_NEAR(mid.z, p.z, 1e-3f);
    }
    CDrawer::m_fStarsTimeScale = 1.0f;
}

TEST_F(GlowTest, DrawStars_AlongVectorComesFromTheUnitAcrossVector)
{
    // B is built from the unit across-vector, not from the 0.2-long offset:
    // scaling before the cross product rounds differently, and the corners
    // must be the ones the unit vectors give, to the last bit.
    CDrawer::m_fStarsTimeScale = 0.7f;
    D().m_StarField.Update(0.5);
    SetCamera({5, -30, 2}, {0, 0, 0}, {0, 0, 1});
    CRecording rec;
    D().DrawStars();
    const auto v = rec->Only(EOp::Vertex);
    ASSERT_EQ(v.size(), 4u * 4096u);
    int mismatched = 0;
    for (unsigned i = 0; i < 4096; ++i) {
        const CStarField::SStar& s = D().m_StarField.GetStar(i);
        const math::vector eye = D().m_vEye;
        const math::vector p = s.m_vPos + eye;
        const float len = 0.05f * s.m_fSpeed * 0.7f;
        const math::vector q = p - math::vector{0.0f, len, 0.0f};
        const math::vector d = (q - p) + math::vector{0.0001f, 0.0f, 0.0f};
        const math::vector e = p - eye;
        const math::vector a = math::normalize(Cross(d, e));
        const math::vector b = math::normalize(Cross(a, e));
        const math::vector want[4] = {p - 0.2f * a + 0.2f * b, p + 0.2f * a + 0.2f * b, q + 0.2f * a - 0.2f * b,
                                      q - 0.2f * a - 0.2f * b};
        for (int k = 0; k < 4; ++k) {
            const math::vector got = At(v[i * 4 + k]);
            if (got.x != want[k].x || got.y != want[k].y || got.z != want[k].z)
                ++mismatched;
        }
    }
    EXPECT_EQ(mismatched, 0);
    CDrawer::m_fStarsTimeScale = 1.0f;
}

// The flare with the light's screen position chosen by the test.
class FlareTest : public PassTest
{
protected:
    // Runs one DrawFlare with the light projected to (sx, sy); returns the recording.
    SRecorder Frame(double sx, double sy, bool visible = true)
    {
        CRecording rec;
        rec->fakeProject = true;
        rec->projectWin[0] = visible ? sx * Width : -10.0;
        rec->projectWin[1] = sy * Height;
        rec->projectWin[2] = 0.5;
        D().DrawFlare();
        return *rec;
    }
};

TEST_F(FlareTest, FadesInAndOutInATenthOfASecond)
{
    SRecorder r = Frame(0.5, 0.5);
    EXPECT_NEAR(_g_fFlare, 1.0f / 3.0f, 1e-5f);
    EXPECT_EQ(r.Only(EOp::Begin).size(), 21u);
    Frame(0.5, 0.5);
    Frame(0.5, 0.5);
    Frame(0.5, 0.5);
    EXPECT_EQ(_g_fFlare, 1.0f);

    // Leaving the screen: about a third less each frame, nothing from the fourth.
    Frame(0.5, 0.5, false);
    EXPECT_NEAR(_g_fFlare, 2.0f / 3.0f, 1e-5f);
    Frame(0.5, 0.5, false);
    r = Frame(0.5, 0.5, false);
    EXPECT_NEAR(_g_fFlare, 0.0f, 1e-5f);
    r = Frame(0.5, 0.5, false);
    EXPECT_EQ(_g_fFlare, 0.0f);
    EXPECT_TRUE(r.calls.empty());
}

TEST_F(FlareTest, LightAtTheCentreStacksEverySpriteAndTurnsTheFourth)
{
    _g_fFlare = 1.0f;
    const SRecorder r = Frame(0.5, 0.5);
    const auto translates = r.Only(EOp::Translate);
    ASSERT_EQ(translates.size(), 42u); // to the centre and back, per sprite
    for (size_t i = 0; i < translates.size(); i += 2) {
        EXPECT_FLOAT_EQ(translates[i].v[0], 0.5f);
        EXPECT_FLOAT_EQ(translates[i].v[1], 0.5f);
    }
    const auto rotates = r.Only(EOp::Rotate);
    ASSERT_EQ(rotates.size(), 21u);
    for (size_t i = 0; i < rotates.size(); ++i)
        EXPECT_NEAR(rotates[i].v[0], i == 3 ? -3.14 * 180.0 / M_PI : 0.0, 1e-3) << "sprite " << i;
    // Each sprite stretched by the aspect, bound to its own texture.
    for (const SCall& s : r.Only(EOp::Scale))
        EXPECT_EQ(s.v[1], 1.6f);
    EXPECT_EQ(r.Only(EOp::Bind).size(), 21u);
    // Full intensity: colour byte / 256.
    const auto colors = r.Only(EOp::Color);
    ASSERT_EQ(colors.size(), 21u);
    EXPECT_FLOAT_EQ(colors[2].v[0], 0x5F / 256.0f);
    EXPECT_FLOAT_EQ(colors[6].v[2], 0x4F / 256.0f);
    EXPECT_FLOAT_EQ(colors[6].v[0], 0x0F / 256.0f);
}

TEST_F(FlareTest, DimsWithinATenthOfTheScreenOfAnyEdge)
{
    _g_fFlare = 1.0f;
    EXPECT_NEAR(Frame(0.05, 0.5).Only(EOp::Color)[2].v[0], 0.5f * 0x5F / 256.0f, 1e-6f);
    _g_fFlare = 1.0f;
    EXPECT_NEAR(Frame(0.05, 0.95).Only(EOp::Color)[2].v[0], 0.25f * 0x5F / 256.0f, 1e-6f);
    _g_fFlare = 1.0f;
    EXPECT_NEAR(Frame(0.97, 0.5).Only(EOp::Color)[2].v[0], 0.3f * 0x5F / 256.0f, 1e-6f);
    _g_fFlare = 1.0f;
    EXPECT_NEAR(Frame(0.5, 0.5).Only(EOp::Color)[2].v[0], 0x5F / 256.0f, 1e-6f);
}

TEST_F(FlareTest, KeepsItsLastPlaceWhenTheLightHasNoScreenPosition)
{
    // First a real frame with the light on screen, away from the centre.
    SetCamera({0, 0, 0}, {4.6f, -7.0f, -3.1f}, {0, 0, 1});
    std::vector<SCall> seen;
    {
        CRecording rec;
        D().DrawFlare();
        seen = rec->Only(EOp::Translate);
        ASSERT_EQ(seen.size(), 42u);
        // Sprite 2 sits on the light.
        EXPECT_GT(std::fabs(seen[4].v[0] - 0.5f) + std::fabs(seen[4].v[1] - 0.5f), 0.05f);
        EXPECT_GT(seen[4].v[0], 0.0f);
        EXPECT_LT(seen[4].v[0], 1.0f);
    }
    const float before = _g_fFlare;

    // Then the light exactly in the eye's plane: w = 0, no projection at all.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    D().m_vEye = {-3.6f, 7.0f, 4.1f}; // the light lands on the origin
    _g_fFlare = 1.0f;
    CRecording rec;
    D().DrawFlare();
    EXPECT_EQ(rec->nonFinite, 0);
    EXPECT_LT(_g_fFlare, 1.0f); // fading out
    const auto now = rec->Only(EOp::Translate);
    ASSERT_EQ(now.size(), seen.size());
    for (size_t i = 0; i < now.size(); ++i) {
        EXPECT_EQ(now[i].v[0], seen[i].v[0]);
        EXPECT_EQ(now[i].v[1], seen[i].v[1]);
    }
    EXPECT_GT(before, 0.0f);
}
