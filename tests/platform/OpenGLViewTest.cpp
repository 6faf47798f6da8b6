// The pixel format's words and the headless OpenGL view: a frame drawn into
// it can be read back at the view's size, whatever sizes it went through.
#include "platform/HeadlessGL.h"
#include "platform/OpenGLView.h"
#include "platform/ScreenSaverView.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const uint32_t SaverWords[] = {12, 16, 5, 1, 51, 1, 0};

std::unique_ptr<OpenGLView> MakeHeadlessView(const uint32_t* words = SaverWords)
{
    std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(words));
    return std::unique_ptr<OpenGLView>(format ? OpenGLView::initWithFrame(ZeroRect, format.get(), {}) : nullptr);
}

// Clears the current context to a colour and reads width x height back as RGBA.
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

TEST(PixelFormat, KeepsTheSaverWordsAndRefusesUnknownOnes)
{
    std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(SaverWords));
    ASSERT_TRUE(format);
    EXPECT_EQ(format->attributes(), std::vector<uint32_t>(std::begin(SaverWords), std::end(SaverWords)));
    EXPECT_EQ(format->depthSize(), 16);
    EXPECT_TRUE(format->doubleBuffer());

    const uint32_t unknown[] = {12, 16, 99, 0};
    EXPECT_EQ(OpenGLPixelFormat::initWithAttributes(unknown), nullptr);
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
    std::vector<unsigned char> pixels = ClearAndRead(64, 48, 0.0f, 1.0f, 0.0f);
    for (size_t i = 0; i < pixels.size(); i += 4)
        ASSERT_EQ(pixels[i + 1], 255) << "pixel " << i / 4;
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);

    view->setFrameSize({128, 96});
    view->openGLContext()->update();
    pixels = ClearAndRead(128, 96, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(pixels[pixels.size() - 4], 255);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(HeadlessView, ZeroSizeAndASecondViewStaySafe)
{
    std::unique_ptr<OpenGLView> first = MakeHeadlessView();
    std::unique_ptr<OpenGLView> second = MakeHeadlessView();
    ASSERT_TRUE(first && second);
    first->setFrameSize({32, 32});
    second->setFrameSize({0, 0});
    first->openGLContext()->makeCurrentContext();
    ClearAndRead(32, 32, 0.0f, 0.0f, 1.0f);
    second->openGLContext()->makeCurrentContext();
    ClearAndRead(0, 0, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // The second view's drawing and its going reach nothing of the first.
    OpenGLContext::clearCurrentContext();
    second.reset();
    first->openGLContext()->makeCurrentContext();
    std::vector<unsigned char> pixel(4, 0);
    glReadPixels(31, 31, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    EXPECT_EQ(pixel, (std::vector<unsigned char>{0, 0, 255, 255}));

    const uint32_t tooDeep[] = {12, 48, 0};
    EXPECT_EQ(MakeHeadlessView(tooDeep), nullptr);
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
    EXPECT_EQ(std::vector<unsigned char>(rgba.end() - 4, rgba.end()), (std::vector<unsigned char>{255, 255, 0, 255}));
}

TEST(ScreenSaverView, KeepsItsIntervalAgainstValuesThatWouldSpinTheTimer)
{
    ScreenSaverView view{SSaverTarget{}};
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 30.0);
    view.setAnimationTimeInterval(0.0);
    view.setAnimationTimeInterval(-1.0);
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 30.0);
    view.setAnimationTimeInterval(0.05);
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 0.05);
}

namespace {

// A subclass as a saver writes one: it sizes its OpenGL view to whatever
// frame size it is given, and knows nothing of scales.
class CSizedView : public ScreenSaverView
{
public:
    explicit CSizedView(OpenGLView* glView)
        : ScreenSaverView(SSaverTarget{})
        , m_pGLView(glView)
    {
        addSubview(glView);
    }
    void setFrameSize(const SSize& size) override
    {
        ScreenSaverView::setFrameSize(size);
        m_pGLView->setFrameSize(size);
    }

private:
    OpenGLView* m_pGLView;
};

} // namespace

TEST(ScreenSaverView, AScaledViewDrawsASmallerFrameShownOverTheWholeWindow)
{
    std::unique_ptr<OpenGLView> glView = MakeHeadlessView();
    ASSERT_TRUE(glView);
    CSizedView view(glView.get());
    view.setWindowSize({64, 40});
    std::string why;
    ASSERT_TRUE(view.setRenderScale(0.5, why)) << why;
    EXPECT_EQ(view.frame().width, 32.0);
    EXPECT_EQ(view.frame().height, 20.0);
    EXPECT_FALSE(view.setRenderScale(0.4, why));
    EXPECT_FALSE(view.setRenderScale(1.5, why));
    EXPECT_EQ(view.renderScale(), 0.5);

    // Left half red, right half green, in the frame's own 32 x 20 pixels.
    glView->openGLContext()->makeCurrentContext();
    glViewport(0, 0, 32, 20);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(0.0f, 1.0f, 0.0f);
    glRectf(0.0f, -1.0f, 1.0f, 1.0f);
    glView->openGLContext()->flushBuffer();

    std::vector<unsigned char> pixels(64 * 40 * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 64, 40, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    auto at = [&](int x, int y) {
        return std::vector<unsigned char>(&pixels[(y * 64 + x) * 4], &pixels[(y * 64 + x) * 4 + 3]);
    };
    const std::vector<unsigned char> red{255, 0, 0}, green{0, 255, 0};
    EXPECT_EQ(at(1, 1), red);
    EXPECT_EQ(at(1, 38), red);
    EXPECT_EQ(at(62, 1), green);
    EXPECT_EQ(at(62, 38), green);

    // Back at 1 the frame is the window again, drawn straight into it.
    ASSERT_TRUE(view.setRenderScale(1.0, why));
    EXPECT_EQ(view.frame().width, 64.0);
    glView->openGLContext()->makeCurrentContext();
    std::vector<unsigned char> blue = ClearAndRead(64, 40, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(std::vector<unsigned char>(blue.end() - 4, blue.end() - 1), (std::vector<unsigned char>{0, 0, 255}));
}
