// CStarField: 4096 stars streaming along +y through a box 200 wide (x), 400
// long (y, -200 to 200) and 200 deep (z), as offsets from the camera. A star
// leaving the top re-enters at the bottom; each fades over the last unit at
// either end. Construction consumes 4 RangeRand draws per star; Update never
// allocates.
#pragma once

#include "math/Math.h"

#include <vector>

class CStarField
{
public:
    static constexpr unsigned int NUM_STARS = 4096;

    struct SStar
    {
        math::vector m_vPos; // relative to the camera
        math::vector m_vOldPos; // before the last Update
        float m_fSpeed; // units per second along +y, 10 to 100
        float m_fAlpha; // brightness 0 to 1; set by Update only
    };

    CStarField();

    void Update(double dt); // seconds, already time-scaled

    static constexpr unsigned int NumStars() { return NUM_STARS; }
    const SStar& GetStar(unsigned int i) const; // i < NumStars(), not checked

private:
    std::vector<SStar> m_Stars;
};
