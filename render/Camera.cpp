// CDrawer: camera, projection and screen-space helpers.
//   - the pass GL table (driver entry points)
//   - SetupMatrices / SetupCamera: projection, look-at and the billboard basis
//   - ProjectVertex / UnProjectVertex: scene point <-> unit-square screen units
//   - Set2D / Restore3D: the unit-square 2D mode
//   - DrawQuad, DrawQuad2D, DarkScene
#include "render/Drawer.h"
#include "render/PassGL.h"
#include "render/PassMath.h"

#include <cmath>

const SPassGL g_DriverPassGL = {
    glMatrixMode, glLoadIdentity, glPushMatrix,  glPopMatrix,    glOrtho,     glTranslatef,  glScalef,
    glRotatef,    glGetDoublev,   glGetIntegerv, gluPerspective, gluLookAt,   gluProject,    gluUnProject,
    glBegin,      glEnd,          glVertex3f,    glTexCoord2f,   glNormal3f,  glColor3f,     glColor4f,
    glEnable,     glDisable,      glPushAttrib,  glPopAttrib,    glBlendFunc, glBindTexture,
};
const SPassGL* g_pPassGL = &g_DriverPassGL;

namespace {

constexpr double FieldOfViewAtSquare = 90.0; // degrees, vertical; narrows as the screen widens
constexpr double NearPlane = 0.1;
constexpr double FarPlane = 200.0;

// Degrees. A portrait view is a landscape view turned on its side: its height
// spans what the same screen's width would span lying down, so a monitor
// turned upright shows the scene at the same scale. Growing the field with the
// height instead would pass 180 degrees on tall views and flip the picture.
double VerticalFieldOfView(double width, double height)
{
    if (width >= height)
        return height * FieldOfViewAtSquare / width;
    const double across = width * FieldOfViewAtSquare / height * M_PI / 180.0;
    return 2.0 * std::atan(std::tan(across / 2.0) * height / width) * 180.0 / M_PI;
}

} // namespace

void CDrawer::SetupMatrices()
{
    const SPassGL& gl = PassGL();
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();

    GLdouble viewport[4];
    gl.GetDoublev(GL_VIEWPORT, viewport);
    double width = viewport[2];
    double height = viewport[3];
    // A collapsed view must not divide by zero; it shows nothing either way.
    if (height == 0.0)
        height = 0.1;
    if (width == 0.0)
        width = 0.1;
    gl.Perspective(VerticalFieldOfView(width, height), width / height, NearPlane, FarPlane);

    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    SetupCamera();
}

void CDrawer::SetupCamera()
{
    const SPassGL& gl = PassGL();
    gl.LookAt(m_CFrom.x, m_CFrom.y, m_CFrom.z, m_CTo.x, m_CTo.y, m_CTo.z, m_CUp.x, m_CUp.y, m_CUp.z);

    m_vEye = m_CFrom;
    // The billboard passes build vertices from this basis, so it must stay finite
    // even for a camera looking at its own eye point or along its up hint.
    m_vDir = pass::NormalizeOr(m_CTo - m_CFrom, {0.0f, 0.0f, -1.0f});
    m_vRight = math::normalize(pass::Cross(m_vDir, m_CUp));
    if (!pass::IsFinite(m_vRight))
        m_vRight = pass::AnyPerpendicular(m_vDir);
    m_vUp = pass::NormalizeOr(pass::Cross(m_vRight, m_vDir), pass::AnyPerpendicular(m_vRight));
}

namespace {

// The matrices and viewport GLU needs to map between scene and window.
struct SViewState
{
    GLdouble model[16];
    GLdouble proj[16];
    GLint view[4];
};

SViewState ReadViewState(const SPassGL& gl)
{
    SViewState v;
    gl.GetDoublev(GL_MODELVIEW_MATRIX, v.model);
    gl.GetDoublev(GL_PROJECTION_MATRIX, v.proj);
    gl.GetIntegerv(GL_VIEWPORT, v.view);
    return v;
}

} // namespace

bool CDrawer::ProjectVertex(float x, float y, float z, float* sx, float* sy, float* sz)
{
    const SPassGL& gl = PassGL();
    const SViewState state = ReadViewState(gl);
    const GLint* view = state.view;

    GLdouble wx, wy, wz;
    if (gl.Project(x, y, z, state.model, state.proj, view, &wx, &wy, &wz) != GL_TRUE)
        return false;

    // The view always sits at (0, 0), so dividing by the size alone gives 2D-mode units.
    *sx = static_cast<float>(wx / view[2]);
    *sy = static_cast<float>(wy / view[3]);
    *sz = static_cast<float>(wz);

    // Half-open on screen: the pixel column at x = width does not exist.
    return view[0] <= wx && wx < view[0] + view[2] && view[1] <= wy && wy < view[1] + view[3] && 0.0 <= wz && wz <= 1.0;
}

void CDrawer::UnProjectVertex(float x, float y, float z, float* ox, float* oy, float* oz)
{
    const SPassGL& gl = PassGL();
    const SViewState state = ReadViewState(gl);
    const GLint* view = state.view;

    // A singular matrix makes GLU fail without writing; the outputs then read 0.
    GLdouble rx = 0.0, ry = 0.0, rz = 0.0;
    gl.UnProject(x * static_cast<float>(view[2]), y * static_cast<float>(view[3]), z, state.model, state.proj, view,
                 &rx, &ry, &rz);
    *ox = static_cast<float>(rx);
    *oy = static_cast<float>(ry);
    *oz = static_cast<float>(rz);
}

void CDrawer::Set2D()
{
    const SPassGL& gl = PassGL();
    gl.MatrixMode(GL_PROJECTION);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Ortho(0.0, 1.0, 0.0, 1.0, -2.0, 2.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.PushMatrix();
    gl.LoadIdentity();
}

void CDrawer::Restore3D()
{
    const SPassGL& gl = PassGL();
    gl.MatrixMode(GL_PROJECTION);
    gl.PopMatrix();
    gl.MatrixMode(GL_MODELVIEW);
    gl.PopMatrix();
}

void CDrawer::DrawQuad(const math::vector& p, const math::vector& q, const math::vector& r, const math::vector& s)
{
    // Corners come in strip order (r opposite p); drawn round the rim p, q, s, r.
    const SPassGL& gl = PassGL();
    gl.Begin(GL_QUADS);
    gl.TexCoord2f(0.0f, 1.0f);
    gl.Vertex3f(p.x, p.y, p.z);
    gl.TexCoord2f(0.0f, 0.0f);
    gl.Vertex3f(q.x, q.y, q.z);
    gl.TexCoord2f(1.0f, 0.0f);
    gl.Vertex3f(s.x, s.y, s.z);
    gl.TexCoord2f(1.0f, 1.0f);
    gl.Vertex3f(r.x, r.y, r.z);
    gl.End();
}

void CDrawer::DrawQuad2D(float x1, float y1, float x2, float y2, float s1, float t1, float s2, float t2, float angle,
                         float yscale)
{
    const SPassGL& gl = PassGL();
    gl.MatrixMode(GL_MODELVIEW);
    gl.PushMatrix();

    // Turn about the rectangle's own centre, then stretch y: in 2D mode a unit of
    // y is the view's height, so yscale = width / height keeps shapes true.
    const float cx = 0.5f * (x1 + x2);
    const float cy = 0.5f * (y1 + y2);
    gl.Translatef(cx, cy, 0.0f);
    gl.Scalef(1.0f, yscale, 1.0f);
    gl.Rotatef(static_cast<float>((angle * 180.0f) / M_PI), 0.0f, 0.0f, 1.0f);
    gl.Translatef(-cx, -cy, 0.0f);

    gl.Begin(GL_QUADS);
    gl.TexCoord2f(s1, t1);
    gl.Vertex3f(x1, y1, 0.5f);
    gl.TexCoord2f(s1, t2);
    gl.Vertex3f(x1, y2, 0.5f);
    gl.TexCoord2f(s2, t2);
    gl.Vertex3f(x2, y2, 0.5f);
    gl.TexCoord2f(s2, t1);
    gl.Vertex3f(x2, y1, 0.5f);
    gl.End();

    gl.MatrixMode(GL_MODELVIEW);
    gl.PopMatrix();
}

void CDrawer::DarkScene(float strength)
{
    // Below a thousandth the quad would change no pixel; NaN draws nothing too.
    if (!(static_cast<double>(strength) >= 0.001))
        return;

    const SPassGL& gl = PassGL();
    gl.PushAttrib(GL_ENABLE_BIT);
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_CULL_FACE);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); // left set: not part of the enable group
    gl.Disable(GL_TEXTURE_2D);
    gl.Color4f(0.0f, 0.0f, 0.0f, strength); // left set, likewise

    Set2D();
    gl.Begin(GL_QUADS);
    gl.Vertex3f(0.0f, 0.0f, 0.0f);
    gl.Vertex3f(0.0f, 1.0f, 0.0f);
    gl.Vertex3f(1.0f, 1.0f, 0.0f);
    gl.Vertex3f(1.0f, 0.0f, 0.0f);
    gl.End();
    Restore3D();

    gl.PopAttrib();
}
