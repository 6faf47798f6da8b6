// ScreenSaverView: the base class our host drives, one instance per screen.
// A subclass overrides the lifecycle operations and calls the base versions
// where its order of steps says so. The view covers the native window of its
// target (an X window, or nothing when headless); subviews added with
// addSubview are placed at the view's origin and follow nothing by
// themselves: the subclass sizes them in its setFrameSize.
#pragma once

#include "platform/Geometry.h"
#include "platform/SaverModule.h"

class OpenGLView;

class ScreenSaverView
{
public:
    explicit ScreenSaverView(const SSaverTarget& target);
    virtual ~ScreenSaverView();
    ScreenSaverView(const ScreenSaverView&) = delete;
    ScreenSaverView& operator=(const ScreenSaverView&) = delete;

    // The designated initialiser; false stands for nil (the caller deletes the
    // object). The base records frame and preview flag and cannot fail.
    virtual bool initWithFrame(const SRect& frame, bool isPreview);

    virtual void startAnimation(); // base: marks the view animating
    virtual void stopAnimation(); // base: marks it stopped
    virtual void animateOneFrame(); // base: nothing
    virtual void setFrameSize(const SSize& size); // base: records the size
    virtual void drawRect(const SRect& rect); // base: nothing

    bool isPreview() const { return m_bPreview; }
    bool isAnimating() const { return m_bAnimating; }
    SRect frame() const { return m_Frame; }
    const SSaverTarget& target() const { return m_Target; }

    void setAnimationTimeInterval(double seconds);
    double animationTimeInterval() const { return m_dAnimationTimeInterval; }

    // Places glView over this view's target (a child window of it, or nothing
    // headless). The view does not own it; the subclass does.
    void addSubview(OpenGLView* glView);

    static bool performGammaFade() { return true; }
    virtual bool hasConfigureSheet() const { return false; }

private:
    SSaverTarget m_Target;
    SRect m_Frame;
    bool m_bPreview = false;
    bool m_bAnimating = false;
    double m_dAnimationTimeInterval = 1.0 / 30.0;
};
