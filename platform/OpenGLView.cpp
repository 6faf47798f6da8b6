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
    m_pBackend->makeCurrent();
}

void OpenGLContext::clearCurrentContext()
{
    ClearCurrentGLXContext(nullptr);
    ClearCurrentEGLContext();
}

void OpenGLContext::setValues(const int* values, int parameter)
{
    if (values && parameter == OpenGLCPSwapInterval)
        m_pBackend->setSwapInterval(values[0]);
}

void OpenGLContext::update()
{
    m_pBackend->update();
}

void OpenGLContext::flushBuffer()
{
    m_pBackend->present();
}

OpenGLView::OpenGLView(std::unique_ptr<OpenGLViewBackend> backend, const OpenGLPixelFormat& format)
    : m_pBackend(std::move(backend))
    , m_Context(m_pBackend.get())
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
    m_pBackend->resize(DrawableSide(size.width), DrawableSide(size.height));
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
