#include "host/loop/RenderScale.h"

#include <algorithm>
#include <iterator>

namespace {

// Judging needs a few frames even from the slowest renderer.
constexpr size_t MinFrames = 3;
// A step down aims a little inside the interval, so that a small rise of the
// frame time does not miss again at once.
constexpr double DownTarget = 0.9;
// A step up only when the larger scale's expected time leaves this much of
// the interval spare: the time does not shrink as fast as the pixel count,
// and a step up that then misses would pump.
constexpr double UpTarget = 0.7;
constexpr int StepCount = static_cast<int>(std::size(CRenderScalePolicy::Steps));

// Expected time of a frame at scale to, from one at scale from.
double Expected(double seconds, double from, double to)
{
    const double ratio = to / from;
    return seconds * ratio * ratio;
}

} // namespace

CRenderScalePolicy::CRenderScalePolicy(double interval)
    : m_dInterval(interval > 0.0 ? interval : 1.0 / 30.0)
{}

bool CRenderScalePolicy::Add(double now, double seconds)
{
    if (m_dSpanStart < 0.0)
        m_dSpanStart = now;
    m_Times.push_back(seconds);
    if (now - m_dSpanStart < Span || m_Times.size() < MinFrames)
        return false;
    if (m_dLastChange >= 0.0 && now - m_dLastChange < Span)
        return false;

    std::nth_element(m_Times.begin(), m_Times.begin() + m_Times.size() / 2, m_Times.end());
    const double median = m_Times[m_Times.size() / 2];
    m_Times.clear();
    m_dSpanStart = now;

    const double scale = Scale();
    int step = m_nStep;
    if (median > m_dInterval) {
        // At least one step; more while the next still would not fit.
        step = std::min(step + 1, StepCount - 1);
        while (step + 1 < StepCount && Expected(median, scale, Steps[step]) > DownTarget * m_dInterval)
            ++step;
    } else if (step > 0 && Expected(median, scale, Steps[step - 1]) <= UpTarget * m_dInterval) {
        --step;
    }
    if (step == m_nStep)
        return false;
    m_nStep = step;
    m_dLastChange = now;
    m_dCause = median;
    return true;
}
