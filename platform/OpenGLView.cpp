#include "platform/OpenGLView.h"

#include "platform/OpenGLViewBackend.h"

#include <algorithm>

namespace {

// Attribute words and whether a value word follows each.
enum EPixelFormatAttribute : uint32_t
{
    PFAAllRenderers = 1,
    PFADoubleBuffer = 5,
    PFAColorSize = 8,
    PFADepthSize = 12,
    PFAMinimumPolicy = 51,
};

// A list without its terminator would be read forever; no format needs more.
constexpr size_t MaxAttributeWords = 64;

// X windows and renderbuffers both stop short of this; the view never asks
// for more whatever its frame says.
constexpr double MaxDrawableSide = 16384.0;

int DrawableSide(double side)
{
    if (!(side > 0.0)) // also NaN
        return 0;
    return static_cast<int>(std::min(side, MaxDrawableSide)); // truncation toward zero
}

} // namespace

OpenGLPixelFormat* OpenGLPixelFormat::initWithAttributes(const uint32_t* attributes)
{
    if (!attributes)
        return nullptr;
    OpenGLPixelFormat format;
    size_t i = 0;
    while (attributes[i] != 0) {
        if (i + 2 > MaxAttributeWords)
            return nullptr;
        const uint32_t word = attributes[i++];
        switch (word) {
        case PFAAllRenderers:
        case PFAMinimumPolicy:
            break; // every renderer here is software; a smallest match is always what we choose
        case PFADoubleBuffer:
            format.m_bDoubleBuffer = true;
            break;
        case PFAColorSize:
        case PFADepthSize: {
            // A size of 0 is also where the list ends: reading on would
            // leave the words given to us.
            const uint32_t value = attributes[i];
            if (value > 64)
                return nullptr;
            (word == PFAColorSize ? format.m_nColorSize : format.m_nDepthSize) = static_cast<int>(value);
            if (value != 0)
                ++i;
            break;
        }
        default:
            return nullptr;
        }
    }
    format.m_Attributes.assign(attributes, attributes + i + 1);
    return new OpenGLPixelFormat(format);
}

void OpenGLContext::makeCurrentContext()
{
    m_pView->_MakeCurrent();
}

void OpenGLContext::clearCurrentContext()
{
    ClearCurrentGLXContext(nullptr);
    ClearCurrentEGLContext();
}

void OpenGLContext::setValues(const int* values, int parameter)
{
    if (values && parameter == OpenGLCPSwapInterval)
        m_pView->m_pBackend->setSwapInterval(values[0]);
}

void OpenGLContext::update()
{
    m_pView->m_pBackend->update();
}

void OpenGLContext::flushBuffer()
{
    m_pView->_Present();
}

OpenGLView::OpenGLView(std::unique_ptr<OpenGLViewBackend> backend, const OpenGLPixelFormat& format)
    : m_pBackend(std::move(backend))
    , m_Context(this)
    , m_Format(format)
{}

OpenGLView::~OpenGLView()
{
    removeFromSuperview();
}

OpenGLView* OpenGLView::initWithFrame(const SRect& frame, const OpenGLPixelFormat* format, const SSaverTarget& target)
{
    if (!format)
        return nullptr;
    std::unique_ptr<OpenGLViewBackend> backend;
    switch (target.kind) {
    case SAVER_TARGET_HEADLESS:
        backend = CreateEGLViewBackend(*format);
        break;
    case SAVER_TARGET_X11_WINDOW:
        backend = CreateGLXViewBackend(*format, target);
        break;
    case SAVER_TARGET_WAYLAND_SURFACE:
        backend = CreateWaylandViewBackend(*format, target);
        break;
    default:
        break; // a kind from a newer host: no view rather than a wrong one
    }
    if (!backend)
        return nullptr;
    OpenGLView* view = new OpenGLView(std::move(backend), *format);
    view->setFrameSize(frame.size());
    return view;
}

void OpenGLView::setFrameSize(const SSize& size)
{
    m_Size = size;
    _ResizeDrawable();
}

void OpenGLView::setShownSize(const SSize& size)
{
    m_Shown = size;
    m_bShownGiven = true;
    _ResizeDrawable();
}

bool OpenGLView::canScaleFrames(std::string& why)
{
    if (!m_bScaleChecked && m_pBackend->makeCurrent()) {
        m_bScaleChecked = true;
        m_bCanScale = m_Scaled.Load(
            [](const void* backend, const char* name) {
                return static_cast<const OpenGLViewBackend*>(backend)->procAddress(name);
            },
            m_pBackend.get(), m_ScaleWhy);
    }
    if (!m_bScaleChecked)
        m_ScaleWhy = "the view's context cannot be made current";
    why = m_ScaleWhy;
    return m_bCanScale;
}

bool OpenGLView::_Scaled() const
{
    if (!m_bShownGiven || !m_bCanScale)
        return false;
    const int width = DrawableSide(m_Size.width), height = DrawableSide(m_Size.height);
    return width >= 1 && height >= 1 && (width < DrawableSide(m_Shown.width) || height < DrawableSide(m_Shown.height));
}

void OpenGLView::_ResizeDrawable()
{
    const SSize& drawable = m_bShownGiven ? m_Shown : m_Size;
    m_pBackend->resize(DrawableSide(drawable.width), DrawableSide(drawable.height));
}

void OpenGLView::_MakeCurrent()
{
    if (!m_pBackend->makeCurrent())
        return;
    if (_Scaled()) {
        const double scale = static_cast<double>(DrawableSide(m_Size.width)) / DrawableSide(m_Shown.width);
        if (!m_Scaled.Begin(DrawableSide(m_Size.width), DrawableSide(m_Size.height), m_Format.depthSize(), scale))
            m_Scaled.End(m_pBackend->windowFramebuffer());
    } else if (m_Scaled.Exists()) {
        m_Scaled.End(m_pBackend->windowFramebuffer());
    }
}

void OpenGLView::_Present()
{
    if (_Scaled() && m_Scaled.Exists())
        m_Scaled.Present(m_pBackend->windowFramebuffer(), DrawableSide(m_Shown.width), DrawableSide(m_Shown.height));
    m_pBackend->present();
}

void OpenGLView::setHidden(bool hidden)
{
    m_bHidden = hidden;
    m_pBackend->setHidden(hidden);
}

void OpenGLView::attachToTarget()
{
    m_pBackend->attach();
}

void OpenGLView::removeFromSuperview()
{
    m_pBackend->detach();
}
