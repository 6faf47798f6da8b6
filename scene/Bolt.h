// CBolt: one still lightning shape, a 64-point polyline from a start to an end
// point made by recursive midpoint displacement, with one tangent per point.
// Generation draws 186 numbers from RangeRand and allocates nothing; the
// storage means nothing until GenBolt and GenTangents have run.
#pragma once

#include "math/Math.h"

class CBolt
{
public:
    static constexpr unsigned int NUM_POINTS = 64;

    // Amplitude is a fraction of the length of each piece being split (0.05 to 0.15 in use).
    void GenBolt(const math::vector& start, const math::vector& end, float amplitude);
    void GenTangents(); // from the current points, not normalised

    static constexpr unsigned int NumPoints() { return NUM_POINTS; }
    const math::vector& GetPoint(unsigned int i) const; // i >= 64 reads point 0
    const math::vector& GetTangent(unsigned int i) const; // i >= 64 reads tangent 0

private:
    void _GenBolt(unsigned int i, unsigned int j); // fills the points strictly between i and j

    float m_fAmplitude;
    math::vector m_vPoints[NUM_POINTS];
    math::vector m_vTangents[NUM_POINTS];
};
