// CFrameRateOverlay: "30.0 fps  12.5 ms" in the top-left corner of every
// frame, drawn over the finished picture (so it stays readable through the
// black fade) with CGLFont. The rate counts frames between the starts of
// frames; the time is what a frame took from its start until it was
// presented. Both are averaged over half a second, so the text changes
// slowly enough to read and is formatted twice a second only.
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
    void Draw(double width, double height); // viewport size in pixels
    void FramePresented();

    const char* Text() const { return m_Text; }

    // The text for a rate (frames per second) and a frame time (seconds).
    static void Format(char (&text)[32], double rate, double frameTime);

private:
    using Clock = std::chrono::steady_clock;

    CGLFont m_Font;
    bool m_bLoaded = false;
    Clock::time_point m_Began{};
    Clock::time_point m_PeriodStart{};
    int m_nFrames = 0; // frames begun since the period started
    double m_dWorkSeconds = 0.0; // their begin-to-present times
    int m_nPresented = 0;
    char m_Text[32] = "";
};
