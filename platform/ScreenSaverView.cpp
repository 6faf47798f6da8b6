#include "platform/ScreenSaverView.h"

#include "platform/OpenGLView.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double MinRenderScale = 0.5; // below, bolts and stars break up into blocks
} // namespace

ScreenSaverView::ScreenSaverView(const SSaverTarget& target)
    : m_Target(target)
{}

ScreenSaverView::~ScreenSaverView() = default;

bool ScreenSaverView::initWithFrame(const SRect& frame, bool isPreview)
{
    m_Frame = frame;
    m_bPreview = isPreview;
    return true;
}

void ScreenSaverView::startAnimation()
{
    m_bAnimating = true;
}

void ScreenSaverView::stopAnimation()
{
    m_bAnimating = false;
}

void ScreenSaverView::animateOneFrame()
{}

void ScreenSaverView::setFrameSize(const SSize& size)
{
    m_Frame.width = size.width;
    m_Frame.height = size.height;
}

void ScreenSaverView::drawRect(const SRect&)
{}

void ScreenSaverView::setWindowSize(const SSize& size)
{
    m_Window = size;
    m_bWindowGiven = true;
    _SizeFrame();
}

bool ScreenSaverView::setRenderScale(double scale, std::string& why)
{
    if (!(scale >= MinRenderScale && scale <= 1.0)) {
        why = "a render scale must lie between 0.5 and 1";
        return false;
    }
    if (scale < 1.0 && (!m_pSubview || !m_pSubview->canScaleFrames(why)))
        return false;
    m_dRenderScale = scale;
    if (m_bWindowGiven)
        _SizeFrame();
    return true;
}

// Whole pixels, at least one of any side that has one.
void ScreenSaverView::_SizeFrame()
{
    auto side = [&](double window) {
        if (!(window >= 1.0) || m_dRenderScale >= 1.0)
            return window;
        return std::max(1.0, std::floor(window * m_dRenderScale + 0.5));
    };
    if (m_pSubview)
        m_pSubview->setShownSize(m_Window);
    setFrameSize(SSize{side(m_Window.width), side(m_Window.height)});
}

void ScreenSaverView::setAnimationTimeInterval(double seconds)
{
    // The host's timer runs at this period: zero, negative or NaN would make
    // it spin, so such a value leaves the interval as it was.
    if (std::isfinite(seconds) && seconds > 0.0)
        m_dAnimationTimeInterval = seconds;
}

void ScreenSaverView::addSubview(OpenGLView* glView)
{
    m_pSubview = glView;
    if (glView)
        glView->attachToTarget();
}
