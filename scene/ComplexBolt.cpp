#include "scene/ComplexBolt.h"

#include "core/Util.h"

#include <cmath>

namespace {

const float kStartRadius = 1.0f;
const float kEndRadius = 9.0f;
const float kElevation = 1.0471976f; // pi / 3
const float kTwoPi = 6.2831855f;
const float kDrift = 0.2f; // radians, in each angle over a life

math::vector Direction(float theta, float phi)
{
    return {std::cos(theta) * std::cos(phi), std::cos(theta) * std::sin(phi), std::sin(theta)};
}

} // namespace

CComplexBolt::CComplexBolt()
{
    for (auto& bolt : m_pBolts)
        bolt = std::make_unique<CBolt>();
    _Reset();
}

CComplexBolt::~CComplexBolt() = default;

void CComplexBolt::_Reset()
{
    const float theta1 = RangeRand(-kElevation, kElevation);
    const float phi1 = RangeRand(0.0f, kTwoPi);
    const float theta2 = theta1 + RangeRand(-kDrift, kDrift);
    const float phi2 = phi1 + RangeRand(-kDrift, kDrift);

    const math::vector d1 = Direction(theta1, phi1);
    const math::vector d2 = Direction(theta2, phi2);
    const math::vector s1 = d1 * kStartRadius, s2 = d2 * kStartRadius;
    const math::vector e1 = d1 * kEndRadius, e2 = d2 * kEndRadius;

    const float steps = static_cast<float>(NUM_KEYS - 1);
    for (unsigned int i = 0; i < NUM_KEYS; ++i) {
        // Ends move along the chords, not the arcs: the middle keys sit marginally inside the spheres.
        const float f = static_cast<float>(i);
        const math::vector start = s1 + ((s2 - s1) * f) / steps;
        const math::vector end = e1 + ((e2 - e1) * f) / steps;
        const float amplitude = RangeRand(0.05f, 0.15f);
        m_pBolts[i]->GenBolt(start, end, amplitude);
        m_pBolts[i]->GenTangents();
    }

    m_fPhase = 0.0f;
    m_fSpeed = RangeRand(0.2f, 0.5f);
    _CalcFrame();
}

void CComplexBolt::_CalcFrame()
{
    const float x = static_cast<float>(NUM_KEYS - 1) * m_fPhase;
    const float f = std::floor(x);
    m_fBlend = x - f;
    // A clock stepping back can make the phase negative; keep the key indexes in range
    // (and never convert an out-of-range float to an integer).
    long long n = 0;
    if (f > -1e9f && f < 1e9f)
        n = static_cast<long long>(f);
    const long long from = ((n % NUM_KEYS) + NUM_KEYS) % NUM_KEYS;
    m_nFrom = static_cast<unsigned int>(from);
    m_nTo = (m_nFrom + 1) % NUM_KEYS;
}

void CComplexBolt::Update(double dt)
{
    m_fPhase = static_cast<float>(static_cast<double>(m_fPhase) + static_cast<double>(m_fSpeed) * dt);
    _CalcFrame();
    // Excess phase is dropped. A NaN phase (from a NaN step) also starts over rather than freezing.
    if (!(m_fPhase <= 1.0f))
        _Reset();
}

math::vector CComplexBolt::GetPoint(unsigned int i) const
{
    const math::vector& a = m_pBolts[m_nFrom]->GetPoint(i);
    const math::vector& b = m_pBolts[m_nTo]->GetPoint(i);
    return a * (1.0f - m_fBlend) + b * m_fBlend;
}

math::vector CComplexBolt::GetTangent(unsigned int i) const
{
    const math::vector& a = m_pBolts[m_nFrom]->GetTangent(i);
    const math::vector& b = m_pBolts[m_nTo]->GetTangent(i);
    return a * (1.0f - m_fBlend) + b * m_fBlend;
}
