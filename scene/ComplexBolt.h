// CComplexBolt: one living lightning arc from the ball's surface (radius 1) to
// radius 9. Each life picks a random direction, generates ten key shapes whose
// ends creep by up to 0.2 rad, and plays through them over 2 to 5 seconds,
// blending neighbours point by point. A life consumes 1875 RangeRand draws.
// Owns its ten key bolts; not copyable; Update never allocates.
#pragma once

#include "math/Math.h"
#include "scene/Bolt.h"

#include <memory>

class CComplexBolt
{
public:
    static constexpr unsigned int NUM_KEYS = 10;

    CComplexBolt(); // allocates the key bolts, starts the first life
    ~CComplexBolt();
    CComplexBolt(const CComplexBolt&) = delete;
    CComplexBolt& operator=(const CComplexBolt&) = delete;

    void Update(double dt); // seconds, already time-scaled

    static constexpr unsigned int NumPoints() { return CBolt::NUM_POINTS; }
    math::vector GetPoint(unsigned int i) const; // blended; i >= 64 reads entry 0
    math::vector GetTangent(unsigned int i) const; // blended, not normalised; i >= 64 reads entry 0

private:
    void _Reset(); // starts a new life in the same key bolts
    void _CalcFrame(); // m_nFrom, m_nTo, m_fBlend from m_fPhase

    float m_fPhase; // 0 at the start of a life, at most 1
    float m_fSpeed; // phase per second, 0.2 to 0.5
    unsigned int m_nFrom; // key bolt blended from, 0 to 9
    unsigned int m_nTo; // (m_nFrom + 1) mod 10
    float m_fBlend; // weight of m_nTo, in [0, 1)
    std::unique_ptr<CBolt> m_pBolts[NUM_KEYS];
};
