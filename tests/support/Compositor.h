// A private headless Wayland compositor for one test, never one of the
// machine's: sway (run as nobody, which it needs: it refuses root), weston,
// mutter or KWin (as we are), each with its own runtime folder, stopped with
// all it started when the object goes. Start returns once a client sees an output,
// or false (Missing() tells whether the program is not installed at all).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

enum class ECompositor
{
    Sway, // wlroots: layer shell, screen copies (grim), virtual keyboards (wtype)
    // sway whose outputs are windows of another (headless) sway: they come
    // with create_output and go when Outer() closes their window, which
    // headless outputs cannot (they can be neither disabled nor turned off)
    NestedSway,
    Weston, // xdg-shell only
    Mutter, // GNOME's: xdg-shell only
    // KDE Plasma's: layer shell, ext-idle-notify, fractional scale; driven
    // through CKWinControl (screenshots, fake input, output settings)
    KWin,
};

class CCompositor
{
public:
    CCompositor() = default;
    ~CCompositor(); // Stop
    CCompositor(const CCompositor&) = delete;
    CCompositor& operator=(const CCompositor&) = delete;

    // sway's configuration lines (outputs); headless outputs for sway and
    // KWin (1280x720 each, side by side).
    bool Start(ECompositor kind, const std::string& swayConfig = "", int outputs = 1);
    void Stop(); // SIGTERM to it and its children; safe to repeat
    void Kill(); // SIGKILL: gone at once, as in a crash
    bool Missing() const { return m_bMissing; }

    const std::string& RuntimeDir() const { return m_RuntimeDir; }
    const CCompositor& Outer() const { return *m_pOuter; } // NestedSway only
    const std::string& Socket() const { return m_Socket; } // absolute path, for WAYLAND_DISPLAY
    // Mutter and KWin: the address of its own session bus (mutter's idle
    // monitor and remote desktop, KWin's screenshots).
    const std::string& SessionBus() const { return m_SessionBus; }

    // Runs a client program (swaymsg, grim, wtype) on this compositor and
    // returns its exit status; its stdout in *out when given.
    int Run(const std::vector<std::string>& argv, std::string* out = nullptr) const;

    // In a forked child about to exec a client: this compositor's
    // environment (with mutter, its session bus), and no X display.
    void SetClientEnvironment() const;

private:
    bool _WaitForOutput();

    std::unique_ptr<CCompositor> m_pOuter;
    pid_t m_Pid = -1;
    bool m_bMissing = false;
    std::string m_RuntimeDir;
    std::string m_Socket;
    std::string m_SwaySock;
    std::string m_SessionBus;
};
