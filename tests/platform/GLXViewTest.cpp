// The OpenGL view on X, under a private Xvfb: a child window over the target
// that shows what the context draws, follows size and hiding, takes no input,
// and never takes the process down when X refuses something.
#include "platform/OpenGLView.h"
#include "tests/support/Xvfb.h"

#include <gtest/gtest.h>

// After gtest: Xlib defines None, a name gtest uses.
#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace {

int g_nXErrors = 0;

// What the host does: count X errors and go on, never exit.
int CountXError(Display*, XErrorEvent*)
{
    ++g_nXErrors;
    return 0;
}

class GLXView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Xvfb.Start(320, 240));
        m_pDisplay = XOpenDisplay(m_Xvfb.DisplayName().c_str());
        ASSERT_TRUE(m_pDisplay);
        XSetErrorHandler(CountXError);
        m_Parent = XCreateSimpleWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), 0, 0, 96, 64, 0, 0, 0);
        XMapWindow(m_pDisplay, m_Parent);
        g_nXErrors = 0;
    }

    void TearDown() override
    {
        if (m_pDisplay)
            XCloseDisplay(m_pDisplay);
    }

    // A view attached to the window and as big as the parent; null when none can be made.
    std::unique_ptr<OpenGLView> MakeView(unsigned long window)
    {
        const uint32_t words[] = {12, 16, 5, 1, 51, 1, 0};
        std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(words));
        std::unique_ptr<OpenGLView> view(
            OpenGLView::initWithFrame(ZeroRect, format.get(), {SAVER_TARGET_X11_WINDOW, m_pDisplay, window, nullptr}));
        if (view) {
            view->attachToTarget();
            view->setFrameSize({96, 64});
        }
        return view;
    }

    // The parent's pixel at (x, y) as 0xRRGGBB: what the screen shows there.
    unsigned long ParentPixel(int x, int y)
    {
        XSync(m_pDisplay, False);
        XImage* image = XGetImage(m_pDisplay, m_Parent, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return ~0ul;
        const unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
        return pixel;
    }

    static void DrawColour(OpenGLView& view, float red, float green, float blue)
    {
        view.openGLContext()->makeCurrentContext();
        glViewport(0, 0, static_cast<int>(view.frameSize().width), static_cast<int>(view.frameSize().height));
        glClearColor(red, green, blue, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glFlush();
        view.openGLContext()->flushBuffer();
    }

    CXvfb m_Xvfb;
    Display* m_pDisplay = nullptr;
    Window m_Parent = 0;
};

} // namespace

TEST_F(GLXView, PresentedFrameShowsInTheTargetWindow)
{
    std::unique_ptr<OpenGLView> view = MakeView(m_Parent);
    ASSERT_TRUE(view);
    const int one = 1;
    view->openGLContext()->makeCurrentContext();
    view->openGLContext()->setValues(&one, OpenGLCPSwapInterval); // no extension on Xvfb: nothing
    DrawColour(*view, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(ParentPixel(0, 0), 0xff00fful);
    EXPECT_EQ(ParentPixel(95, 63), 0xff00fful);

    // One child covering the target, listening to nothing: input stays with the host.
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(m_pDisplay, m_Parent, &root, &parent, &children, &count);
    ASSERT_EQ(count, 1u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(m_pDisplay, children[0], &attributes);
    XFree(children);
    EXPECT_EQ(attributes.your_event_mask, 0);
    EXPECT_EQ(attributes.width, 96);

    view->removeFromSuperview();
    XQueryTree(m_pDisplay, m_Parent, &root, &parent, &children, &count);
    XFree(children);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(g_nXErrors, 0);
}

TEST_F(GLXView, ZeroSizeAndHidingUncoverTheTarget)
{
    std::unique_ptr<OpenGLView> view = MakeView(m_Parent);
    ASSERT_TRUE(view);
    view->setFrameSize({0, 0});
    DrawColour(*view, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(ParentPixel(0, 0), 0ul); // where a 1 x 1 window would still show

    view->setFrameSize({48, 32});
    DrawColour(*view, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(ParentPixel(10, 10), 0x0000fful);
    EXPECT_EQ(ParentPixel(60, 40), 0ul);

    view->setHidden(true);
    EXPECT_EQ(ParentPixel(10, 10), 0ul);
    view->setHidden(false);
    DrawColour(*view, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(ParentPixel(10, 10), 0xff0000ul);
    EXPECT_EQ(g_nXErrors, 0);
}

TEST_F(GLXView, MissingOrVanishedTargetWindowNeverAborts)
{
    EXPECT_EQ(MakeView(m_Parent + 0x100000), nullptr);
    EXPECT_GT(g_nXErrors, 0);

    std::unique_ptr<OpenGLView> view = MakeView(m_Parent);
    ASSERT_TRUE(view);
    XDestroyWindow(m_pDisplay, m_Parent);
    XSync(m_pDisplay, False);
    DrawColour(*view, 1.0f, 1.0f, 1.0f);
    view->setFrameSize({50, 50});
    view.reset();
    XWindowAttributes attributes{};
    EXPECT_TRUE(XGetWindowAttributes(m_pDisplay, DefaultRootWindow(m_pDisplay), &attributes)); // still connected
}
