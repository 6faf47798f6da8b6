// The pixel format's words and the headless OpenGL view: a frame drawn into
// it can be read back at the view's size, whatever sizes it went through.
#include "platform/HeadlessGL.h"
#include "platform/OpenGLView.h"
#include "platform/ScreenSaverView.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const uint32_t SaverWords[] = {12, 16, 5, 1, 51, 1, 0};

std::unique_ptr<OpenGLView> MakeHeadlessView(const uint32_t* words = SaverWords)
{
    std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(words));
    if (!format)
        return nullptr;
    return std::unique_ptr<OpenGLView>(OpenGLView::initWithFrame(ZeroRect, format.get(), SSaverTarget{}));
}

// Clears to a colour and reads the whole viewport back as RGBA.
std::vector<unsigned char> ClearAndRead(int width, int height, float red, float green, float blue)
{
    glViewport(0, 0, width, height);
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

} // namespace

TEST(PixelFormat, KeepsTheSaverWordsAndReadsTheirMeaning)
{
    std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(SaverWords));
    ASSERT_TRUE(format);
    EXPECT_EQ(format->attributes(), std::vector<uint32_t>(std::begin(SaverWords), std::end(SaverWords)));
    EXPECT_EQ(format->depthSize(), 16);
    EXPECT_TRUE(format->doubleBuffer());
    EXPECT_EQ(format->colorSize(), 0);

    const uint32_t colour[] = {8, 24, 0};
    format.reset(OpenGLPixelFormat::initWithAttributes(colour));
    ASSERT_TRUE(format);
    EXPECT_EQ(format->colorSize(), 24);
    EXPECT_FALSE(format->doubleBuffer());
}

TEST(PixelFormat, RefusesUnknownWordsAndEndlessLists)
{
    const uint32_t unknown[] = {12, 16, 99, 0};
    EXPECT_EQ(OpenGLPixelFormat::initWithAttributes(unknown), nullptr);
    EXPECT_EQ(OpenGLPixelFormat::initWithAttributes(nullptr), nullptr);
    std::vector<uint32_t> endless(1000, 5);
    endless.push_back(0);
    EXPECT_EQ(OpenGLPixelFormat::initWithAttributes(endless.data()), nullptr);
}

TEST(HeadlessView, DrawsIntoAFramebufferOfItsSize)
{
    std::unique_ptr<OpenGLView> view = MakeHeadlessView();
    ASSERT_TRUE(view);
    view->setFrameSize({64.9, 48.2});
    view->openGLContext()->makeCurrentContext();
    view->openGLContext()->update();
    std::vector<unsigned char> pixels = ClearAndRead(64, 48, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (size_t i = 0; i < pixels.size(); i += 4)
        ASSERT_EQ(pixels[i + 1], 255) << "pixel " << i / 4;
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);

    // Growing it keeps the same context drawing, now at the new size.
    view->setFrameSize({128, 96});
    view->openGLContext()->makeCurrentContext();
    pixels = ClearAndRead(128, 96, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(pixels[pixels.size() - 4], 255);
    view->openGLContext()->flushBuffer();
}

TEST(HeadlessView, ZeroSizeAndTwoViewsStaySafe)
{
    std::unique_ptr<OpenGLView> first = MakeHeadlessView();
    std::unique_ptr<OpenGLView> second = MakeHeadlessView();
    ASSERT_TRUE(first && second);
    first->setFrameSize({32, 32});
    second->setFrameSize({0, 0});
    second->openGLContext()->makeCurrentContext();
    glViewport(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Each view draws into its own framebuffer: the second one's clear did not
    // reach the first, and clearing the current context leaves none.
    first->openGLContext()->makeCurrentContext();
    std::vector<unsigned char> pixels = ClearAndRead(32, 32, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(pixels[2], 255);
    OpenGLContext::clearCurrentContext();
    second.reset();
    first->openGLContext()->makeCurrentContext();
    pixels.assign(4, 0);
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    EXPECT_EQ(pixels[2], 255);
}

TEST(HeadlessView, AFormatNoRendererMeetsGivesNoView)
{
    const uint32_t tooDeep[] = {12, 48, 0};
    EXPECT_EQ(MakeHeadlessView(tooDeep), nullptr);
}

TEST(ScreenSaverView, RecordsFramePreviewAndAValidInterval)
{
    ScreenSaverView view{SSaverTarget{}};
    ASSERT_TRUE(view.initWithFrame({1440, 0, 800, 600}, true));
    EXPECT_TRUE(view.isPreview());
    EXPECT_EQ(view.frame().x, 1440);
    view.setFrameSize({1024, 768});
    EXPECT_EQ(view.frame().width, 1024);
    EXPECT_EQ(view.frame().x, 1440);
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 30.0);
    view.setAnimationTimeInterval(0.0);
    view.setAnimationTimeInterval(-1.0);
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 30.0);
    view.setAnimationTimeInterval(0.05);
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 0.05);
    view.startAnimation();
    EXPECT_TRUE(view.isAnimating());
    view.stopAnimation();
    EXPECT_FALSE(view.isAnimating());
}

TEST(HeadlessGL, FramebufferFallbackDrawsLikeThePbuffer)
{
    CHeadlessGL gl;
    ASSERT_TRUE(gl.Create(40, 30, false)) << gl.Error();
    EXPECT_FALSE(gl.UsesPbuffer());
    glClearColor(1.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(gl.ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), 40u * 30u * 4u);
    EXPECT_EQ(rgba[rgba.size() - 4], 255);
    EXPECT_EQ(rgba[rgba.size() - 3], 255);
    EXPECT_EQ(rgba[rgba.size() - 2], 0);
}
