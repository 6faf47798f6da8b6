// CDrawer: the renderer. One per running view (each screen, or the preview).
// Owns its bolts, camera paths, star field, colour ramp and the textures its
// registry marks as owned. Every member function that touches OpenGL needs the
// view's context current. Failures are return values: Init false, texture 0;
// a drawer whose scene failed to set up draws "textures/err.png" every frame.
//
// Shared by all drawers of the process (main thread only, no locks): the
// class-wide camera and time factors below, the music gains g_SoundGain and the
// flare intensity _g_fFlare. Only a main-screen or preview drawer writes them.
#pragma once

#include "core/Config.h"
#include "math/Math.h"
#include "scene/StarField.h"

#include <string>
#include <vector>

class CComplexBolt;
class CCameraPath;

// Scene colours: the middle (Color1) and the ends (Color2) of the bolt colour ramp.
extern const math::vector Color1; // (0.1, 0.1, 0.5)
extern const math::vector Color2; // (0.5, 0.1, 0.1)

// The ten camera path entries, in load order.
constexpr int NumCameraPaths = 10;
extern const char* const strPathArray[NumCameraPaths];

// One lens-flare sprite (defined with the flare pass).
struct SFlare
{
    int m_nTexture; // index into CDrawer::m_nFlareTex (0..4)
    float m_fPos; // 0 at the light, 0.5 at the screen centre, 1 at its mirror image
    float m_fSize; // half side, in units of the viewport width
    unsigned int m_nColor; // 0xAARRGGBB, alpha unused
    bool m_bRotate; // turns with the light's screen position
};
constexpr int NumFlareElements = 21;
extern const SFlare _FlareArray[NumFlareElements];
extern float _g_fFlare; // flare intensity 0..1, process-wide, moved by every drawer's DrawFlare

class CDrawer
{
public:
    CDrawer(); // no OpenGL objects; fills the star field from rand()'s current state
    ~CDrawer(); // Done, plus the leftovers of a failed set-up

    bool Init(const SCONFIG* config); // null config: false, nothing changes
    void Draw(); // one frame into the current context
    void Done(); // releases the scene; no-op when not initialised
    void DoneScene(); // does nothing

    // Texture registry: names compare case-insensitively; a name is read from the
    // pack once per scene. 0 when the entry cannot be read (then nothing is
    // registered, so the next request reads the pack again).
    unsigned int LoadTexture(const char* name);
    bool RegisterTexture(const char* name, unsigned int texture, signed char owned); // always true

    // Camera, projection and screen-space helpers.
    void SetupMatrices();
    void SetupCamera();
    bool ProjectVertex(float x, float y, float z, float* sx, float* sy, float* sz); // true: on screen
    void UnProjectVertex(float x, float y, float z, float* ox, float* oy, float* oz);
    void Set2D(); // unit square, x right, y up; pair with Restore3D, no nesting
    void Restore3D();
    void DrawQuad(const math::vector& p, const math::vector& q, const math::vector& r, const math::vector& s);
    void DrawQuad2D(float x1, float y1, float x2, float y2, float s1, float t1, float s2, float t2, float angle,
                    float yscale); // angle in radians
    void DarkScene(float strength); // black fade, opacity 0..1

    // Plasma ball and glows.
    void DrawSphere(const math::vector& center, float radius, unsigned int color); // color unused
    void DrawHalo();
    void DrawHalos();
    float CalcColor(float t);

    // Bolts, stars, flare.
    void DrawBolt(const CComplexBolt* bolt);
    void DrawStars();
    void DrawFlare();

    // Used inside the drawer.
    bool InitScene();
    void PrepareToDraw(); // the camera cycle
    void DrawScene();

    // ---- members, in this order ----
    double m_dFrameTime; // smoothed frame interval, seconds, 0..0.1
    double m_dRawFrameTime; // last measured interval between two Draw calls, seconds
    double m_dLastTime; // GetTime() at the previous Draw

    std::vector<std::string> m_TexNames; // registry: names as the caller spelled them
    std::vector<unsigned int> m_TexIds; // registry: OpenGL texture names
    std::vector<signed char> m_TexOwned; // registry: non-zero where Done deletes the texture

    std::vector<CComplexBolt*> m_Bolts; // owned
    std::vector<math::vector> m_Colors; // 64-entry RGB ramp along a bolt
    CStarField m_StarField;

    math::vector m_vEye; // this frame's eye point (a copy of m_CFrom)
    math::vector m_vDir; // unit viewing direction
    math::vector m_vUp; // unit screen up, perpendicular to m_vDir
    math::vector m_vRight; // unit screen right
    math::vector m_vCenter; // centre of ball and shell, the origin

    std::vector<CCameraPath*> m_Paths; // owned, in strPathArray order
    float m_fAspect; // viewport width / height, taken at Init and again every frame

    unsigned int m_nLightTex; // "textures/light.jpg"
    unsigned int m_nEnvTex; // "textures/envmap.jpg"
    unsigned int m_nEnv2Tex; // "textures/envmap2.jpg"
    unsigned int m_nGalaxyTex; // "textures/galaxy.jpg"
    unsigned int m_nFlareTex[5]; // "textures/flare/f0.jpg" .. "f4.jpg"

    int m_nCurTrack; // music track (0/1) of this cycle, -1 before the first
    int m_nNextTrack; // music track (0/1) of the next cycle
    CCameraPath* m_pCurPath; // element of m_Paths, not owned
    float m_fPathTime; // seconds into the cycle, negative before the first
    bool m_bFirstPath; // true until the first cycle ends
    bool m_bInit; // the scene is set up
    SCONFIG m_Config; // copy taken by Init

    // ---- class-wide, shared by every drawer ----
    static math::vector m_CFrom; // eye point, starts at (-100, -100, 0)
    static math::vector m_CTo; // point looked at, starts at the origin
    static math::vector m_CUp; // up hint, starts at +z
    static float m_fStarsTimeScale; // star speed factor, drawn each cycle
    static float m_fPlasmaTimeScale; // bolt speed factor, always 1
    static float m_fDarkStrength; // opacity of the black fade

    // Bolts are created from m_nPlasmaDensity; a stored value past this is
    // treated as this many (see InitScene).
    static constexpr int MaxBolts = 1000;

private:
    void _ReleaseScene(); // bolts, paths, owned textures; no state flags
    void _ResetCycle(); // back to "before the first cycle"

    // ---- private helpers of the pass operations (added with the passes) ----
    float m_fFlareX = 0.5f; // the flare light's last screen position (2D units),
    float m_fFlareY = 0.5f; // kept for a frame whose projection fails outright
};
