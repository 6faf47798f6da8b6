// The OpenGL and GLU entry points the drawer's passes call, gathered in one
// table. A real run always uses the driver table; tests swap in a table that
// records calls (orders and values that pixels cannot show), benchmarks one
// that drops them to measure our own CPU work. Passes fetch the table once per
// call (`const SPassGL& gl = PassGL();`), so the indirection costs one pointer
// load per pass plus an indirect call per entry point.
// The table is process-wide and main-thread only, like everything the drawer does.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

struct SPassGL
{
    // Matrices and read-backs.
    void (*MatrixMode)(GLenum mode);
    void (*LoadIdentity)();
    void (*PushMatrix)();
    void (*PopMatrix)();
    void (*Ortho)(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f);
    void (*Translatef)(GLfloat x, GLfloat y, GLfloat z);
    void (*Scalef)(GLfloat x, GLfloat y, GLfloat z);
    void (*Rotatef)(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z);
    void (*GetDoublev)(GLenum name, GLdouble* out);
    void (*GetIntegerv)(GLenum name, GLint* out);
    void (*Perspective)(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
    void (*LookAt)(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                   GLdouble uy, GLdouble uz);
    GLint (*Project)(GLdouble x, GLdouble y, GLdouble z, const GLdouble* model, const GLdouble* proj, const GLint* view,
                     GLdouble* wx, GLdouble* wy, GLdouble* wz);
    GLint (*UnProject)(GLdouble wx, GLdouble wy, GLdouble wz, const GLdouble* model, const GLdouble* proj,
                       const GLint* view, GLdouble* x, GLdouble* y, GLdouble* z);

    // Immediate-mode geometry.
    void (*Begin)(GLenum mode);
    void (*End)();
    void (*Vertex3f)(GLfloat x, GLfloat y, GLfloat z);
    void (*TexCoord2f)(GLfloat s, GLfloat t);
    void (*Normal3f)(GLfloat x, GLfloat y, GLfloat z);
    void (*Color3f)(GLfloat r, GLfloat g, GLfloat b);
    void (*Color4f)(GLfloat r, GLfloat g, GLfloat b, GLfloat a);

    // State.
    void (*Enable)(GLenum cap);
    void (*Disable)(GLenum cap);
    void (*PushAttrib)(GLbitfield mask);
    void (*PopAttrib)();
    void (*BlendFunc)(GLenum src, GLenum dst);
    void (*BindTexture)(GLenum target, GLuint texture);
};

extern const SPassGL g_DriverPassGL; // calls straight into libGL and libGLU
extern const SPassGL* g_pPassGL; // the table in use; never null

inline const SPassGL& PassGL()
{
    return *g_pPassGL;
}

// Tests and benchmarks only; null puts the driver table back.
inline void SetPassGLForTesting(const SPassGL* table)
{
    g_pPassGL = table ? table : &g_DriverPassGL;
}
