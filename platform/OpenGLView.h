// The OpenGL side of our platform layer: a pixel format from zero-terminated
// attribute words, an OpenGL view (a child X window with a GLX context, an
// EGL window on a Wayland surface, or an EGL context drawing into an
// offscreen framebuffer when the target is headless) and its context.
//
// Attribute words understood (the values a saver asks for; anything else
// makes initWithAttributes fail): 1 all renderers, 5 double buffer,
// 8 colour size + value, 12 depth size + value, 51 minimum policy, 0 end.
// Failures: initWithAttributes and initWithFrame return null (caller owns
// what they return); context operations on a lost drawable do nothing.
// Headless, the view's context keeps its framebuffer bound for drawing and
// reading whenever it is current: after a frame, glReadPixels(0, 0, width,
// height) reads it (rows bottom-up), width and height being the frame size
// truncated toward zero. A zero size keeps a 1 x 1 framebuffer.
// A view can draw its frames smaller than it is shown: given a shown size
// larger than its frame size, its context draws into a framebuffer of the
// frame's size and flushBuffer blits that over the whole drawable (of the
// shown size). Headless, the read-back after flushBuffer is then of the
// shown size.
#pragma once

#include "platform/Geometry.h"
#include "platform/SaverModule.h"

#include "platform/ScaledFrame.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class OpenGLView;
class OpenGLViewBackend;

class OpenGLPixelFormat
{
public:
    static OpenGLPixelFormat* initWithAttributes(const uint32_t* attributes); // caller owns; null: unknown word

    const std::vector<uint32_t>& attributes() const { return m_Attributes; } // as given, with the final 0
    int depthSize() const { return m_nDepthSize; } // bits, at least
    int colorSize() const { return m_nColorSize; } // bits per pixel, at least; 0: any
    bool doubleBuffer() const { return m_bDoubleBuffer; }

private:
    std::vector<uint32_t> m_Attributes;
    int m_nDepthSize = 0;
    int m_nColorSize = 0;
    bool m_bDoubleBuffer = false;
};

// Parameters of OpenGLContext::setValues, numbered as the host platform's are.
enum EOpenGLContextParameter
{
    OpenGLCPSwapInterval = 222,
};

class OpenGLContext
{
public:
    explicit OpenGLContext(OpenGLView* view)
        : m_pView(view)
    {}

    void makeCurrentContext();
    static void clearCurrentContext();
    void setValues(const int* values, int parameter); // swap interval: silently nothing without the extension
    void update(); // follow the drawable's new size
    void flushBuffer(); // present (a swap; nothing headless)

private:
    OpenGLView* m_pView; // whose context this is
};

class OpenGLView
{
public:
    // Chooses a configuration for the format on the target and makes the
    // context. Null when nothing matches or the context cannot be made.
    static OpenGLView* initWithFrame(const SRect& frame, const OpenGLPixelFormat* format, const SSaverTarget& target);
    ~OpenGLView();
    OpenGLView(const OpenGLView&) = delete;
    OpenGLView& operator=(const OpenGLView&) = delete;

    OpenGLContext* openGLContext() { return &m_Context; }
    void setFrameSize(const SSize& size); // the size frames are drawn at; zero is allowed
    SSize frameSize() const { return m_Size; }
    // The drawable's size, which frames are shown at; until given, the frame
    // size. Frames smaller than it are scaled up when presented.
    void setShownSize(const SSize& size);
    // Whether frames smaller than the drawable can be shown: the driver has
    // framebuffer objects and blits. Makes the context current; false says
    // why. Without it the view draws its frames at the shown size.
    bool canScaleFrames(std::string& why);
    void setHidden(bool hidden);
    bool isHidden() const { return m_bHidden; }
    void attachToTarget(); // called by ScreenSaverView::addSubview
    void removeFromSuperview();

    const OpenGLPixelFormat& pixelFormat() const { return m_Format; }

private:
    friend class OpenGLContext;
    OpenGLView(std::unique_ptr<OpenGLViewBackend> backend, const OpenGLPixelFormat& format);
    bool _Scaled() const; // frames are drawn smaller than shown
    void _ResizeDrawable();
    void _MakeCurrent();
    void _Present();

    std::unique_ptr<OpenGLViewBackend> m_pBackend;
    OpenGLContext m_Context;
    OpenGLPixelFormat m_Format;
    SSize m_Size;
    SSize m_Shown;
    bool m_bShownGiven = false;
    bool m_bHidden = false;
    CScaledFrame m_Scaled;
    bool m_bScaleChecked = false;
    bool m_bCanScale = false;
    std::string m_ScaleWhy; // what the driver lacks, once checked
};
