// The Wayland host of the saver module: one connection to the compositor, an
// object per output (COutput) with the surface of ours on it (CWlSurface),
// and the loop (CHostLoop) that animates a view per configured surface.
//
// Window mode: one decorated xdg_toplevel "Veltrix" (app id
// org.veltrix.Veltrix) at the size asked for unless the compositor's
// configure says otherwise; Escape, q or the compositor's close quit.
// All screens: a surface per output, an overlay layer surface anchored to
// every edge where zwlr_layer_shell_v1 is offered, else an xdg_toplevel made
// full screen on that output; the pointer is hidden; a key, a button or
// pointer motion that CPointerWatch finds long enough quits.
// Background: a background-layer surface per output that takes no input,
// until SIGTERM or SIGINT; it needs the layer shell and nothing else (no
// seat, no xdg_wm_base).
//
// Exactly one view is the main screen (MainScreenIndex); when it goes,
// another is made again as the main one, and the others' frame origins
// follow the layout whenever it changes. Outputs that come get a surface
// once their description is whole; outputs that go, and surfaces the
// compositor closes, take their views with them; a closed surface is made
// again at its output's next change. A view draws only when the compositor's
// frame callback for its last frame has come. A run whose every view failed
// to start says so in one line and exits 1; a compositor with no outputs is
// waited on. Losing the compositor prints "veltrix: lost the Wayland
// compositor" and exits 1 at once.
#pragma once

#include "host/app/Options.h"
#include "host/loop/HostLoop.h"
#include "host/wayland/Output.h"
#include "platform/SaverModule.h"

#include <memory>
#include <string>
#include <vector>

struct wl_display;

// The connection WAYLAND_SOCKET hands over or WAYLAND_DISPLAY names, or null
// when neither is set or nothing answers (the caller owns it; a host
// disconnects the one it takes).
wl_display* ConnectWayland();
void DisconnectWayland(wl_display* display); // for a connection no host took

enum class EWaylandMode
{
    Window,
    AllScreens,
    Background,
};

class CWaylandHost final : public IHostWindowSystem, public IWlEvents, public IWlSurfaceOwner, public IWlOutputOwner
{
public:
    explicit CWaylandHost(wl_display* display); // takes the connection
    ~CWaylandHost() override; // views first, then surfaces, outputs, globals and the connection

    // Binds the globals and learns the outputs; false with a one-line reason
    // (such as a compositor without what the mode needs).
    bool Open(EWaylandMode mode, std::string& error);

    // The exit status, as the X modes give it.
    int Run(const SSaverModule& module, const SOptions& options);

    // IHostWindowSystem
    int ConnectionFd() override;
    void BeforeWait() override;
    void AfterWait(bool readable) override;
    bool Seen(void* owner) override;
    void BeforeDraw(void* owner) override;
    void AfterFrames() override;

private:
    // IWlEvents
    void OnOutputGlobal(uint32_t name, wl_output* output) override;
    void OnGlobalRemove(uint32_t name) override;
    void OnKey(bool escapeOrQ) override;
    void OnButton() override;
    void OnPointerEnter(CWlSurface* surface, double x, double y) override;
    void OnPointerLeave() override;
    void OnPointerMotion(double x, double y) override;
    // IWlSurfaceOwner
    void OnSurfaceChanged(CWlSurface* surface) override;
    void OnSurfaceClosed(CWlSurface* surface) override;
    int OutputScale(wl_output* output) const override;
    // IWlOutputOwner
    void OnOutputDone(COutput* output) override;
    void OnOutputChanging(COutput* output) override;

    void _Cover(COutput* output); // a surface of ours on it
    void _DropSurface(CWlSurface* surface); // its view, then it
    std::vector<CWlSurface*> _Surfaces() const;
    COutput* _OutputOf(const CWlSurface* surface) const;
    bool _WaitForConfigures(); // false: a quit signal came
    void _PlaceViews();
    bool _AddView(CWlSurface* surface, bool main, double x, double y);
    void _Dispatch(); // what came in, on both queues
    void _Flush();
    [[noreturn]] void _Lost();

    wl_display* m_pDisplay;
    wl_event_queue* m_pFrameQueue; // frame callbacks, dispatched just before each view's turn
    SWlGlobals m_Globals;
    std::unique_ptr<CWlInput> m_pInput;
    std::vector<std::unique_ptr<COutput>> m_Outputs;
    std::unique_ptr<CWlSurface> m_pWindow;
    // Surfaces dropped while their events were being dispatched, kept until
    // the queue holds none of those events (see _Dispatch).
    std::vector<std::unique_ptr<CWlSurface>> m_Dropped;
    CHostLoop m_Loop;
    EWaylandMode m_Mode = EWaylandMode::Window;
    const SSaverModule* m_pModule = nullptr;
    const SOptions* m_pOptions = nullptr;
    bool m_bCovering = false; // outputs get surfaces as they come
    bool m_bViewsStale = false; // surfaces or the layout changed since the views were placed
    bool m_bReadPrepared = false;
    int m_nStatus = 0;
    CPointerWatch m_Pointer;
    bool m_bPointerKnown = false; // over one of our surfaces
    bool m_bPointerRestart = false; // a size, scale or place changed: the next position is a new start
};
