// Shared by the pass tests: one small headless context per test program, a
// drawer whose camera the test sets by hand, little textures, pixel reads, and
// a GL table that records what the passes send (and forwards it to the driver).
#pragma once

#include "platform/HeadlessGL.h"
#include "render/Drawer.h"
#include "render/PassGL.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace passtest {

constexpr int Width = 160; // aspect 1.6
constexpr int Height = 100;

// ---- recording layer ----

enum class EOp
{
    Begin,
    End,
    Vertex,
    TexCoord,
    Normal,
    Color,
    Translate,
    Scale,
    Rotate,
    Bind,
    Enable,
    Disable,
    PushAttrib,
    PopAttrib,
    BlendFunc
};

struct SCall
{
    EOp op;
    unsigned int e; // mode, capability, texture or first blend factor
    std::array<float, 4> v; // float arguments, unused ones 0
};

struct SRecorder
{
    std::vector<SCall> calls;
    int nonFinite = 0; // vertex, texture, normal and colour arguments that were NaN or infinite
    bool fakeProject = false; // answer gluProject with the values below instead of the driver
    GLint projectResult = GL_TRUE;
    double projectWin[3] = {0, 0, 0};

    std::vector<SCall> Only(EOp op) const
    {
        std::vector<SCall> out;
        for (const SCall& c : calls)
            if (c.op == op)
                out.push_back(c);
        return out;
    }
};

inline SRecorder* g_pRecorder = nullptr;

inline void Record(EOp op, unsigned int e, float a = 0, float b = 0, float c = 0, float d = 0)
{
    g_pRecorder->calls.push_back({op, e, {a, b, c, d}});
}

inline void CheckFinite(std::initializer_list<float> values)
{
    for (float f : values)
        if (!std::isfinite(f))
            ++g_pRecorder->nonFinite;
}

inline const SPassGL& RecordingTable()
{
    static const SPassGL table = {
        [](GLenum m) { g_DriverPassGL.MatrixMode(m); },
        [] { g_DriverPassGL.LoadIdentity(); },
        [] { g_DriverPassGL.PushMatrix(); },
        [] { g_DriverPassGL.PopMatrix(); },
        [](GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
            g_DriverPassGL.Ortho(l, r, b, t, n, f);
        },
        [](GLfloat x, GLfloat y, GLfloat z) {
            Record(EOp::Translate, 0, x, y, z);
            g_DriverPassGL.Translatef(x, y, z);
        },
        [](GLfloat x, GLfloat y, GLfloat z) {
            Record(EOp::Scale, 0, x, y, z);
            g_DriverPassGL.Scalef(x, y, z);
        },
        [](GLfloat a, GLfloat x, GLfloat y, GLfloat z) {
            Record(EOp::Rotate, 0, a, x, y, z);
            g_DriverPassGL.Rotatef(a, x, y, z);
        },
        [](GLenum n, GLdouble* o) { g_DriverPassGL.GetDoublev(n, o); },
        [](GLenum n, GLint* o) { g_DriverPassGL.GetIntegerv(n, o); },
        [](GLdouble a, GLdouble b, GLdouble c, GLdouble d) { g_DriverPassGL.Perspective(a, b, c, d); },
        [](GLdouble a, GLdouble b, GLdouble c, GLdouble d, GLdouble e, GLdouble f, GLdouble g, GLdouble h, GLdouble i) {
            g_DriverPassGL.LookAt(a, b, c, d, e, f, g, h, i);
        },
        [](GLdouble x, GLdouble y, GLdouble z, const GLdouble* m, const GLdouble* p, const GLint* v, GLdouble* wx,
           GLdouble* wy, GLdouble* wz) -> GLint {
            if (!g_pRecorder->fakeProject)
                return g_DriverPassGL.Project(x, y, z, m, p, v, wx, wy, wz);
            if (g_pRecorder->projectResult == GL_TRUE) {
                *wx = g_pRecorder->projectWin[0];
                *wy = g_pRecorder->projectWin[1];
                *wz = g_pRecorder->projectWin[2];
            }
            return g_pRecorder->projectResult;
        },
        [](GLdouble x, GLdouble y, GLdouble z, const GLdouble* m, const GLdouble* p, const GLint* v, GLdouble* ox,
           GLdouble* oy, GLdouble* oz) -> GLint { return g_DriverPassGL.UnProject(x, y, z, m, p, v, ox, oy, oz); },
        [](GLenum m) {
            Record(EOp::Begin, m);
            g_DriverPassGL.Begin(m);
        },
        [] {
            Record(EOp::End, 0);
            g_DriverPassGL.End();
        },
        [](GLfloat x, GLfloat y, GLfloat z) {
            CheckFinite({x, y, z});
            Record(EOp::Vertex, 0, x, y, z);
            g_DriverPassGL.Vertex3f(x, y, z);
        },
        [](GLfloat s, GLfloat t) {
            CheckFinite({s, t});
            Record(EOp::TexCoord, 0, s, t);
            g_DriverPassGL.TexCoord2f(s, t);
        },
        [](GLfloat x, GLfloat y, GLfloat z) {
            CheckFinite({x, y, z});
            Record(EOp::Normal, 0, x, y, z);
            g_DriverPassGL.Normal3f(x, y, z);
        },
        [](GLfloat r, GLfloat g, GLfloat b) {
            CheckFinite({r, g, b});
            Record(EOp::Color, 3, r, g, b, 1.0f);
            g_DriverPassGL.Color3f(r, g, b);
        },
        [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
            CheckFinite({r, g, b, a});
            Record(EOp::Color, 4, r, g, b, a);
            g_DriverPassGL.Color4f(r, g, b, a);
        },
        [](GLenum c) {
            Record(EOp::Enable, c);
            g_DriverPassGL.Enable(c);
        },
        [](GLenum c) {
            Record(EOp::Disable, c);
            g_DriverPassGL.Disable(c);
        },
        [](GLbitfield m) {
            Record(EOp::PushAttrib, m);
            g_DriverPassGL.PushAttrib(m);
        },
        [] {
            Record(EOp::PopAttrib, 0);
            g_DriverPassGL.PopAttrib();
        },
        [](GLenum s, GLenum d) {
            Record(EOp::BlendFunc, s, static_cast<float>(d));
            g_DriverPassGL.BlendFunc(s, d);
        },
        [](GLenum t, GLuint tex) {
            Record(EOp::Bind, tex);
            g_DriverPassGL.BindTexture(t, tex);
        },
    };
    return table;
}

// Installs the recording table for its lifetime.
class CRecording
{
public:
    CRecording()
    {
        g_pRecorder = &m_Recorder;
        SetPassGLForTesting(&RecordingTable());
    }
    ~CRecording()
    {
        SetPassGLForTesting(nullptr);
        g_pRecorder = nullptr;
    }
    SRecorder* operator->() { return &m_Recorder; }
    SRecorder& operator*() { return m_Recorder; }

private:
    SRecorder m_Recorder;
};

// ---- pixels and textures ----

struct SPixel
{
    int r, g, b;
};

// Reads pixel (x, y) counted from the bottom-left corner, as OpenGL counts.
inline SPixel PixelAt(const std::vector<unsigned char>& rgba, int x, int y)
{
    const size_t row = static_cast<size_t>(Height - 1 - y);
    const size_t i = (row * Width + static_cast<size_t>(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

// A texture of w x h RGB texels, rows from the bottom, nearest filtering, clamped.
inline GLuint MakeTexture(int w, int h, const std::vector<uint32_t>& rgb)
{
    std::vector<unsigned char> bytes;
    for (uint32_t c : rgb) {
        bytes.push_back(static_cast<unsigned char>(c >> 16));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
        bytes.push_back(static_cast<unsigned char>(c));
    }
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    return tex;
}

// ---- fixture ----

// One context for the whole program; every test starts from the same plain state.
class PassTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pGL = new CHeadlessGL;
#if defined(__SANITIZE_ADDRESS__)
        // Mesa keeps some of what it allocates while it brings up a context and
        // its rasteriser, from code the leak checker cannot name (no frame
        // pointers, so no suppression can match); none of it is ours.
        __lsan::ScopedDisabler driverStartUp;
#endif
        if (!s_pGL->Create(Width, Height)) {
            s_Error = s_pGL->Error();
            delete s_pGL;
            s_pGL = nullptr;
            return;
        }
        // The first primitive makes the driver set up its rasteriser for good.
        glBegin(GL_TRIANGLES);
        glVertex2f(0, 0);
        glVertex2f(1, 0);
        glVertex2f(0, 1);
        glEnd();
        glFinish();
    }
    static void TearDownTestSuite()
    {
        delete s_pGL;
        s_pGL = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_pGL, nullptr) << "no headless OpenGL context: " << s_Error;
        ASSERT_TRUE(s_pGL->MakeCurrent());
        glViewport(0, 0, Width, Height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        glDepthMask(GL_TRUE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glClearColor(0, 0, 0, 0);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor4f(1, 1, 1, 1);

        m_pDrawer = std::make_unique<CDrawer>();
        m_pDrawer->m_fAspect = static_cast<float>(Width) / Height;
        m_pDrawer->m_dFrameTime = 1.0 / 30.0;
        SetCamera({0, 0, 10}, {0, 0, 0}, {0, 1, 0});
        _g_fFlare = 0.0f;
    }

    void TearDown() override
    {
        m_pDrawer.reset();
        for (GLuint t : m_Textures)
            glDeleteTextures(1, &t);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // Puts the class-wide camera somewhere and loads the frame's matrices.
    void SetCamera(const math::vector& from, const math::vector& to, const math::vector& up)
    {
        CDrawer::m_CFrom = from;
        CDrawer::m_CTo = to;
        CDrawer::m_CUp = up;
        m_pDrawer->SetupMatrices();
    }

    GLuint Texture(int w, int h, const std::vector<uint32_t>& rgb)
    {
        m_Textures.push_back(MakeTexture(w, h, rgb));
        return m_Textures.back();
    }

    std::vector<unsigned char> Pixels()
    {
        std::vector<unsigned char> rgba;
        EXPECT_TRUE(s_pGL->ReadPixels(rgba));
        return rgba;
    }

    CDrawer& D()
    {
        return *m_pDrawer;
    }

    static inline CHeadlessGL* s_pGL = nullptr;
    static inline std::string s_Error;
    std::unique_ptr<CDrawer> m_pDrawer;
    std::vector<GLuint> m_Textures;
};

} // namespace passtest
