#include "scene/Bolt.h"

#include "core/Util.h"

#include <cmath>

void CBolt::GenBolt(const math::vector& start, const math::vector& end, float amplitude)
{
    m_fAmplitude = amplitude;
    m_vPoints[0] = start;
    m_vPoints[NUM_POINTS - 1] = end;
    _GenBolt(0, NUM_POINTS - 1);
}

void CBolt::_GenBolt(unsigned int i, unsigned int j)
{
    const math::vector span = m_vPoints[j] - m_vPoints[i];
    const float length = std::sqrt(span.x * span.x + span.y * span.y + span.z * span.z);
    const float r1 = RangeRand(-0.5f, 0.5f);
    const float r2 = RangeRand(-0.5f, 0.5f);
    const float r3 = RangeRand(-0.5f, 0.5f);
    const math::vector middle = (m_vPoints[i] + m_vPoints[j]) / 2.0f;
    const unsigned int k = (i + j) / 2;
    // The offset scales with the piece being split, so detail shrinks level by level.
    const math::vector offset = math::vector{r3, r2, r1} * (m_fAmplitude * length);
    m_vPoints[k] = middle + offset;
    if (k - i > 1)
        _GenBolt(i, k);
    if (j - k > 1)
        _GenBolt(k, j);
}

void CBolt::GenTangents()
{
    m_vTangents[0] = m_vPoints[1] - m_vPoints[0];
    for (unsigned int i = 1; i + 1 < NUM_POINTS; ++i)
        m_vTangents[i] = m_vPoints[i + 1] - m_vPoints[i - 1];
    m_vTangents[NUM_POINTS - 1] = m_vPoints[NUM_POINTS - 1] - m_vPoints[NUM_POINTS - 2];
}

const math::vector& CBolt::GetPoint(unsigned int i) const
{
    return m_vPoints[i < NUM_POINTS ? i : 0];
}

const math::vector& CBolt::GetTangent(unsigned int i) const
{
    return m_vTangents[i < NUM_POINTS ? i : 0];
}
