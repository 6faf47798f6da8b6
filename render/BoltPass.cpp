// CDrawer::DrawBolt: one bolt as two camera-facing additive ribbons, a narrow
// grey core and a three times wider glow coloured along the ramp.
#include "render/Drawer.h"
#include "render/PassGL.h"
#include "render/PassMath.h"
#include "scene/ComplexBolt.h"

namespace {

constexpr float CoreHalfWidth = 0.02f;
constexpr float GlowHalfWidth = 0.06f;
constexpr float CoreGrey = 0.7f;

// Along the bolt only the texture's middle column is sampled, except for the
// last pair of vertices, which reads its edge column.
inline float ColumnAt(unsigned int i, unsigned int n)
{
    return i + 1 < n ? 0.5f : 1.0f;
}

} // namespace

void CDrawer::DrawBolt(const CComplexBolt* bolt)
{
    const SPassGL& gl = PassGL();
    const unsigned int n = bolt->NumPoints();
    const math::vector eye = m_vEye;

    gl.PushAttrib(GL_ENABLE_BIT);
    gl.Enable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, m_nLightTex);
    gl.Disable(GL_CULL_FACE); // ribbons are seen from both sides

    // Both ribbons turn their flat side to the eye. Where the tangent points
    // along the line of sight (or vanishes) there is no such side: the point
    // keeps the side of the point before it, and the first point, having none,
    // takes the camera's right.
    auto strip = [&](float halfWidth, bool ramp) {
        math::vector side = m_vRight;
        gl.Begin(GL_TRIANGLE_STRIP);
        for (unsigned int i = 0; i < n; ++i) {
            const math::vector p = bolt->GetPoint(i);
            const math::vector t = bolt->GetTangent(i);
            side = pass::NormalizeOr(pass::Cross(t, p - eye), side);
            const math::vector a = p + side * halfWidth;
            const math::vector b = p - side * halfWidth;
            const float s = ColumnAt(i, n);
            if (ramp && i < m_Colors.size()) {
                const math::vector& c = m_Colors[i];
                gl.Color3f(c.x, c.y, c.z);
            }
            gl.TexCoord2f(s, 1.0f);
            gl.Vertex3f(a.x, a.y, a.z);
            gl.TexCoord2f(s, 0.0f);
            gl.Vertex3f(b.x, b.y, b.z);
        }
        gl.End();
    };

    gl.Color3f(CoreGrey, CoreGrey, CoreGrey);
    strip(CoreHalfWidth, false);
    strip(GlowHalfWidth, true);

    gl.PopAttrib();
}
