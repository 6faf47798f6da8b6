// CRenderScalePolicy: the render scale `--render-scale auto` picks, from the
// times frames took and the clock they ended at; no clock or GL of its own,
// so it is driven the same way by the loop and by a test.
// It starts at 1. Frames are judged in spans of Span seconds: when the
// median frame time of a span misses the frame interval, the scale steps
// down through Steps to the largest one expected to fit (frame time taken to
// follow the pixel count); when it leaves clear headroom, so that even the
// next larger scale should fit well within the interval, it steps up one. It
// never changes within Span seconds of its last change, so the picture
// does not pump.
#pragma once

#include <vector>

class CRenderScalePolicy
{
public:
    static constexpr double Steps[] = {1.0, 0.85, 0.7, 0.6, 0.5};
    static constexpr double Span = 2.0; // seconds of frames judged together, and the least time between changes

    explicit CRenderScalePolicy(double interval); // seconds between frames (1/30 unless the run asks otherwise)

    // One frame drawn at Scale(), which took seconds and ended at now
    // (seconds on any steady clock). True when it made the scale change.
    bool Add(double now, double seconds);
    double Scale() const { return Steps[m_nStep]; }
    double Cause() const { return m_dCause; } // the median frame time (seconds) behind the last change; 0: none yet

private:
    double m_dInterval;
    int m_nStep = 0;
    double m_dSpanStart = -1.0; // negative: no frame yet
    double m_dLastChange = -1.0;
    double m_dCause = 0.0;
    std::vector<double> m_Times; // frame times of the span so far
};
