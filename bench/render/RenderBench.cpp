// Frame cost of the drawer, against a bare immediate-mode program that sends
// the same passes.
//   BM_OurCpuFrame      whole Draw() at density 100 on the main screen (camera
//                       cycle, bolt and star updates, geometry) with the passes'
//                       GL calls going to a no-op table; heap allocations counted
//   BM_OurFrame/W/H     Draw() + glFinish on llvmpipe, fixed camera
//   BM_BareFrame/W/H    the same frame's calls replayed straight into GL + glFinish
// Per-frame times are taken one by one: the counters give median and p95 (ms).
// Needs the media pack: the build's media.dat, or --pack=FILE.
#include "core/Util.h"
#include "pack/PackReader.h"
#include "platform/HeadlessGL.h"
#include "render/Drawer.h"
#include "render/PassGL.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

// ---- heap allocation counting ----

namespace {
bool g_bCount = false;
long g_nNews = 0;
long g_nMallocs = 0;
} // namespace

// Sanitizer builds bring their own allocator; there the counts stay 0.
#if !defined(__SANITIZE_ADDRESS__)

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

// Every malloc in the process, the driver's included, passes through here.
extern "C" void* malloc(size_t n)
{
    if (g_bCount)
        ++g_nMallocs;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size)
{
    if (g_bCount)
        ++g_nMallocs;
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n)
{
    if (g_bCount)
        ++g_nMallocs;
    return __libc_realloc(p, n);
}

void* operator new(size_t n)
{
    if (g_bCount)
        ++g_nNews;
    if (void* p = __libc_malloc(n ? n : 1))
        return p;
    std::fputs("veltrix_bench_render: out of memory\n", stderr);
    std::abort();
}
void* operator new[](size_t n)
{
    return operator new(n);
}
void operator delete(void* p) noexcept
{
    __libc_free(p);
}
void operator delete[](void* p) noexcept
{
    __libc_free(p);
}
void operator delete(void* p, size_t) noexcept
{
    __libc_free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    __libc_free(p);
}
#endif

namespace {

// ---- clock and pack ----

double g_dNow = 1000.0;
double VirtualNow()
{
    return g_dNow;
}
constexpr double FrameInterval = 1.0 / 30.0;

std::string g_PackPath = VELTRIX_MEDIA_PACK;

// ---- a GL table that does nothing ----

int g_nNoopWidth = 1280, g_nNoopHeight = 720;

const SPassGL NoopGL = {
    [](GLenum) {},
    [] {},
    [] {},
    [] {},
    [](GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {},
    [](GLfloat, GLfloat, GLfloat) {},
    [](GLfloat, GLfloat, GLfloat) {},
    [](GLfloat, GLfloat, GLfloat, GLfloat) {},
    [](GLenum name, GLdouble* out) {
        if (name == GL_VIEWPORT) {
            out[0] = out[1] = 0;
            out[2] = g_nNoopWidth;
            out[3] = g_nNoopHeight;
            return;
        }
        for (int i = 0; i < 16; ++i)
            out[i] = i % 5 == 0 ? 1.0 : 0.0;
    },
    [](GLenum, GLint* out) {
        out[0] = out[1] = 0;
        out[2] = g_nNoopWidth;
        out[3] = g_nNoopHeight;
    },
    [](GLdouble, GLdouble, GLdouble, GLdouble) {},
    [](GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {},
    // The light on screen, so the flare does all its work.
    [](GLdouble, GLdouble, GLdouble, const GLdouble*, const GLdouble*, const GLint* v, GLdouble* wx, GLdouble* wy,
       GLdouble* wz) -> GLint {
        *wx = v[2] * 0.3;
        *wy = v[3] * 0.6;
        *wz = 0.5;
        return GL_TRUE;
    },
    [](GLdouble, GLdouble, GLdouble, const GLdouble*, const GLdouble*, const GLint*, GLdouble*, GLdouble*,
       GLdouble*) -> GLint { return GL_TRUE; },
    [](GLenum) {},
    [] {},
    [](GLfloat x, GLfloat, GLfloat) { benchmark::DoNotOptimize(x); },
    [](GLfloat s, GLfloat) { benchmark::DoNotOptimize(s); },
    [](GLfloat, GLfloat, GLfloat) {},
    [](GLfloat, GLfloat, GLfloat) {},
    [](GLfloat, GLfloat, GLfloat, GLfloat) {},
    [](GLenum) {},
    [](GLenum) {},
    [](GLbitfield) {},
    [] {},
    [](GLenum, GLenum) {},
    [](GLenum, GLuint) {},
};

// ---- the bare program: one frame of the passes' calls, replayed straight into GL ----

enum class EOp : unsigned char
{
    MatrixMode,
    LoadIdentity,
    PushMatrix,
    PopMatrix,
    Ortho,
    Translate,
    Scale,
    Rotate,
    Perspective,
    LookAt,
    Project,
    Begin,
    End,
    Vertex,
    TexCoord,
    Normal,
    Color3,
    Color4,
    Enable,
    Disable,
    PushAttrib,
    PopAttrib,
    BlendFunc,
    Bind,
};

struct SEvent
{
    EOp op;
    unsigned int e; // enum, texture, or index of the first double in s_Doubles
    float f[4];
};

std::vector<SEvent>* g_pCapture = nullptr;
std::vector<double>* g_pDoubles = nullptr;

void Put(EOp op, unsigned int e = 0, float a = 0, float b = 0, float c = 0, float d = 0)
{
    g_pCapture->push_back({op, e, {a, b, c, d}});
}

void PutDoubles(EOp op, std::initializer_list<double> values)
{
    Put(op, static_cast<unsigned int>(g_pDoubles->size()));
    g_pDoubles->insert(g_pDoubles->end(), values);
}

const SPassGL CaptureGL = {
    [](GLenum m) {
        Put(EOp::MatrixMode, m);
        g_DriverPassGL.MatrixMode(m);
    },
    [] {
        Put(EOp::LoadIdentity);
        g_DriverPassGL.LoadIdentity();
    },
    [] {
        Put(EOp::PushMatrix);
        g_DriverPassGL.PushMatrix();
    },
    [] {
        Put(EOp::PopMatrix);
        g_DriverPassGL.PopMatrix();
    },
    [](GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
        PutDoubles(EOp::Ortho, {l, r, b, t, n, f});
        g_DriverPassGL.Ortho(l, r, b, t, n, f);
    },
    [](GLfloat x, GLfloat y, GLfloat z) {
        Put(EOp::Translate, 0, x, y, z);
        g_DriverPassGL.Translatef(x, y, z);
    },
    [](GLfloat x, GLfloat y, GLfloat z) {
        Put(EOp::Scale, 0, x, y, z);
        g_DriverPassGL.Scalef(x, y, z);
    },
    [](GLfloat a, GLfloat x, GLfloat y, GLfloat z) {
        Put(EOp::Rotate, 0, a, x, y, z);
        g_DriverPassGL.Rotatef(a, x, y, z);
    },
    [](GLenum n, GLdouble* o) { g_DriverPassGL.GetDoublev(n, o); },
    [](GLenum n, GLint* o) { g_DriverPassGL.GetIntegerv(n, o); },
    [](GLdouble a, GLdouble b, GLdouble c, GLdouble d) {
        PutDoubles(EOp::Perspective, {a, b, c, d});
        g_DriverPassGL.Perspective(a, b, c, d);
    },
    [](GLdouble a, GLdouble b, GLdouble c, GLdouble d, GLdouble e, GLdouble f, GLdouble g, GLdouble h, GLdouble i) {
        PutDoubles(EOp::LookAt, {a, b, c, d, e, f, g, h, i});
        g_DriverPassGL.LookAt(a, b, c, d, e, f, g, h, i);
    },
    [](GLdouble x, GLdouble y, GLdouble z, const GLdouble* m, const GLdouble* p, const GLint* v, GLdouble* wx,
       GLdouble* wy, GLdouble* wz) -> GLint {
        PutDoubles(EOp::Project, {x, y, z});
        return g_DriverPassGL.Project(x, y, z, m, p, v, wx, wy, wz);
    },
    [](GLdouble x, GLdouble y, GLdouble z, const GLdouble* m, const GLdouble* p, const GLint* v, GLdouble* ox,
       GLdouble* oy, GLdouble* oz) -> GLint { return g_DriverPassGL.UnProject(x, y, z, m, p, v, ox, oy, oz); },
    [](GLenum m) {
        Put(EOp::Begin, m);
        g_DriverPassGL.Begin(m);
    },
    [] {
        Put(EOp::End);
        g_DriverPassGL.End();
    },
    [](GLfloat x, GLfloat y, GLfloat z) {
        Put(EOp::Vertex, 0, x, y, z);
        g_DriverPassGL.Vertex3f(x, y, z);
    },
    [](GLfloat s, GLfloat t) {
        Put(EOp::TexCoord, 0, s, t);
        g_DriverPassGL.TexCoord2f(s, t);
    },
    [](GLfloat x, GLfloat y, GLfloat z) {
        Put(EOp::Normal, 0, x, y, z);
        g_DriverPassGL.Normal3f(x, y, z);
    },
    [](GLfloat r, GLfloat g, GLfloat b) {
        Put(EOp::Color3, 0, r, g, b);
        g_DriverPassGL.Color3f(r, g, b);
    },
    [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
        Put(EOp::Color4, 0, r, g, b, a);
        g_DriverPassGL.Color4f(r, g, b, a);
    },
    [](GLenum c) {
        Put(EOp::Enable, c);
        g_DriverPassGL.Enable(c);
    },
    [](GLenum c) {
        Put(EOp::Disable, c);
        g_DriverPassGL.Disable(c);
    },
    [](GLbitfield m) {
        Put(EOp::PushAttrib, m);
        g_DriverPassGL.PushAttrib(m);
    },
    [] {
        Put(EOp::PopAttrib);
        g_DriverPassGL.PopAttrib();
    },
    [](GLenum s, GLenum d) {
        Put(EOp::BlendFunc, s, static_cast<float>(d));
        g_DriverPassGL.BlendFunc(s, d);
    },
    [](GLenum t, GLuint tex) {
        Put(EOp::Bind, tex);
        g_DriverPassGL.BindTexture(t, tex);
    },
};

struct SBareFrame
{
    // Passes in frame order; the state the frame loop sets between them is written out in Draw.
    enum
    {
        Matrices,
        Backdrop,
        Ball,
        Shell,
        Stars,
        Bolts,
        Halos,
        Halo,
        Flare,
        Dark,
        NumParts
    };
    std::vector<SEvent> parts[NumParts];
    std::vector<double> doubles;
    unsigned int galaxy = 0, env = 0, env2 = 0;

    void Replay(const std::vector<SEvent>& events) const
    {
        const double* d = doubles.data();
        for (const SEvent& ev : events) {
            const float* f = ev.f;
            switch (ev.op) {
            case EOp::MatrixMode:
                glMatrixMode(ev.e);
                break;
            case EOp::LoadIdentity:
                glLoadIdentity();
                break;
            case EOp::PushMatrix:
                glPushMatrix();
                break;
            case EOp::PopMatrix:
                glPopMatrix();
                break;
            case EOp::Ortho:
                glOrtho(d[ev.e], d[ev.e + 1], d[ev.e + 2], d[ev.e + 3], d[ev.e + 4], d[ev.e + 5]);
                break;
            case EOp::Translate:
                glTranslatef(f[0], f[1], f[2]);
                break;
            case EOp::Scale:
                glScalef(f[0], f[1], f[2]);
                break;
            case EOp::Rotate:
                glRotatef(f[0], f[1], f[2], f[3]);
                break;
            case EOp::Perspective:
                gluPerspective(d[ev.e], d[ev.e + 1], d[ev.e + 2], d[ev.e + 3]);
                break;
            case EOp::LookAt:
                gluLookAt(d[ev.e], d[ev.e + 1], d[ev.e + 2], d[ev.e + 3], d[ev.e + 4], d[ev.e + 5], d[ev.e + 6],
                          d[ev.e + 7], d[ev.e + 8]);
                break;
            case EOp::Project: {
                GLdouble m[16], p[16], wx, wy, wz;
                GLint v[4];
                glGetDoublev(GL_MODELVIEW_MATRIX, m);
                glGetDoublev(GL_PROJECTION_MATRIX, p);
                glGetIntegerv(GL_VIEWPORT, v);
                gluProject(d[ev.e], d[ev.e + 1], d[ev.e + 2], m, p, v, &wx, &wy, &wz);
                break;
            }
            case EOp::Begin:
                glBegin(ev.e);
                break;
            case EOp::End:
                glEnd();
                break;
            case EOp::Vertex:
                glVertex3fv(f);
                break;
            case EOp::TexCoord:
                glTexCoord2fv(f);
                break;
            case EOp::Normal:
                glNormal3fv(f);
                break;
            case EOp::Color3:
                glColor3fv(f);
                break;
            case EOp::Color4:
                glColor4fv(f);
                break;
            case EOp::Enable:
                glEnable(ev.e);
                break;
            case EOp::Disable:
                glDisable(ev.e);
                break;
            case EOp::PushAttrib:
                glPushAttrib(ev.e);
                break;
            case EOp::PopAttrib:
                glPopAttrib();
                break;
            case EOp::BlendFunc:
                glBlendFunc(ev.e, static_cast<GLenum>(f[0]));
                break;
            case EOp::Bind:
                glBindTexture(GL_TEXTURE_2D, ev.e);
                break;
            }
        }
    }

    // The frame loop's own state changes, by hand, around the recorded passes.
    void Draw() const
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Replay(parts[Matrices]);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, galaxy);
        glColor3f(0.7f, 0.7f, 0.7f);
        Replay(parts[Backdrop]);
        glEnable(GL_DEPTH_TEST);
        glBindTexture(GL_TEXTURE_2D, env);
        glColor3f(0.7f, 0.7f, 0.7f);
        Replay(parts[Ball]);
        glDepthMask(GL_FALSE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glBindTexture(GL_TEXTURE_2D, env2);
        glColor3f(0.075f, 0.075f, 0.075f);
        Replay(parts[Shell]);
        Replay(parts[Stars]);
        Replay(parts[Bolts]);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        Replay(parts[Halos]);
        glDepthMask(GL_TRUE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glEnable(GL_DEPTH_TEST);
        Replay(parts[Halo]);
        Replay(parts[Flare]);
        Replay(parts[Dark]);
    }
};

// Records what the drawer's passes send for one frame, split by pass.
void CaptureFrame(CDrawer& d, SBareFrame& bare)
{
    g_pDoubles = &bare.doubles;
    SetPassGLForTesting(&CaptureGL);
    auto into = [&](int part) { g_pCapture = &bare.parts[part]; };
    const math::vector& e = d.m_vEye;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    into(SBareFrame::Matrices);
    d.SetupMatrices();
    into(SBareFrame::Backdrop);
    d.DrawQuad({e.x - 10.0f, e.y - 7.0f, e.z - 10.0f}, {e.x - 10.0f, e.y - 7.0f, e.z + 10.0f},
               {e.x + 10.0f, e.y - 7.0f, e.z - 10.0f}, {e.x + 10.0f, e.y - 7.0f, e.z + 10.0f});
    into(SBareFrame::Ball);
    d.DrawSphere(d.m_vCenter, 0.995f, 0u);
    into(SBareFrame::Shell);
    d.DrawSphere(d.m_vCenter, 9.1f, 0u);
    into(SBareFrame::Stars);
    d.DrawStars();
    into(SBareFrame::Bolts);
    for (CComplexBolt* bolt : d.m_Bolts)
        d.DrawBolt(bolt);
    into(SBareFrame::Halos);
    d.DrawHalos();
    into(SBareFrame::Halo);
    d.DrawHalo();
    into(SBareFrame::Flare);
    d.DrawFlare();
    into(SBareFrame::Dark);
    d.DarkScene(CDrawer::m_fDarkStrength);

    SetPassGLForTesting(nullptr);
    g_pCapture = nullptr;
    bare.galaxy = d.m_nGalaxyTex;
    bare.env = d.m_nEnvTex;
    bare.env2 = d.m_nEnv2Tex;
}

// ---- set-up shared by the benchmarks ----

struct SScene
{
    CHeadlessGL gl;
    std::unique_ptr<CDrawer> drawer;
    SBareFrame bare;
};

// A drawer with its scene on a fresh context of the given size; null on failure.
std::unique_ptr<SScene> MakeScene(int width, int height, bool mainScreen, std::string* error)
{
    auto scene = std::make_unique<SScene>();
    if (!scene->gl.Create(width, height)) {
        *error = "no headless OpenGL context: " + scene->gl.Error();
        return nullptr;
    }
    if (!CPackReader::Init(g_PackPath.c_str())) {
        *error = g_PackPath + ": cannot open the media pack (build veltrix_media, or pass --pack=FILE)";
        return nullptr;
    }
    SetTimeSourceForTesting(VirtualNow);
    SCONFIG config;
    config.m_nPlasmaDensity = 100;
    config.m_bMainScreen = mainScreen;
    config.m_bPreview = false;
    scene->drawer = std::make_unique<CDrawer>();
    if (!scene->drawer->Init(&config)) {
        *error = g_PackPath + ": the scene did not set up";
        return nullptr;
    }
    return scene;
}

double Percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const size_t i = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

void Report(benchmark::State& state, const std::vector<double>& ms)
{
    state.counters["median_ms"] = Percentile(ms, 0.5);
    state.counters["p95_ms"] = Percentile(ms, 0.95);
}

// ---- (a) our CPU work per frame ----

void BM_OurCpuFrame(benchmark::State& state)
{
    std::string error;
    // The frame loop's own few state calls still reach a real (tiny) context.
    g_nNoopWidth = 1280;
    g_nNoopHeight = 720;
    auto scene = MakeScene(64, 36, true, &error);
    if (!scene) {
        state.SkipWithError(error.c_str());
        return;
    }
    CDrawer& d = *scene->drawer;
    SetPassGLForTesting(&NoopGL);
    for (int i = 0; i < 30; ++i) // first cycle chosen, star field moving
    {
        g_dNow += FrameInterval;
        d.Draw();
    }

    std::vector<double> ms;
    ms.reserve(100000);
    long frames = 0;
    g_nNews = g_nMallocs = 0;
    for (auto _ : state) {
        g_dNow += FrameInterval;
        g_bCount = true;
        const auto t0 = std::chrono::steady_clock::now();
        d.Draw();
        const auto t1 = std::chrono::steady_clock::now();
        g_bCount = false;
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        ++frames;
        if (frames % 64 == 0)
            glFinish(); // keep the tiny context's queue of clears short
    }
    SetPassGLForTesting(nullptr);
    Report(state, ms);
    state.counters["new_per_frame"] = static_cast<double>(g_nNews) / static_cast<double>(frames);
    state.counters["malloc_per_frame"] = static_cast<double>(g_nMallocs) / static_cast<double>(frames);
    state.counters["bolts"] = static_cast<double>(d.m_Bolts.size());
    scene->drawer.reset();
    CPackReader::Done();
}
BENCHMARK(BM_OurCpuFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3000);

// ---- (b) the whole frame on llvmpipe, ours and bare ----

// A camera inside the shell, the ball ahead, the flare's light on screen.
void FixCamera()
{
    CDrawer::m_CFrom = {-2.4f, 6.2f, 3.0f};
    CDrawer::m_CTo = {0.0f, 0.0f, 0.0f};
    CDrawer::m_CUp = {0.0f, 0.0f, 1.0f};
    CDrawer::m_fDarkStrength = 0.25f; // mid-fade, so the black layer is drawn too
    CDrawer::m_fStarsTimeScale = 1.0f;
}

constexpr int WarmFrames = 3;

void BM_OurFrame(benchmark::State& state)
{
    std::string error;
    FixCamera();
    // Not the main screen: the camera stays where FixCamera put it.
    auto scene = MakeScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false, &error);
    if (!scene) {
        state.SkipWithError(error.c_str());
        return;
    }
    CDrawer& d = *scene->drawer;
    for (int i = 0; i < WarmFrames; ++i) {
        g_dNow += FrameInterval;
        d.Draw();
        glFinish();
    }
    std::vector<double> ms;
    long frames = 0;
    g_nNews = 0;
    for (auto _ : state) {
        g_dNow += FrameInterval;
        const auto t0 = std::chrono::steady_clock::now();
        g_bCount = true;
        d.Draw();
        g_bCount = false;
        glFinish();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        ++frames;
    }
    Report(state, ms);
    state.counters["new_per_frame"] = static_cast<double>(g_nNews) / static_cast<double>(frames);
    scene->drawer.reset();
    CPackReader::Done();
}

void BM_BareFrame(benchmark::State& state)
{
    std::string error;
    FixCamera();
    auto scene = MakeScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false, &error);
    if (!scene) {
        state.SkipWithError(error.c_str());
        return;
    }
    CDrawer& d = *scene->drawer;
    // One real frame first, so bolts and stars are in mid-flight, then record it.
    g_dNow += FrameInterval;
    d.Draw();
    CaptureFrame(d, scene->bare);
    glFinish();
    for (int i = 0; i < WarmFrames; ++i) {
        scene->bare.Draw();
        glFinish();
    }
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        scene->bare.Draw();
        glFinish();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    Report(state, ms);
    size_t vertices = 0;
    for (const auto& part : scene->bare.parts)
        for (const SEvent& ev : part)
            vertices += ev.op == EOp::Vertex;
    state.counters["vertices"] = static_cast<double>(vertices);
    scene->drawer.reset();
    CPackReader::Done();
}

// Ours and bare alternate per size, so drift on a shared machine hits both.
BENCHMARK(BM_BareFrame)->Args({1280, 720})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OurFrame)->Args({960, 540})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OurFrame)->Args({896, 504})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OurFrame)->Args({1280, 720})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_BareFrame)->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_OurFrame)->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--pack=", 7) == 0)
            g_PackPath = argv[i] + 7;
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
