// The camera cycle: every 23 s of path time a new camera path (or a random
// fixed viewpoint), a fade to black and back around the change, a new star
// speed, and the music gains that cross-fade the two ambient tracks in step.
// Only a main-screen or preview drawer runs it; the results are class-wide, so
// every other screen renders the same camera.
#include "render/Drawer.h"

#include "core/SoundGain.h"
#include "core/Util.h"
#include "math/CameraPath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float CycleLength = 23.0f; // seconds of path time
constexpr float FadeLength = 3.0f; // fade-in at the start, fade-out and cross-fade at the end
constexpr float FadeOutStart = 20.0f;
constexpr int PathChoiceAttempts = 10;

int DrawTrack()
{
    return RangeRand(0.0f, 1.0f) <= 0.5f ? 1 : 0;
}

} // namespace

void CDrawer::PrepareToDraw()
{
    if (!m_bInit)
        return;

    float t = m_fPathTime;
    bool newCycle = false;
    if (t > CycleLength) {
        m_bFirstPath = false;
        newCycle = true;
    } else if (t < 0.0f) {
        newCycle = true;
    }

    if (newCycle) {
        if (m_Config.m_nStaticCamera != 0) {
            const float d = RangeRand(10.0f, 20.0f);
            const float a = RangeRand(-0.5235988f, 0.5235988f); // elevation, +-30 degrees
            const float b = RangeRand(0.7853982f, 2.3561945f); // azimuth, 45 to 135 degrees
            m_CFrom = {d * cosf(a) * cosf(b), d * cosf(a) * sinf(b), d * sinf(a)};
            m_CTo = {0.0f, 0.0f, 0.0f};
            m_CUp = {0.0f, 0.0f, 1.0f};
        } else if (!m_Paths.empty()) {
            // Try to avoid flying the same path twice in a row, but give up after ten draws.
            CCameraPath* const old = m_pCurPath;
            for (int i = 0; i < PathChoiceAttempts; ++i) {
                m_pCurPath = m_Paths[static_cast<size_t>(rand()) % m_Paths.size()];
                if (m_pCurPath != old)
                    break;
            }
        }

        if (m_bFirstPath) {
            const int k = DrawTrack();
            m_nCurTrack = k;
            m_nNextTrack = k;
            g_SoundGain[0] = 0.0f;
            g_SoundGain[1] = 0.0f;
        }
        // A cycle without a cross-fade is always followed by one that switches.
        if (m_nCurTrack == m_nNextTrack) {
            m_nNextTrack = 1 - m_nNextTrack;
        } else {
            m_nCurTrack = m_nNextTrack;
            m_nNextTrack = DrawTrack();
        }

        m_fStarsTimeScale = RangeRand(0.0f, 0.5f);
        m_fDarkStrength = 1.0f;
        m_fPathTime = 0.0f;
        t = 0.0f;
    }

    // A static camera stays where the cycle start put it.
    if (m_Config.m_nStaticCamera == 0 && m_pCurPath) {
        const double u = std::clamp(static_cast<double>(t) / CycleLength, 0.0, 1.0);
        const math::matrix m = m_pCurPath->GetCameraTransform(static_cast<float>(u));
        m_CFrom = {m[12], m[13], m[14]};
        m_CTo = {m_CFrom.x - m[8], m_CFrom.y - m[9], m_CFrom.z - m[10]}; // looks along local -z
        m_CUp = {m[4], m[5], m[6]};
    }

    if (m_nCurTrack != m_nNextTrack) {
        const double b = std::clamp((static_cast<double>(t) - FadeOutStart) / FadeLength, 0.0, 1.0);
        g_SoundGain[m_nCurTrack] = static_cast<float>(1.0 - b);
        g_SoundGain[m_nNextTrack] = static_cast<float>(b);
    } else if (!m_bFirstPath) {
        // The last frame of a cycle rarely lands on 23 s exactly, so the
        // cross-fade that ended it can stop a few percent short; without this
        // the old track would murmur on through a whole cycle without one.
        g_SoundGain[m_nCurTrack] = 1.0f;
        g_SoundGain[1 - m_nCurTrack] = 0.0f;
    }
    if (m_bFirstPath && t <= FadeLength)
        g_SoundGain[m_nCurTrack] = static_cast<float>(std::clamp(static_cast<double>(t) / FadeLength, 0.0, 1.0));

    if (t >= 0.0f && t <= FadeLength) {
        // The preview shows the scene at once; a screen saver starts from black.
        m_fDarkStrength = (m_bFirstPath && m_Config.m_bPreview)
                              ? 0.0f
                              : static_cast<float>(1.0 - static_cast<double>(t) / FadeLength);
    }
    if (t >= FadeOutStart && t <= CycleLength)
        m_fDarkStrength = static_cast<float>((static_cast<double>(t) - FadeOutStart) / FadeLength);

    m_fPathTime = static_cast<float>(static_cast<double>(t) + m_dFrameTime);
}
