// What each pass leaves behind, and that no pass ever sends a non-number.
#include "tests/passes/PassTestSupport.h"

#include "scene/ComplexBolt.h"

#include <functional>
#include <string>

using namespace passtest;

namespace {

const GLenum Caps[] = {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_TEXTURE_2D, GL_DITHER, GL_LIGHTING};

struct SState
{
    std::vector<GLboolean> caps;
    GLint attribDepth, modelDepth, projDepth, mode;
    GLdouble model[16], proj[16];
};

SState Capture()
{
    SState s{};
    for (GLenum c : Caps)
        s.caps.push_back(glIsEnabled(c));
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &s.attribDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projDepth);
    glGetIntegerv(GL_MATRIX_MODE, &s.mode);
    glGetDoublev(GL_MODELVIEW_MATRIX, s.model);
    glGetDoublev(GL_PROJECTION_MATRIX, s.proj);
    return s;
}

void ExpectSame(const SState& a, const SState& b, const std::string& what)
{
    for (size_t i = 0; i < a.caps.size(); ++i)
        EXPECT_EQ(a.caps[i], b.caps[i]) << what << ": capability " << Caps[i];
    EXPECT_EQ(a.attribDepth, b.attribDepth) << what;
    EXPECT_EQ(a.modelDepth, b.modelDepth) << what;
    EXPECT_EQ(a.projDepth, b.projDepth) << what;
    EXPECT_EQ(b.mode, GL_MODELVIEW) << what;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(a.model[i], b.model[i]) << what;
        EXPECT_EQ(a.proj[i], b.proj[i]) << what;
    }
}

void SetCaps(bool on)
{
    for (GLenum c : Caps)
        on ? glEnable(c) : glDisable(c);
}

} // namespace

class StateTest : public PassTest
{
protected:
    void SetUp() override
    {
        PassTest::SetUp();
        for (int i = 0; i < 3; ++i)
            D().m_Bolts.push_back(new CComplexBolt);
        for (int i = 0; i < 64; ++i)
            D().m_Colors.push_back({0.5f, 0.1f + i / 630.0f, 0.1f});
        D().m_StarField.Update(0.0);
        _g_fFlare = 1.0f;
    }

    // Every pass, drawing something, named for the messages.
    std::vector<std::pair<std::string, std::function<void()>>> Passes()
    {
        CDrawer* d = &D();
        return {
            {"DrawQuad",
             [d] {
                 d->DrawQuad({-1, -1, 0}, {-1, 1, 0}, {1, -1, 0}, {1, 1, 0});
             }},
            {"DrawQuad2D",
             [d] {
                 d->Set2D();
                 d->DrawQuad2D(0.1f, 0.1f, 0.4f, 0.4f, 0, 0, 1, 1, 0.7f, 1.6f);
                 d->Restore3D();
             }},
            {"DrawSphere", [d] { d->DrawSphere(d->m_vCenter, 0.995f, 0u); }},
            {"DrawHalo", [d] { d->DrawHalo(); }},
            {"DrawHalos", [d] { d->DrawHalos(); }},
            {"DrawBolt", [d] { d->DrawBolt(d->m_Bolts[0]); }},
            {"DrawStars", [d] { d->DrawStars(); }},
            {"DrawFlare", [d] { d->DrawFlare(); }},
            {"DarkScene", [d] { d->DarkScene(0.5f); }},
        };
    }
};

TEST_F(StateTest, EveryPassRestoresEnableBitsAndMatrices)
{
    // The light must be on screen so that the flare really draws.
    SetCamera({0, 0, 0}, {3.6f, -7.0f, -4.1f}, {0, 0, 1});
    for (bool on : {false, true})
        for (auto& [name, pass] : Passes()) {
            SetCaps(on);
            _g_fFlare = 1.0f;
            const SState before = Capture();
            pass();
            ExpectSame(before, Capture(), name + (on ? " (all on)" : " (all off)"));
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        }
}

TEST_F(StateTest, BlendFunctionColourAndTextureAreLeftAsTheLastPassSetThem)
{
    SetCamera({0, 0, 0}, {3.6f, -7.0f, -4.1f}, {0, 0, 1});
    GLint src = 0, dst = 0;
    GLfloat color[4];

    D().DarkScene(0.25f);
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_EQ(color[3], 0.25f);

    const GLuint tex = Texture(1, 1, {0xFFFFFF});
    D().m_nFlareTex[2] = tex;
    D().DrawFlare();
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_ONE);
    EXPECT_EQ(dst, GL_ONE);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), tex);

    D().DrawBolt(D().m_Bolts[0]);
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_EQ(color[1], D().m_Colors[63].y);
}

TEST_F(StateTest, NoNonNumberReachesOpenGLFromADegenerateCamera)
{
    // Eye on the point looked at; looking straight along the up hint; a zero up
    // hint; the eye in the middle of the ball.
    const math::vector cameras[][3] = {
        {{4, 4, 4}, {4, 4, 4}, {0, 0, 1}},
        {{0, 0, 20}, {0, 0, 0}, {0, 0, 1}},
        {{0, 0, 20}, {0, 0, 0}, {0, 0, 0}},
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 1}},
    };
    for (const auto& cam : cameras) {
        SetCamera(cam[0], cam[1], cam[2]);
        for (auto& [name, pass] : Passes()) {
            _g_fFlare = 1.0f;
            CRecording rec;
            pass();
            EXPECT_EQ(rec->nonFinite, 0) << name << " from (" << cam[0].x << ", " << cam[0].y << ", " << cam[0].z
                                         << ")";
        }
        EXPECT_TRUE(std::isfinite(_g_fFlare));
    }
}
