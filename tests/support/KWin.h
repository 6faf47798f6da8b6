// What a test does to a running KWin (CCompositor with ECompositor::KWin) as
// a user or KDE's settings would: screenshots through its ScreenShot2 D-Bus
// interface, a pointer and keyboard through org_kde_kwin_fake_input (one
// device for the object's life, as a plugged-in mouse: KWin removes a fake
// device whose client leaves), and output scale and enablement through
// kde_output_management_v2. Ok() is false when any of that is not offered.
#pragma once

#include "tests/support/Compositor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One output's picture at its native resolution; empty when it failed.
struct SKWinShot
{
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, rows top to bottom

    size_t Colours() const; // different colours on a grid of samples
    // Pixels of the rectangle whose every channel is over 160 (white text, not the scene's colours).
    long WhiteIn(int x, int y, int width, int height) const;
};

class CKWinControl
{
public:
    explicit CKWinControl(const CCompositor& kwin);
    ~CKWinControl();
    CKWinControl(const CKWinControl&) = delete;
    CKWinControl& operator=(const CKWinControl&) = delete;

    bool Ok() const;
    std::vector<std::string> Outputs() const; // "Virtual-0", ... in the order KWin lists them

    SKWinShot Screenshot(const std::string& output) const;

    void MovePointer(double x, double y); // absolute, in the layout's logical pixels
    void Click(); // the left button, pressed and released
    void Key(uint32_t evdevCode); // pressed and released (KEY_A is 30)

    // Applied when true; false when KWin refused or did not answer.
    bool SetScale(const std::string& output, double scale);
    bool SetEnabled(const std::string& output, bool enabled);
    bool SetPosition(const std::string& output, int x, int y);

    struct SState; // the connection and its objects

private:
    std::unique_ptr<SState> m_pState;
    std::string m_SessionBus;
};
