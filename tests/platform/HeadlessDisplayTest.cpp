// The headless display: whichever EGL platform gives it, a context on it
// draws a frame that reads back. CTest runs this once more with the device
// platform forced (VELTRIX_EGL_PLATFORM=device), the way a GPU's EGL
// without Mesa's surfaceless platform is reached.
#include "platform/EGLSupport.h"
#include "platform/HeadlessGL.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

TEST(HeadlessDisplay, DrawsAFrameOnThePlatformItSettledOn)
{
    CHeadlessGL gl;
    ASSERT_TRUE(gl.Create(32, 16)) << gl.Error();
    const std::string platform = HeadlessPlatformName();
    if (const char* forced = std::getenv("VELTRIX_EGL_PLATFORM"))
        EXPECT_EQ(platform, forced);
    else
        EXPECT_TRUE(platform == "surfaceless" || platform == "device" || platform == "default") << platform;

    // A depth-tested quad in the right half over a blue clear.
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex3f(0.0f, -1.0f, 0.5f);
    glVertex3f(1.0f, -1.0f, 0.5f);
    glVertex3f(1.0f, 1.0f, 0.5f);
    glVertex3f(0.0f, 1.0f, 0.5f);
    glEnd();
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(gl.ReadPixels(rgba));
    const auto pixel = [&](int x, int y) { return &rgba[(size_t(y) * 32 + size_t(x)) * 4]; };
    EXPECT_EQ(pixel(4, 8)[2], 255);
    EXPECT_EQ(pixel(4, 8)[0], 0);
    EXPECT_EQ(pixel(28, 8)[0], 255);
    EXPECT_EQ(pixel(28, 8)[2], 0);
    EXPECT_NE(glGetString(GL_RENDERER), nullptr);
}
