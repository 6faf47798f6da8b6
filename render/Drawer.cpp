// CDrawer's lifecycle, frame loop, pass order and texture registry.
// The camera cycle lives in CameraCycle.cpp; the pass operations in Camera.cpp,
// Plasma.cpp, BoltPass.cpp and StarsFlare.cpp.
#include "render/Drawer.h"

#include "core/Util.h"
#include "math/CameraPath.h"
#include "pack/Texture.h"
#include "scene/ComplexBolt.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <strings.h>

const math::vector Color1 = {0.1f, 0.1f, 0.5f};
const math::vector Color2 = {0.5f, 0.1f, 0.1f};

const char* const strPathArray[NumCameraPaths] = {
    "cameras/camera01.path", "cameras/camera01m.path", "cameras/camera02.path", "cameras/camera02m.path",
    "cameras/camera03.path", "cameras/camera03m.path", "cameras/camera04.path", "cameras/camera04m.path",
    "cameras/camera05.path", "cameras/camera05m.path",
};

math::vector CDrawer::m_CFrom = {-100.0f, -100.0f, 0.0f};
math::vector CDrawer::m_CTo = {0.0f, 0.0f, 0.0f};
math::vector CDrawer::m_CUp = {0.0f, 0.0f, 1.0f};
float CDrawer::m_fStarsTimeScale = 1.0f;
float CDrawer::m_fPlasmaTimeScale = 1.0f;
float CDrawer::m_fDarkStrength = 0.0f;

namespace {

constexpr int NumColors = 64;
constexpr double MaxFrameTime = 0.1; // seconds; a stall advances the scene by at most this
constexpr unsigned int SphereColor = 0xFFB2B2B2; // DrawSphere ignores it

// Width over height of the current viewport; 1 for a viewport of no height.
float ViewportAspect()
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return viewport[3] != 0 ? static_cast<float>(viewport[2]) / static_cast<float>(viewport[3]) : 1.0f;
}

} // namespace

CDrawer::CDrawer()
    : m_dFrameTime(0.0)
    , m_dRawFrameTime(0.0)
    , m_dLastTime(0.0)
    , m_vEye{0.0f, 0.0f, 0.0f}
    , m_vDir{0.0f, 0.0f, 0.0f}
    , m_vUp{0.0f, 0.0f, 0.0f}
    , m_vRight{0.0f, 0.0f, 0.0f}
    , m_vCenter{0.0f, 0.0f, 0.0f}
    , m_fAspect(1.0f)
    , m_nLightTex(0)
    , m_nEnvTex(0)
    , m_nEnv2Tex(0)
    , m_nGalaxyTex(0)
    , m_nFlareTex{0, 0, 0, 0, 0}
    , m_nCurTrack(-1)
    , m_nNextTrack(-1)
    , m_pCurPath(nullptr)
    , m_fPathTime(-1.0f)
    , m_bFirstPath(true)
    , m_bInit(false)
{}

CDrawer::~CDrawer()
{
    // A failed set-up never became initialised, so Done would skip what it left behind.
    if (m_bInit)
        Done();
    else
        _ReleaseScene();
}

bool CDrawer::Init(const SCONFIG* config)
{
    if (m_bInit)
        Done();
    // A null record must leave a failed drawer as it was, error picture included.
    if (!config)
        return false;
    // The leftovers of a failed set-up go before a new one, so a second Init
    // never stacks paths or bolts.
    _ReleaseScene();

    m_Config = *config;

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DITHER);

    m_fAspect = ViewportAspect();

    // The previous scene's path is gone; the cycle starts over from its first frame.
    _ResetCycle();
    m_bInit = InitScene();
    return m_bInit;
}

bool CDrawer::InitScene()
{
    srand(static_cast<unsigned int>(static_cast<long long>(GetTime())));

    m_nLightTex = LoadTexture("textures/light.jpg");
    m_nEnvTex = LoadTexture("textures/envmap.jpg");
    m_nEnv2Tex = LoadTexture("textures/envmap2.jpg");
    m_nGalaxyTex = LoadTexture("textures/galaxy.jpg");
    m_nFlareTex[0] = LoadTexture("textures/flare/f0.jpg");
    m_nFlareTex[1] = LoadTexture("textures/flare/f1.jpg");
    m_nFlareTex[2] = LoadTexture("textures/flare/f2.jpg");
    m_nFlareTex[3] = LoadTexture("textures/flare/f3.jpg");
    m_nFlareTex[4] = LoadTexture("textures/flare/f4.jpg");

    for (const char* name : strPathArray) {
        CCameraPath* path = new CCameraPath;
        if (!path->LoadPath(name)) {
            delete path;
            return false;
        }
        m_Paths.push_back(path);
    }

    // The density comes from stored settings nobody validates. Each bolt holds
    // ten key shapes and costs hundreds of vertices a frame, so a corrupt value
    // must not turn into gigabytes of bolts; ten times the default is plenty.
    const int bolts = std::clamp(m_Config.m_nPlasmaDensity, 0, MaxBolts);
    m_Bolts.reserve(static_cast<size_t>(bolts));
    for (int i = 0; i < bolts; ++i)
        m_Bolts.push_back(new CComplexBolt);

    // Rebuilt, not appended: a second Init must still leave 64 entries.
    m_Colors.clear();
    m_Colors.reserve(NumColors);
    for (int j = 0; j < NumColors; ++j) {
        const float x = static_cast<float>(j) / 63.0f;
        double w = 0.0;
        if (x < 0.3)
            w = (0.3 - x) / 0.3;
        else if (x > 0.7)
            w = (x - 0.7) / 0.3;
        const float wf = static_cast<float>(w);
        const float rest = 1.0f - wf;
        m_Colors.push_back(
            {wf * Color2.x + rest * Color1.x, wf * Color2.y + rest * Color1.y, wf * Color2.z + rest * Color1.z});
    }

    m_dLastTime = GetTime();
    return true;
}

void CDrawer::Draw()
{
    Advance();
    // Views are resized while they run (window managers, XRandR), and the
    // flare's sprites are only square at the viewport's own aspect.
    m_fAspect = ViewportAspect();
    DrawScene();
}

void CDrawer::Advance()
{
    const double now = GetTime();
    m_dRawFrameTime = now - m_dLastTime;
    m_dLastTime = now;

    // A wall clock that steps back counts as no time passing: the path clock,
    // the stars and the bolts never run backwards.
    const double raw = std::max(m_dRawFrameTime, 0.0);
    m_dFrameTime = 0.5 * m_dFrameTime + 0.5 * raw;
    if (m_dFrameTime > MaxFrameTime)
        m_dFrameTime = MaxFrameTime;

    if (m_Config.m_bMainScreen || m_Config.m_bPreview)
        PrepareToDraw();
}

void CDrawer::DrawScene()
{
    if (!m_bInit) {
        const unsigned int texture = LoadTexture("textures/err.png");
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_DITHER);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glColor3f(1.0f, 1.0f, 1.0f);
        Set2D();
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(0.2f, 0.3f, 0.0f);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(0.2f, 0.7f, 0.0f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(0.8f, 0.7f, 0.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(0.8f, 0.3f, 0.0f);
        glEnd();
        Restore3D();
        return;
    }

    // 1: clear, projection and camera.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SetupMatrices();

    // 2: galaxy backdrop, a square 7 units below the eye that travels with it;
    // without depth testing it writes no depth and sits behind everything.
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_nGalaxyTex);
    glColor3f(0.7f, 0.7f, 0.7f);
    const math::vector& e = m_vEye;
    DrawQuad({e.x - 10.0f, e.y - 7.0f, e.z - 10.0f}, {e.x - 10.0f, e.y - 7.0f, e.z + 10.0f},
             {e.x + 10.0f, e.y - 7.0f, e.z - 10.0f}, {e.x + 10.0f, e.y - 7.0f, e.z + 10.0f});

    // 3: the ball, the only pass after the clear that writes depth.
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_nEnvTex);
    glColor3f(0.7f, 0.7f, 0.7f);
    DrawSphere(m_vCenter, 0.995f, SphereColor);

    // 4: the additive shell; from here on glows are depth-tested against the
    // ball but write no depth.
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_nEnv2Tex);
    glColor3f(0.075f, 0.075f, 0.075f);
    DrawSphere(m_vCenter, 9.1f, SphereColor);

    // 5: stars.
    m_StarField.Update(static_cast<double>(m_fStarsTimeScale) * m_dFrameTime);
    DrawStars();

    // 6: bolts, each updated right before it is drawn.
    const double boltTime = static_cast<double>(m_fPlasmaTimeScale) * m_dFrameTime;
    for (CComplexBolt* bolt : m_Bolts) {
        bolt->Update(boltTime);
        DrawBolt(bolt);
    }

    // 7: spots at the bolt ends.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    DrawHalos();

    // 8: central glow. Depth writes go back on here and stay on: the next
    // frame's depth clear honours the write mask.
    glDepthMask(GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_DEPTH_TEST);
    DrawHalo();

    // 9, 10: lens flare and the black fade of the camera cycle.
    DrawFlare();
    DarkScene(m_fDarkStrength);
}

void CDrawer::Done()
{
    if (!m_bInit)
        return;
    _ReleaseScene();
    m_bInit = false;
}

void CDrawer::DoneScene()
{}

void CDrawer::_ReleaseScene()
{
    for (CComplexBolt* bolt : m_Bolts)
        delete bolt;
    m_Bolts.clear();

    for (CCameraPath* path : m_Paths)
        delete path;
    m_Paths.clear();

    for (size_t i = 0; i < m_TexIds.size(); ++i) {
        if (m_TexOwned[i] != 0) {
            const GLuint id = m_TexIds[i];
            glDeleteTextures(1, &id);
        }
    }
    m_TexIds.clear();
    m_TexNames.clear();
    m_TexOwned.clear();
}

void CDrawer::_ResetCycle()
{
    m_dFrameTime = 0.0;
    m_dRawFrameTime = 0.0;
    m_nCurTrack = -1;
    m_nNextTrack = -1;
    m_pCurPath = nullptr;
    m_fPathTime = -1.0f;
    m_bFirstPath = true;
}

unsigned int CDrawer::LoadTexture(const char* name)
{
    if (!name)
        return 0;
    for (size_t i = 0; i < m_TexNames.size(); ++i) {
        if (strcasecmp(name, m_TexNames[i].c_str()) == 0)
            return m_TexIds[i];
    }
    unsigned int id = 0;
    // A missing entry is not remembered, so the next request reads the pack again.
    if (!BindImage(name, &id, true, GL_REPEAT))
        return 0;
    m_TexNames.emplace_back(name);
    m_TexIds.push_back(id);
    m_TexOwned.push_back(1);
    return id;
}

bool CDrawer::RegisterTexture(const char* name, unsigned int texture, signed char owned)
{
    if (!name)
        return true;
    for (const std::string& known : m_TexNames) {
        if (strcasecmp(name, known.c_str()) == 0)
            return true;
    }
    m_TexNames.emplace_back(name);
    m_TexIds.push_back(texture);
    m_TexOwned.push_back(owned);
    return true;
}
