// CDrawer: the star streaks and the lens flare.
//   - _FlareArray, _g_fFlare: the flare's sprites and its process-wide intensity
//   - DrawStars: 4096 camera-facing streaks in one batch
//   - DrawFlare: 21 additive sprites on the line from the light through the centre
#include "render/Drawer.h"
#include "render/PassGL.h"
#include "render/PassMath.h"

#include <cmath>

// Drawn in this order; positions 0 at the light, 0.5 at the centre, 1 at its mirror image.
const SFlare _FlareArray[NumFlareElements] = {
    {1, -0.13f, 0.04f, 0xFF2F2F2Fu, false}, {2, -0.10f, 0.02f, 0xFF2F2F2Fu, false},
    {0, 0.0f, 0.3f, 0xFF5F5F5Fu, false},    {4, 0.0f, 0.3f, 0xFF5F5F5Fu, true},
    {2, 0.10f, 0.01f, 0xFF2F2F2Fu, false},  {2, 0.17f, 0.03f, 0xFF2F2F2Fu, false},
    {3, 0.20f, 0.10f, 0xFF0F0F4Fu, false},  {3, 0.23f, 0.05f, 0xFF2F2F2Fu, false},
    {2, 0.30f, 0.01f, 0xFF2F2F2Fu, false},  {3, 0.40f, 0.04f, 0xFF2F2F2Fu, false},
    {2, 0.50f, 0.002f, 0xFF2F2F2Fu, false}, {2, 0.55f, 0.003f, 0xFF2F2F2Fu, false},
    {3, 0.70f, 0.10f, 0xFF0F0F4Fu, false},  {3, 0.70f, 0.05f, 0xFF2F2F2Fu, false},
    {2, 0.73f, 0.03f, 0xFF2F3F2Fu, false},  {2, 0.75f, 0.005f, 0xFF2F2F2Fu, false},
    {3, 0.80f, 0.10f, 0xFF0F0F4Fu, false},  {2, 0.85f, 0.03f, 0xFF2F2F2Fu, false},
    {2, 0.90f, 0.01f, 0xFF2F2F2Fu, false},  {1, 1.00f, 0.10f, 0xFF2F2F2Fu, false},
    {2, 0.95f, 0.05f, 0xFF2F2F2Fu, false},
};

float _g_fFlare = 0.0f;

namespace {

constexpr float StarHalfWidth = 0.2f;
constexpr float StarTrailPerSpeed = 0.05f; // trail length per unit of star speed
constexpr float StarTwist = 0.0001f; // keeps a trail of length 0 from being the zero vector

// The light sits in the backdrop's plane, so it stays fixed against the galaxy.
const math::vector LightOffset{3.6f, -7.0f, -4.1f};
constexpr double FlareRate = 10.0; // intensity per second: 0.1 s to fade fully in or out
constexpr double FlareEdge = 0.1; // dims linearly within this much of any edge
constexpr double FlareTurn = 3.14; // radians per unit of sx + sy, for the rotating sprite

} // namespace

void CDrawer::DrawStars()
{
    const SPassGL& gl = PassGL();
    const unsigned int n = m_StarField.NumStars();
    const math::vector eye = m_vEye;
    const float trailScale = StarTrailPerSpeed;
    const float timeScale = m_fStarsTimeScale;
    const math::vector right = m_vRight;
    const math::vector up = m_vUp;

    gl.PushAttrib(GL_ENABLE_BIT);
    gl.Enable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, m_nLightTex);
    gl.Disable(GL_CULL_FACE);
    gl.Begin(GL_QUADS);

    for (unsigned int i = 0; i < n; ++i) {
        const CStarField::SStar& star = m_StarField.GetStar(i);
        // The field travels with the eye, so stars never come nearer.
        const math::vector p = star.m_vPos + eye;
        const float len = trailScale * star.m_fSpeed * timeScale;
        const math::vector q{p.x, p.y - len, p.z};
        const math::vector d = (q - p) + math::vector{StarTwist, 0.0f, 0.0f};
        const float alpha = star.m_fAlpha;
        gl.Color3f(alpha, alpha, alpha);

        // A streak seen end-on (or a star on the eye) has no across direction;
        // it then lies in the screen's plane.
        const math::vector e = p - eye;
        // B comes from the unit across-vector: scaling first would round differently.
        const math::vector unitA = pass::NormalizeOr(pass::Cross(d, e), right);
        const math::vector unitB = pass::NormalizeOr(pass::Cross(unitA, e), up);
        const math::vector a = unitA * StarHalfWidth;
        const math::vector b = unitB * StarHalfWidth;

        math::vector v = p - a + b;
        gl.TexCoord2f(0.0f, 0.0f);
        gl.Vertex3f(v.x, v.y, v.z);
        v = p + a + b;
        gl.TexCoord2f(0.0f, 1.0f);
        gl.Vertex3f(v.x, v.y, v.z);
        v = q + a - b;
        gl.TexCoord2f(1.0f, 1.0f);
        gl.Vertex3f(v.x, v.y, v.z);
        v = q - a - b;
        gl.TexCoord2f(1.0f, 0.0f);
        gl.Vertex3f(v.x, v.y, v.z);
    }

    gl.End();
    gl.PopAttrib();
}

void CDrawer::DrawFlare()
{
    const math::vector light = m_vEye + LightOffset;
    // A light exactly in the eye's plane has no screen position at all: the
    // flare, fading out in that frame, stays where it was last seen.
    float sx = m_fFlareX, sy = m_fFlareY, sz = 0.0f;
    const bool visible = ProjectVertex(light.x, light.y, light.z, &sx, &sy, &sz);
    if (!std::isfinite(sx) || !std::isfinite(sy)) {
        sx = m_fFlareX;
        sy = m_fFlareY;
    }
    m_fFlareX = sx;
    m_fFlareY = sy;

    _g_fFlare = static_cast<float>(_g_fFlare + (visible ? FlareRate : -FlareRate) * m_dFrameTime);
    if (!(_g_fFlare >= 0.0f)) // a non-number would stick for the rest of the process
    {
        _g_fFlare = 0.0f;
        return;
    }
    if (_g_fFlare > 1.0f)
        _g_fFlare = 1.0f;
    else if (std::fabs(_g_fFlare) <= 1e-20)
        return;

    float f = 1.0f;
    if (sx < FlareEdge)
        f = static_cast<float>(sx / FlareEdge);
    if (sx > 1.0 - FlareEdge)
        f = static_cast<float>(f * (1.0 - sx) / FlareEdge);
    if (sy < FlareEdge)
        f = static_cast<float>(f * static_cast<double>(sy) / FlareEdge);
    if (sy > 1.0 - FlareEdge)
        f = static_cast<float>(f * (1.0 - sy) / FlareEdge);
    f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);

    const SPassGL& gl = PassGL();
    Set2D();
    gl.PushAttrib(GL_ENABLE_BIT);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_ONE, GL_ONE);
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_CULL_FACE);
    gl.Enable(GL_TEXTURE_2D);

    const float dx = 2.0f * (0.5f - sx);
    const float dy = 2.0f * (0.5f - sy);
    const float k = f * _g_fFlare;
    const float turn = static_cast<float>(-static_cast<double>(sx + sy) * FlareTurn);
    for (const SFlare& e : _FlareArray) {
        const float cx = sx + e.m_fPos * dx;
        const float cy = sy + e.m_fPos * dy;
        const float angle = e.m_bRotate ? turn : 0.0f;
        gl.BindTexture(GL_TEXTURE_2D, m_nFlareTex[e.m_nTexture]);
        // 256, not 255: the brightest sprite stays just short of full colour.
        const float r = static_cast<float>((e.m_nColor >> 16) & 0xFFu);
        const float g = static_cast<float>((e.m_nColor >> 8) & 0xFFu);
        const float b = static_cast<float>(e.m_nColor & 0xFFu);
        gl.Color3f(r * k / 256.0f, g * k / 256.0f, b * k / 256.0f);
        // Sized in units of the width; the aspect as vertical scale keeps them square.
        const float size = e.m_fSize;
        DrawQuad2D(cx - size, cy - size, cx + size, cy + size, 0.0f, 0.0f, 1.0f, 1.0f, angle, m_fAspect);
    }

    gl.PopAttrib();
    Restore3D();
}
