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
#pragma once

#include "platform/Geometry.h"
#include "platform/SaverModule.h"

#include <cstdint>
#include <memory>
#include <vector>

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
    explicit OpenGLContext(OpenGLViewBackend* backend)
        : m_pBackend(backend)
    {}

    void makeCurrentContext();
    static void clearCurrentContext();
    void setValues(const int* values, int parameter); // swap interval: silently nothing without the extension
    void update(); // follow the drawable's new size
    void flushBuffer(); // present (a swap; nothing headless)

private:
    OpenGLViewBackend* m_pBackend; // the view's
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
    void setFrameSize(const SSize& size); // the drawable's size; zero is allowed
    SSize frameSize() const { return m_Size; }
    void setHidden(bool hidden);
    bool isHidden() const { return m_bHidden; }
    void attachToTarget(); // called by ScreenSaverView::addSubview
    void removeFromSuperview();

    const OpenGLPixelFormat& pixelFormat() const { return m_Format; }

private:
    OpenGLView(std::unique_ptr<OpenGLViewBackend> backend, const OpenGLPixelFormat& format);

    std::unique_ptr<OpenGLViewBackend> m_pBackend;
    OpenGLContext m_Context;
    OpenGLPixelFormat m_Format;
    SSize m_Size;
    bool m_bHidden = false;
};
