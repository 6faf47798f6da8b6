#include "host/loop/FramePacing.h"

#include <algorithm>
#include <cmath>

void CFramePacing::Set(double drawInterval, EPowerPolicy policy, bool saving)
{
    m_bPaused = saving && policy == EPowerPolicy::Pause;
    const double interval = saving && policy == EPowerPolicy::Auto ? 2.0 * drawInterval : drawInterval;
    if (m_bPaused) {
        m_nSteps = 1;
        m_dTick = std::min(interval, MaxStep);
        return;
    }
    // The small margin keeps an interval of exactly n steps at n.
    m_nSteps = std::max(1, static_cast<int>(std::ceil(interval / MaxStep - 1e-9)));
    m_dTick = interval / m_nSteps;
    m_nStep = std::min(m_nStep, m_nSteps - 1);
}

bool CFramePacing::DrawsNext()
{
    if (m_bForced) {
        m_bForced = false;
        m_nStep = 1 % m_nSteps;
        return true;
    }
    if (m_bPaused)
        return false;
    const bool draws = m_nStep == 0;
    m_nStep = (m_nStep + 1) % m_nSteps;
    return draws;
}

void CFramePacing::DrawAtNextTick()
{
    m_bForced = true;
}
