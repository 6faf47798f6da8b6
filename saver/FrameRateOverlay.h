// CFrameRateOverlay: "30.0 fps  12.5 ms  1.00x" in the top-left corner of every
// frame, drawn over the finished picture (so it stays readable through the
// black fade) with CGLFont. The rate counts frames between the starts of
// frames; the time is what a frame took from its start until it was
// presented. Both are averaged over half a second, so the text changes
// slowly enough to read and is formatted twice a second only. The last
// figure is the render scale the host chose: frames drawn at that share of
// the shown size (the text keeps its size on the screen).
// Load and Unload need the view's context current; until Load succeeds
// every call does nothing.
#pragma once

#include "saver/GLFont.h"

#include <chrono>

class CFrameRateOverlay
{
public:
    bool Load(); // the font texture from the pack
    void Unload();

    void FrameBegan();
    void Draw(double width, double height, double scale = 1.0); // viewport size in pixels; render scale
    void FramePresented();

    const char* Text() const { return m_Text; }

    // The text for a rate (frames per second), a frame time (seconds) and a render scale.
    static void Format(char (&text)[32], double rate, double frameTime, double scale = 1.0);

private:
    using Clock = std::chrono::steady_clock;

    CGLFont m_Font;
    bool m_bLoaded = false;
    Clock::time_point m_Began{};
    Clock::time_point m_PeriodStart{};
    int m_nFrames = 0; // frames begun since the period started
    double m_dWorkSeconds = 0.0; // their begin-to-present times
    int m_nPresented = 0;
    double m_dScale = 1.0; // of the last frame drawn
    char m_Text[32] = "";
};
