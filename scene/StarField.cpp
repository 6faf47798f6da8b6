#include "scene/StarField.h"

#include "core/Util.h"

#include <algorithm>
#include <cassert>

namespace {

const float kTop = 200.0f;
const float kLength = 400.0f;
const double kFadeStart = 199.0; // fully bright inside [-199, 199]
const float kOldOffset = 0.001f;

} // namespace

CStarField::CStarField()
{
    m_Stars.reserve(NUM_STARS);
    for (unsigned int i = 0; i < NUM_STARS; ++i) {
        const float speed = RangeRand(10.0f, 100.0f);
        const float z = RangeRand(-100.0f, 100.0f);
        const float y = RangeRand(-200.0f, 200.0f);
        const float x = RangeRand(-100.0f, 100.0f);
        SStar star;
        star.m_vPos = {x, y, z};
        star.m_vOldPos = {x + kOldOffset, y + kOldOffset, z + kOldOffset};
        star.m_fSpeed = speed;
        star.m_fAlpha = 0.0f; // the first Update sets it; the drawer updates before it draws
        m_Stars.push_back(star);
    }
}

void CStarField::Update(double dt)
{
    for (unsigned int i = 0; i < NUM_STARS; ++i) {
        SStar& star = m_Stars[i];
        star.m_vOldPos = star.m_vPos;
        float y = static_cast<float>(static_cast<double>(star.m_vPos.y) + static_cast<double>(star.m_fSpeed) * dt);
        if (y > kTop) {
            y -= kLength;
            // The old position must not reach across the whole box.
            star.m_vOldPos = {star.m_vPos.x + kOldOffset, y + kOldOffset, star.m_vPos.z + kOldOffset};
        }
        star.m_vPos.y = y;

        const double yd = static_cast<double>(y);
        double alpha = 1.0;
        if (yd < -kFadeStart)
            alpha = std::max(0.0, 1.0 - (-kFadeStart - yd));
        else if (yd > kFadeStart)
            alpha = std::max(0.0, 1.0 - (yd - kFadeStart));
        star.m_fAlpha = static_cast<float>(alpha);
    }
}

const CStarField::SStar& CStarField::GetStar(unsigned int i) const
{
    assert(i < NUM_STARS);
    return m_Stars[i];
}
