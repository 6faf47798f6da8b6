// The X host's plan of its monitors: which is the main screen and where
// each one's frame lies in the camera's picture, decided again whenever
// XRandR rearranges them.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "host/x11/XScreens.h"

#include <vector>

namespace {

TEST(XHostLayout, ThePrimaryIsMainAndTheOthersLieFromIt)
{
    const SScreenPlan plan = PlanScreens(
        {{0, 0, 1280, 720, false, "left"}, {1280, 0, 1280, 720, true, "right"}, {0, 720, 640, 360, false, "below"}});
    ASSERT_EQ(plan.m_nMain, 1);
    EXPECT_EQ(plan.m_OriginX, (std::vector<double>{-1280, 0, -1280}));
    EXPECT_EQ(plan.m_OriginY, (std::vector<double>{0, 0, 720}));
    EXPECT_EQ(PlanScreens({}).m_nMain, -1);
}

} // namespace
