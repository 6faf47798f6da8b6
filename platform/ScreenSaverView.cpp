#include "platform/ScreenSaverView.h"

#include "platform/OpenGLView.h"

#include <cmath>

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

void ScreenSaverView::setAnimationTimeInterval(double seconds)
{
    // The host's timer runs at this period: zero, negative or NaN would make
    // it spin, so such a value leaves the interval as it was.
    if (std::isfinite(seconds) && seconds > 0.0)
        m_dAnimationTimeInterval = seconds;
}

void ScreenSaverView::addSubview(OpenGLView* glView)
{
    if (glView)
        glView->attachToTarget();
}
