// The Wayland host of the saver module: one connection to the compositor,
// a view per surface of ours, and the loop (CHostLoop) that animates them.
//
// Window mode: one xdg_toplevel "Veltrix" (app id org.veltrix.Veltrix) at the
// size asked for unless the compositor's configure says otherwise, following
// every configure; Escape, q or the compositor's close quit.
// All screens: a surface per output, an overlay layer surface anchored to
// every edge where zwlr_layer_shell_v1 is offered, else an xdg_toplevel made
// fullscreen on that output. Exactly one view is the main screen (frame
// origin (0, 0)): the output at the origin of the layout, else the first; if
// it goes, another view is made again as the main one. Outputs that come get
// a view, outputs (and surfaces the compositor closes) that go take theirs
// with them. The pointer is hidden; a key, a button or pointer motion that
// CPointerWatch finds long enough quits.
//
// Every view is sized in buffer pixels, its logical size times its output's
// integer scale (wl_surface_set_buffer_scale), and draws only once the
// compositor's frame callback for its previous frame has come, so an output
// that is hidden costs nothing; nor does one that wlroots' power management
// says is off (its frame callbacks go on there). Losing the compositor prints
// "veltrix: lost the Wayland compositor" and exits 1 at once.
#pragma once

#include "host/loop/HostLoop.h"
#include "host/app/Options.h"
#include "platform/SaverModule.h"

#include <memory>
#include <string>
#include <vector>

struct wl_display;

// The connection that WAYLAND_DISPLAY names, or null when it is unset or
// nothing answers there (the caller owns it; the host disconnects it).
wl_display* ConnectWayland();
void DisconnectWayland(wl_display* display); // for a connection no host took

class CWaylandHost final : public IHostWindowSystem
{
public:
    struct SOutput;
    struct SScreen;
    struct SGlobals;

    explicit CWaylandHost(wl_display* display); // takes the connection
    ~CWaylandHost() override; // views first, then the surfaces, then the connection

    // Binds the globals and learns the outputs; false with a one-line reason.
    bool Open(std::string& error);

    // Each returns the exit status as the X modes do.
    int RunWindow(const SSaverModule& module, const SOptions& options);
    int RunAllScreens(const SSaverModule& module, const SOptions& options);

    // IHostWindowSystem
    int ConnectionFd() override;
    void BeforeWait() override;
    void AfterWait(bool readable) override;
    bool Seen(void* owner) override;
    void BeforeDraw(void* owner) override;
    void AfterFrames() override;

    // Called by the listeners.
    void OnKey(uint32_t key, bool pressed);
    void OnButton();
    void OnPointer(SScreen* screen, double x, double y, bool entered);
    void OnOutputAdded(std::unique_ptr<SOutput> output);
    void OnGlobalRemoved(uint32_t name);

private:
    void _AttachOutputExtensions(SOutput* output);
    void _ReleaseOutput(SOutput* output);
    SScreen* _MakeScreen(SOutput* output);
    void _Reconcile();
    void _DestroyScreen(SScreen* screen);
    bool _AddView(SScreen* screen, bool main);
    SScreen* _MainCandidate();
    void _ApplySize(SScreen* screen);
    [[noreturn]] void _Lost();

    wl_display* m_pDisplay;
    std::unique_ptr<SGlobals> m_pGlobals;
    std::vector<std::unique_ptr<SOutput>> m_Outputs;
    std::vector<std::unique_ptr<SScreen>> m_Screens;
    CHostLoop m_Loop;
    const SSaverModule* m_pModule = nullptr;
    const SOptions* m_pOptions = nullptr;
    bool m_bAllScreens = false;
    bool m_bReadPrepared = false;
    CPointerWatch m_Pointer;
    bool m_bPointerKnown = false; // over one of our surfaces
};
