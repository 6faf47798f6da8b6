// ScreenSaverView: the base class our host drives, one instance per screen.
// A subclass overrides the lifecycle operations and calls the base versions
// where its order of steps says so. The view covers the native window of its
// target (an X window, or nothing when headless); subviews added with
// addSubview are placed at the view's origin and follow nothing by
// themselves: the subclass sizes them in its setFrameSize.
// The host gives the window's size (setWindowSize) and may ask for frames
// drawn at a share of it (setRenderScale); the subclass's setFrameSize then
// gets the smaller size, as if its window were that small, and the OpenGL
// subview shows its frames over the whole window.
#pragma once

#include "platform/Geometry.h"
#include "platform/SaverModule.h"

#include <string>

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

    // The size the view is shown at (pixels): its subview's drawable takes it
    // and setFrameSize gets it times the render scale.
    void setWindowSize(const SSize& size);
    // Frames at scale (0.5 to 1) times the window's size, scaled up when
    // shown; 1 draws straight into the window. False when the driver cannot
    // (why says what it lacks) or the scale is out of range: the view
    // stays as it was.
    bool setRenderScale(double scale, std::string& why);
    double renderScale() const { return m_dRenderScale; } // 1 until changed
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
    void _SizeFrame();

    SSaverTarget m_Target;
    OpenGLView* m_pSubview = nullptr; // the subclass's, from addSubview
    SSize m_Window;
    bool m_bWindowGiven = false;
    double m_dRenderScale = 1.0;
    SRect m_Frame;
    bool m_bPreview = false;
    bool m_bAnimating = false;
    double m_dAnimationTimeInterval = 1.0 / 30.0;
};
