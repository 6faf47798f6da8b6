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
    static void SetUpTestSuite()
    {
        s_pXvfb = new CXvfb;
        if (s_pXvfb->Start(320, 240))
            s_pDisplay = XOpenDisplay(s_pXvfb->DisplayName().c_str());
        XSetErrorHandler(CountXError);
    }

    static void TearDownTestSuite()
    {
        if (s_pDisplay)
            XCloseDisplay(s_pDisplay);
        s_pDisplay = nullptr;
        delete s_pXvfb;
        s_pXvfb = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_pDisplay) << "no private Xvfb";
        m_Parent = XCreateSimpleWindow(s_pDisplay, DefaultRootWindow(s_pDisplay), 0, 0, 96, 64, 0, 0,
                                       BlackPixel(s_pDisplay, DefaultScreen(s_pDisplay)));
        XMapWindow(s_pDisplay, m_Parent);
        XSync(s_pDisplay, False);
        g_nXErrors = 0;
    }

    void TearDown() override
    {
        if (s_pDisplay) {
            XDestroyWindow(s_pDisplay, m_Parent);
            XSync(s_pDisplay, False);
        }
    }

    std::unique_ptr<OpenGLView> MakeView(unsigned long window)
    {
        const uint32_t words[] = {12, 16, 5, 1, 51, 1, 0};
        std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(words));
        SSaverTarget target{s_pDisplay, window};
        return std::unique_ptr<OpenGLView>(OpenGLView::initWithFrame(ZeroRect, format.get(), target));
    }

    // The parent's pixel at (x, y) as 0xRRGGBB: what a screen would show.
    unsigned long ParentPixel(int x, int y)
    {
        XSync(s_pDisplay, False);
        XImage* image = XGetImage(s_pDisplay, m_Parent, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return ~0ul;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return pixel & 0xffffff;
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

    static CXvfb* s_pXvfb;
    static Display* s_pDisplay;
    Window m_Parent = 0;
};

CXvfb* GLXView::s_pXvfb = nullptr;
Display* GLXView::s_pDisplay = nullptr;

} // namespace

TEST_F(GLXView, PresentedFrameShowsInTheTargetWindow)
{
    std::unique_ptr<OpenGLView> view = MakeView(m_Parent);
    ASSERT_TRUE(view);
    view->attachToTarget();
    view->setFrameSize({96, 64});
    const int one = 1;
    view->openGLContext()->makeCurrentContext();
    view->openGLContext()->setValues(&one, OpenGLCPSwapInterval);
    DrawColour(*view, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(ParentPixel(0, 0), 0xff00fful);
    EXPECT_EQ(ParentPixel(95, 63), 0xff00fful);

    // One child covering the target, listening to nothing: input stays with the host.
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(s_pDisplay, m_Parent, &root, &parent, &children, &count);
    ASSERT_EQ(count, 1u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(s_pDisplay, children[0], &attributes);
    XFree(children);
    EXPECT_EQ(attributes.your_event_mask, 0);
    EXPECT_EQ(attributes.width, 96);
    EXPECT_EQ(attributes.map_state, IsViewable);

    view->removeFromSuperview();
    XQueryTree(s_pDisplay, m_Parent, &root, &parent, &children, &count);
    XFree(children);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(g_nXErrors, 0);
}

TEST_F(GLXView, ZeroSizeAndHidingUncoverTheTarget)
{
    std::unique_ptr<OpenGLView> view = MakeView(m_Parent);
    ASSERT_TRUE(view);
    view->attachToTarget();
    view->setFrameSize({96, 64});
    DrawColour(*view, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(ParentPixel(10, 10), 0x00ff00ul);

    view->setFrameSize({0, 0});
    DrawColour(*view, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(ParentPixel(0, 0), 0ul);   // where a 1 x 1 window would still show

    view->setFrameSize({48, 32});
    DrawColour(*view, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(ParentPixel(10, 10), 0x0000fful);
    EXPECT_EQ(ParentPixel(60, 40), 0ul);   // outside the view's new size

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
    view->attachToTarget();
    view->setFrameSize({96, 64});
    XDestroyWindow(s_pDisplay, m_Parent);
    XSync(s_pDisplay, False);
    DrawColour(*view, 1.0f, 1.0f, 1.0f);
    view->setFrameSize({50, 50});
    view.reset();
    XSync(s_pDisplay, False);
    m_Parent = XCreateSimpleWindow(s_pDisplay, DefaultRootWindow(s_pDisplay), 0, 0, 8, 8, 0, 0, 0);
}
