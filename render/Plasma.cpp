// CDrawer: the plasma ball's body and glows.
//   - DrawSphere: view-mapped textured sphere (the ball and the additive shell)
//   - DrawHalo: the camera-facing glow over the ball
//   - DrawHalos: the spots at both ends of every bolt
//   - CalcColor: the weight rule of the bolt colour ramp
#include "render/Drawer.h"
#include "render/PassGL.h"
#include "render/PassMath.h"
#include "scene/ComplexBolt.h"

#include <cmath>

namespace {

constexpr int SphereStacks = 30; // strips from the +z pole down to the -z pole
constexpr int SphereSlices = 30; // each strip repeats its seam column at 2 pi

constexpr float HaloHalfSize = 9.0f;
constexpr float HaloFadeDistance = 10.0f; // closer than this the glow dims towards nothing

constexpr float RootSpotHalf = 0.03f; // grey spot where a bolt leaves the ball
constexpr float RootGlowHalf = 0.09f; // and its coloured surround
constexpr float TipSpotHalf = 0.3f; // the same at the outer end, ten times larger
constexpr float TipGlowHalf = 0.9f;
constexpr float SpotGrey = 0.7f;

// One square of the halo batch, corners round the rim.
inline void EmitSpot(const SPassGL& gl, const math::vector& q, float h, const math::vector& n1, const math::vector& n2)
{
    const math::vector a = n1 * h;
    const math::vector b = n2 * h;
    math::vector v = q - a - b;
    gl.TexCoord2f(0.0f, 0.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    v = q - a + b;
    gl.TexCoord2f(0.0f, 1.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    v = q + a + b;
    gl.TexCoord2f(1.0f, 1.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    v = q + a - b;
    gl.TexCoord2f(1.0f, 0.0f);
    gl.Vertex3f(v.x, v.y, v.z);
}

} // namespace

void CDrawer::DrawSphere(const math::vector& center, float radius, unsigned int /*color*/)
{
    // Texture coordinates come from the normal's screen-plane components, so the
    // picture keeps facing the viewer however the camera flies; nothing is cached.
    const SPassGL& gl = PassGL();
    const math::vector right = m_vRight;
    const math::vector up = m_vUp;

    auto emit = [&](float cosA, float sinA, float cosB, float sinB) {
        const math::vector v{center.x + radius * (cosA * cosB), center.y + radius * (cosA * sinB),
                             center.z + radius * sinA};
        const math::vector n = math::normalize(v - center);
        const float s = static_cast<float>(0.5 + 0.5 * static_cast<double>(pass::Dot(n, right)));
        const float t = static_cast<float>(0.5 + 0.5 * static_cast<double>(pass::Dot(n, up)));
        gl.Normal3f(n.x, n.y, n.z);
        gl.TexCoord2f(s, t);
        gl.Vertex3f(v.x, v.y, v.z);
    };

    for (int i = 0; i < SphereStacks; ++i) {
        const float a0 = static_cast<float>(M_PI / 2 - i * M_PI / SphereStacks);
        const float a1 = static_cast<float>(M_PI / 2 - (i + 1) * M_PI / SphereStacks);
        const float cosA0 = std::cos(a0), sinA0 = std::sin(a0);
        const float cosA1 = std::cos(a1), sinA1 = std::sin(a1);
        gl.Begin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= SphereSlices; ++j) {
            const float b = static_cast<float>(j * 2 * M_PI / SphereSlices);
            const float cosB = std::cos(b), sinB = std::sin(b);
            emit(cosA0, sinA0, cosB, sinB);
            emit(cosA1, sinA1, cosB, sinB);
        }
        gl.End();
    }
}

void CDrawer::DrawHalo()
{
    const math::vector toCenter = m_vCenter - m_vEye;
    const float d = std::sqrt(pass::Dot(toCenter, toCenter));
    // Fades out as the eye nears the ball; a non-number distance counts as far.
    const float g = d < HaloFadeDistance ? d / HaloFadeDistance : 1.0f;

    const SPassGL& gl = PassGL();
    gl.PushAttrib(GL_ENABLE_BIT);
    gl.Enable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, m_nLightTex);
    gl.Color3f(static_cast<float>(0.2 * g), static_cast<float>(0.2 * g), static_cast<float>(0.6 * g));

    // s runs along the camera's up vector, t along its right vector.
    const math::vector u = m_vUp * HaloHalfSize;
    const math::vector r = m_vRight * HaloHalfSize;
    const math::vector q = m_vCenter;
    gl.Begin(GL_TRIANGLE_STRIP);
    math::vector v = q - u - r;
    gl.TexCoord2f(0.0f, 0.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    v = q - u + r;
    gl.TexCoord2f(0.0f, 1.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    v = q + u - r;
    gl.TexCoord2f(1.0f, 0.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    v = q + u + r;
    gl.TexCoord2f(1.0f, 1.0f);
    gl.Vertex3f(v.x, v.y, v.z);
    gl.End();

    gl.PopAttrib();
}

void CDrawer::DrawHalos()
{
    const SPassGL& gl = PassGL();
    gl.PushAttrib(GL_ENABLE_BIT);
    gl.Enable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, m_nLightTex);
    gl.Begin(GL_QUADS);

    for (const CComplexBolt* bolt : m_Bolts) {
        const math::vector a = bolt->GetPoint(0);
        const math::vector b = bolt->GetPoint(bolt->NumPoints() - 1);
        math::vector n1, n2;
        pass::SpotAxes(b - a, m_vRight, m_vUp, &n1, &n2);

        gl.Color3f(SpotGrey, SpotGrey, SpotGrey);
        EmitSpot(gl, a, RootSpotHalf, n1, n2);
        gl.Color3f(Color2.x, Color2.y, Color2.z);
        EmitSpot(gl, a, RootGlowHalf, n1, n2);
        gl.Color3f(SpotGrey, SpotGrey, SpotGrey);
        EmitSpot(gl, b, TipSpotHalf, n1, n2);
        gl.Color3f(Color2.x, Color2.y, Color2.z);
        EmitSpot(gl, b, TipGlowHalf, n1, n2);
    }

    gl.End();
    gl.PopAttrib();
}

float CDrawer::CalcColor(float t)
{
    const double x = t;
    if (x < 0.3)
        return static_cast<float>((0.3 - x) / 0.3);
    if (x > 0.7)
        return static_cast<float>((x - 0.7) / 0.3);
    return 0.0f;
}
