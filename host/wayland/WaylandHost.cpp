#include "host/wayland/WaylandHost.h"

#include "wlr-output-power-management-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
// The layer shell names a parameter "namespace", which C++ keeps for itself.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr char LostLine[] = "veltrix: lost the Wayland compositor\n";

// No scale we could be told makes sense beyond this; a buffer that large
// would not be drawn anyway.
constexpr int MaxScale = 8;

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

} // namespace

struct CWaylandHost::SGlobals
{
    wl_registry* m_pRegistry = nullptr;
    wl_compositor* m_pCompositor = nullptr;
    xdg_wm_base* m_pWmBase = nullptr;
    zwlr_layer_shell_v1* m_pLayerShell = nullptr;
    zxdg_output_manager_v1* m_pOutputManager = nullptr;
    zwlr_output_power_manager_v1* m_pPowerManager = nullptr; // wlroots: whether an output is off
    wl_seat* m_pSeat = nullptr;
    wl_keyboard* m_pKeyboard = nullptr;
    wl_pointer* m_pPointer = nullptr;
    xkb_context* m_pXkb = nullptr;
    xkb_keymap* m_pKeymap = nullptr;
    xkb_state* m_pKeyState = nullptr;
};

struct CWaylandHost::SOutput
{
    CWaylandHost* m_pHost = nullptr;
    uint32_t m_nGlobal = 0; // the registry's name of it
    wl_output* m_pOutput = nullptr;
    zxdg_output_v1* m_pXdgOutput = nullptr;
    zwlr_output_power_v1* m_pPower = nullptr;
    bool m_bPoweredOff = false; // its frame callbacks may still come, but nobody sees it
    std::string m_Name; // as the compositor names it: "HEADLESS-1", "DP-2"
    std::string m_Model; // make and model, for compositors that give no name
    int m_nX = 0, m_nY = 0; // logical position in the layout
    int m_nWidth = 0, m_nHeight = 0; // logical size; 0 until known
    int m_nModeWidth = 0, m_nModeHeight = 0; // pixels
    int m_nScale = 1;
    bool m_bLogical = false; // position and size came from xdg-output
    bool m_bGone = false;
    bool m_bRefused = false; // the compositor closed our surface on it: none again

    int LogicalWidth() const { return m_bLogical ? m_nWidth : m_nModeWidth / m_nScale; }
    int LogicalHeight() const { return m_bLogical ? m_nHeight : m_nModeHeight / m_nScale; }
};

struct CWaylandHost::SScreen
{
    CWaylandHost* m_pHost = nullptr;
    SOutput* m_pOutput = nullptr; // null: the window mode's window
    wl_surface* m_pSurface = nullptr;
    zwlr_layer_surface_v1* m_pLayer = nullptr;
    xdg_surface* m_pXdgSurface = nullptr;
    xdg_toplevel* m_pToplevel = nullptr;
    wl_callback* m_pFrame = nullptr; // the callback of the last frame, until it comes
    std::vector<wl_output*> m_Entered; // outputs the window is on
    SSaverView* m_pView = nullptr;
    int m_nWidth = 0, m_nHeight = 0; // logical, as configured
    int m_nPendingWidth = 0, m_nPendingHeight = 0; // the toplevel's, until its surface configure
    int m_nScale = 1; // the buffer scale of the view's size
    int m_nCommittedScale = 1; // what wl_surface_set_buffer_scale was last given
    bool m_bConfigured = false;
    bool m_bClosed = false; // by the compositor, or of no use (configured 0 x 0)
    bool m_bMain = false;

    int BufferWidth() const { return m_nWidth * m_nScale; }
    int BufferHeight() const { return m_nHeight * m_nScale; }
};

namespace {

using SOutput = CWaylandHost::SOutput;
using SScreen = CWaylandHost::SScreen;

// ---- outputs

void OnOutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                      int32_t)
{
    auto* o = static_cast<SOutput*>(data);
    if (!o->m_bLogical) {
        o->m_nX = x;
        o->m_nY = y;
    }
}

void OnOutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t)
{
    auto* o = static_cast<SOutput*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->m_nModeWidth = std::max(width, 0);
        o->m_nModeHeight = std::max(height, 0);
    }
}

void OnOutputDone(void*, wl_output*)
{}

void OnOutputScale(void* data, wl_output*, int32_t factor)
{
    static_cast<SOutput*>(data)->m_nScale = std::clamp(factor, 1, MaxScale);
}

void OnOutputName(void* data, wl_output*, const char* name)
{
    auto* o = static_cast<SOutput*>(data);
    if (o->m_Name.empty() && name)
        o->m_Name = name;
}

void OnOutputDescription(void*, wl_output*, const char*)
{}

const wl_output_listener OutputListener = {OnOutputGeometry, OnOutputMode, OnOutputDone,
                                           OnOutputScale,    OnOutputName, OnOutputDescription};

void OnXdgOutputPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y)
{
    auto* o = static_cast<SOutput*>(data);
    o->m_nX = x;
    o->m_nY = y;
    o->m_bLogical = true;
}

void OnXdgOutputSize(void* data, zxdg_output_v1*, int32_t width, int32_t height)
{
    auto* o = static_cast<SOutput*>(data);
    o->m_nWidth = std::max(width, 0);
    o->m_nHeight = std::max(height, 0);
    o->m_bLogical = true;
}

void OnXdgOutputDone(void*, zxdg_output_v1*)
{}

void OnXdgOutputName(void* data, zxdg_output_v1*, const char* name)
{
    if (name)
        static_cast<SOutput*>(data)->m_Name = name;
}

void OnXdgOutputDescription(void*, zxdg_output_v1*, const char*)
{}

const zxdg_output_v1_listener XdgOutputListener = {OnXdgOutputPosition, OnXdgOutputSize, OnXdgOutputDone,
                                                   OnXdgOutputName, OnXdgOutputDescription};

void OnPowerMode(void* data, zwlr_output_power_v1*, uint32_t mode)
{
    static_cast<SOutput*>(data)->m_bPoweredOff = mode == ZWLR_OUTPUT_POWER_V1_MODE_OFF;
}

void OnPowerFailed(void* data, zwlr_output_power_v1* power)
{
    auto* o = static_cast<SOutput*>(data);
    zwlr_output_power_v1_destroy(power);
    o->m_pPower = nullptr;
    o->m_bPoweredOff = false;
}

const zwlr_output_power_v1_listener PowerListener = {OnPowerMode, OnPowerFailed};

// ---- surfaces

void OnFrameDone(void* data, wl_callback* callback, uint32_t)
{
    auto* s = static_cast<SScreen*>(data);
    if (s->m_pFrame == callback)
        s->m_pFrame = nullptr;
    wl_callback_destroy(callback);
}

const wl_callback_listener FrameListener = {OnFrameDone};

void OnSurfaceEnter(void* data, wl_surface*, wl_output* output)
{
    static_cast<SScreen*>(data)->m_Entered.push_back(output);
}

void OnSurfaceLeave(void* data, wl_surface*, wl_output* output)
{
    auto& entered = static_cast<SScreen*>(data)->m_Entered;
    entered.erase(std::remove(entered.begin(), entered.end(), output), entered.end());
}

const wl_surface_listener SurfaceListener = {OnSurfaceEnter, OnSurfaceLeave};

void OnLayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height)
{
    auto* s = static_cast<SScreen*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    // Anchored to every edge, the compositor must give the output's size:
    // nothing to draw into means a surface of no use.
    if (width == 0 || height == 0) {
        s->m_bClosed = true;
        return;
    }
    s->m_nWidth = static_cast<int>(std::min<uint32_t>(width, 16384));
    s->m_nHeight = static_cast<int>(std::min<uint32_t>(height, 16384));
    s->m_bConfigured = true;
}

void OnLayerClosed(void* data, zwlr_layer_surface_v1*)
{
    static_cast<SScreen*>(data)->m_bClosed = true;
}

const zwlr_layer_surface_v1_listener LayerListener = {OnLayerConfigure, OnLayerClosed};

void OnXdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial)
{
    auto* s = static_cast<SScreen*>(data);
    xdg_surface_ack_configure(surface, serial);
    int width = s->m_nPendingWidth, height = s->m_nPendingHeight;
    if (width <= 0 || height <= 0) {
        // Ours to choose: a window keeps its size, a full screen takes its output's.
        width = s->m_pOutput ? s->m_pOutput->LogicalWidth() : s->m_nWidth;
        height = s->m_pOutput ? s->m_pOutput->LogicalHeight() : s->m_nHeight;
    }
    if (width <= 0 || height <= 0) {
        s->m_bClosed = true;
        return;
    }
    s->m_nWidth = std::min(width, 16384);
    s->m_nHeight = std::min(height, 16384);
    s->m_bConfigured = true;
}

const xdg_surface_listener XdgSurfaceListener = {OnXdgSurfaceConfigure};

void OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*)
{
    auto* s = static_cast<SScreen*>(data);
    s->m_nPendingWidth = width;
    s->m_nPendingHeight = height;
}

void OnToplevelClose(void* data, xdg_toplevel*)
{
    static_cast<SScreen*>(data)->m_bClosed = true;
}

void OnToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t)
{}
void OnToplevelCapabilities(void*, xdg_toplevel*, wl_array*)
{}

const xdg_toplevel_listener ToplevelListener = {OnToplevelConfigure, OnToplevelClose, OnToplevelBounds,
                                                OnToplevelCapabilities};

void OnPing(void*, xdg_wm_base* base, uint32_t serial)
{
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener WmBaseListener = {OnPing};

// ---- input

void OnKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size)
{
    auto* g = static_cast<CWaylandHost::SGlobals*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && g->m_pXkb) {
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            xkb_keymap* keymap = xkb_keymap_new_from_string(g->m_pXkb, static_cast<const char*>(map),
                                                            XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
            munmap(map, size);
            if (keymap) {
                xkb_state_unref(g->m_pKeyState);
                xkb_keymap_unref(g->m_pKeymap);
                g->m_pKeymap = keymap;
                g->m_pKeyState = xkb_state_new(keymap);
            }
        }
    }
    close(fd);
}

void OnKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*)
{}
void OnKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*)
{}

void OnKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state);

void OnModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                 uint32_t group)
{
    auto* g = static_cast<CWaylandHost::SGlobals*>(data);
    if (g->m_pKeyState)
        xkb_state_update_mask(g->m_pKeyState, depressed, latched, locked, 0, 0, group);
}

void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t)
{}

CWaylandHost* g_pKeyHost = nullptr; // the one host whose keyboard listens; the listener's data is the globals

void OnKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state)
{
    if (g_pKeyHost)
        g_pKeyHost->OnKey(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
}

const wl_keyboard_listener KeyboardListener = {OnKeymap, OnKeyboardEnter, OnKeyboardLeave,
                                               OnKey,    OnModifiers,     OnRepeatInfo};

SScreen* ScreenOf(wl_surface* surface)
{
    return surface ? static_cast<SScreen*>(wl_surface_get_user_data(surface)) : nullptr;
}

void OnPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y)
{
    auto* host = static_cast<CWaylandHost*>(data);
    SScreen* screen = ScreenOf(surface);
    if (!screen)
        return;
    host->OnPointer(screen, wl_fixed_to_double(x), wl_fixed_to_double(y), true);
    if (screen->m_pOutput) // full screen: no cursor over our surfaces
        wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
}

void OnPointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*)
{
    static_cast<CWaylandHost*>(data)->OnPointer(nullptr, 0.0, 0.0, true);
}

void OnPointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    static_cast<CWaylandHost*>(data)->OnPointer(nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y), false);
}

void OnPointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    if (state == WL_POINTER_BUTTON_STATE_PRESSED)
        static_cast<CWaylandHost*>(data)->OnButton();
}

void OnPointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t)
{}
void OnPointerFrame(void*, wl_pointer*)
{}
void OnPointerAxisSource(void*, wl_pointer*, uint32_t)
{}
void OnPointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t)
{}
void OnPointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t)
{}
void OnPointerAxisValue120(void*, wl_pointer*, uint32_t, int32_t)
{}

const wl_pointer_listener PointerListener = {
    OnPointerEnter, OnPointerLeave,      OnPointerMotion,   OnPointerButton,       OnPointerAxis,
    OnPointerFrame, OnPointerAxisSource, OnPointerAxisStop, OnPointerAxisDiscrete, OnPointerAxisValue120};

// The seat's devices come and go with its capabilities.

struct SSeatContext
{
    CWaylandHost* m_pHost = nullptr;
    CWaylandHost::SGlobals* m_pGlobals = nullptr;
};

SSeatContext g_Seat;

void OnSeatCapabilities(void*, wl_seat* seat, uint32_t capabilities)
{
    CWaylandHost::SGlobals* g = g_Seat.m_pGlobals;
    if (!g)
        return;
    const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (keyboard && !g->m_pKeyboard) {
        g->m_pKeyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(g->m_pKeyboard, &KeyboardListener, g);
    } else if (!keyboard && g->m_pKeyboard) {
        wl_keyboard_destroy(g->m_pKeyboard);
        g->m_pKeyboard = nullptr;
    }
    if (pointer && !g->m_pPointer) {
        g->m_pPointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(g->m_pPointer, &PointerListener, g_Seat.m_pHost);
    } else if (!pointer && g->m_pPointer) {
        wl_pointer_destroy(g->m_pPointer);
        g->m_pPointer = nullptr;
    }
}

void OnSeatName(void*, wl_seat*, const char*)
{}

const wl_seat_listener SeatListener = {OnSeatCapabilities, OnSeatName};

// ---- registry

struct SRegistryContext
{
    CWaylandHost* m_pHost;
    CWaylandHost::SGlobals* m_pGlobals;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* c = static_cast<SRegistryContext*>(data);
    CWaylandHost::SGlobals* g = c->m_pGlobals;
    const std::string_view which(interface);
    if (which == wl_compositor_interface.name && !g->m_pCompositor) {
        g->m_pCompositor = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (which == xdg_wm_base_interface.name && !g->m_pWmBase) {
        g->m_pWmBase = Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2);
        xdg_wm_base_add_listener(g->m_pWmBase, &WmBaseListener, nullptr);
    } else if (which == zwlr_layer_shell_v1_interface.name && !g->m_pLayerShell) {
        g->m_pLayerShell = Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    } else if (which == zxdg_output_manager_v1_interface.name && !g->m_pOutputManager) {
        g->m_pOutputManager =
            Bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface, version, 3);
    } else if (which == zwlr_output_power_manager_v1_interface.name && !g->m_pPowerManager) {
        g->m_pPowerManager =
            Bind<zwlr_output_power_manager_v1>(registry, name, &zwlr_output_power_manager_v1_interface, version, 1);
    } else if (which == wl_seat_interface.name && !g->m_pSeat) {
        g->m_pSeat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
        wl_seat_add_listener(g->m_pSeat, &SeatListener, nullptr);
    } else if (which == wl_output_interface.name) {
        auto output = std::make_unique<SOutput>();
        output->m_pHost = c->m_pHost;
        output->m_nGlobal = name;
        output->m_pOutput = Bind<wl_output>(registry, name, &wl_output_interface, version, 4);
        wl_output_add_listener(output->m_pOutput, &OutputListener, output.get());
        c->m_pHost->OnOutputAdded(std::move(output));
    }
}

void OnGlobalRemove(void* data, wl_registry*, uint32_t name)
{
    static_cast<SRegistryContext*>(data)->m_pHost->OnGlobalRemoved(name);
}

const wl_registry_listener RegistryListener = {OnGlobal, OnGlobalRemove};

SRegistryContext g_Registry;

} // namespace

wl_display* ConnectWayland()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return nullptr;
    return wl_display_connect(nullptr);
}

void DisconnectWayland(wl_display* display)
{
    wl_display_disconnect(display);
}

CWaylandHost::CWaylandHost(wl_display* display)
    : m_pDisplay(display)
    , m_pGlobals(std::make_unique<SGlobals>())
{}

CWaylandHost::~CWaylandHost()
{
    m_Loop.DestroyViews();
    while (!m_Screens.empty())
        _DestroyScreen(m_Screens.back().get());
#if defined(__SANITIZE_ADDRESS__)
    // As on X: the driver's own allocations would show as leaks from a
    // nameless module once the EGL display is gone.
    __lsan_do_leak_check();
#endif
    // The module's views made the EGL display of this connection; it must
    // not outlive the connection it points at.
    if (auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"))) {
        EGLDisplay egl = getPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, m_pDisplay, nullptr);
        if (egl != EGL_NO_DISPLAY)
            eglTerminate(egl);
    }
    SGlobals* g = m_pGlobals.get();
    for (auto& o : m_Outputs)
        _ReleaseOutput(o.get());
    if (g->m_pKeyboard)
        wl_keyboard_destroy(g->m_pKeyboard);
    if (g->m_pPointer)
        wl_pointer_destroy(g->m_pPointer);
    if (g->m_pSeat)
        wl_seat_destroy(g->m_pSeat);
    if (g->m_pOutputManager)
        zxdg_output_manager_v1_destroy(g->m_pOutputManager);
    if (g->m_pPowerManager)
        zwlr_output_power_manager_v1_destroy(g->m_pPowerManager);
    if (g->m_pLayerShell)
        zwlr_layer_shell_v1_destroy(g->m_pLayerShell);
    if (g->m_pWmBase)
        xdg_wm_base_destroy(g->m_pWmBase);
    if (g->m_pCompositor)
        wl_compositor_destroy(g->m_pCompositor);
    if (g->m_pRegistry)
        wl_registry_destroy(g->m_pRegistry);
    xkb_state_unref(g->m_pKeyState);
    xkb_keymap_unref(g->m_pKeymap);
    xkb_context_unref(g->m_pXkb);
    if (g_pKeyHost == this)
        g_pKeyHost = nullptr;
    g_Seat = {};
    wl_display_disconnect(m_pDisplay);
    RestoreQuitSignals();
}

bool CWaylandHost::Open(std::string& error)
{
    if (!InstallQuitSignals()) {
        error = "cannot set up signal handling";
        return false;
    }
    SGlobals* g = m_pGlobals.get();
    g->m_pXkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    g_pKeyHost = this;
    g_Seat = {this, g};
    g_Registry = {this, g};
    g->m_pRegistry = wl_display_get_registry(m_pDisplay);
    wl_registry_add_listener(g->m_pRegistry, &RegistryListener, &g_Registry);
    // The globals, then what the outputs and the seat say about themselves.
    bool answered = wl_display_roundtrip(m_pDisplay) >= 0;
    for (auto& o : m_Outputs)
        _AttachOutputExtensions(o.get());
    answered = answered && wl_display_roundtrip(m_pDisplay) >= 0;
    if (!answered) {
        error = "lost the Wayland compositor while starting";
        return false;
    }
    if (!g->m_pCompositor || !g->m_pWmBase) {
        error = "the Wayland compositor offers no xdg_wm_base: no windows can be shown";
        return false;
    }
    return true;
}

void CWaylandHost::OnOutputAdded(std::unique_ptr<SOutput> output)
{
    _AttachOutputExtensions(output.get());
    m_Outputs.push_back(std::move(output));
}

// The registry may name an output before the managers that describe it.
void CWaylandHost::_AttachOutputExtensions(SOutput* o)
{
    if (m_pGlobals->m_pOutputManager && !o->m_pXdgOutput) {
        o->m_pXdgOutput = zxdg_output_manager_v1_get_xdg_output(m_pGlobals->m_pOutputManager, o->m_pOutput);
        zxdg_output_v1_add_listener(o->m_pXdgOutput, &XdgOutputListener, o);
    }
    if (m_pGlobals->m_pPowerManager && !o->m_pPower) {
        o->m_pPower = zwlr_output_power_manager_v1_get_output_power(m_pGlobals->m_pPowerManager, o->m_pOutput);
        zwlr_output_power_v1_add_listener(o->m_pPower, &PowerListener, o);
    }
}

void CWaylandHost::OnGlobalRemoved(uint32_t name)
{
    for (auto& o : m_Outputs) {
        if (o->m_nGlobal == name)
            o->m_bGone = true;
    }
}

void CWaylandHost::OnKey(uint32_t key, bool pressed)
{
    if (!pressed)
        return;
    if (m_bAllScreens) {
        m_Loop.Quit(EQuit::Asked);
        return;
    }
    xkb_keysym_t sym = XKB_KEY_NoSymbol;
    if (m_pGlobals->m_pKeyState)
        sym = xkb_state_key_get_one_sym(m_pGlobals->m_pKeyState, key + 8); // evdev to XKB key codes
    else
        sym = key == KEY_ESC ? XKB_KEY_Escape : key == KEY_Q ? XKB_KEY_q : XKB_KEY_NoSymbol;
    if (sym == XKB_KEY_Escape || sym == XKB_KEY_q || sym == XKB_KEY_Q)
        m_Loop.Quit(EQuit::Asked);
}

void CWaylandHost::OnButton()
{
    if (m_bAllScreens)
        m_Loop.Quit(EQuit::Asked);
}

// Positions are the surface's; each surface entered starts a new reference.
void CWaylandHost::OnPointer(SScreen* screen, double x, double y, bool entered)
{
    if (!m_bAllScreens)
        return;
    const int px = static_cast<int>(std::lround(x)), py = static_cast<int>(std::lround(y));
    if (entered) {
        m_bPointerKnown = screen != nullptr;
        m_Pointer.Start(px, py);
        return;
    }
    const double shown = m_Loop.FirstFramesShown();
    if (m_bPointerKnown && m_Pointer.Ends(px, py, shown > 0.0 ? MonotonicSeconds() - shown : -1.0))
        m_Loop.Quit(EQuit::Asked);
}

void CWaylandHost::_ReleaseOutput(SOutput* o)
{
    if (o->m_pPower)
        zwlr_output_power_v1_destroy(o->m_pPower);
    if (o->m_pXdgOutput)
        zxdg_output_v1_destroy(o->m_pXdgOutput);
    if (wl_output_get_version(o->m_pOutput) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(o->m_pOutput);
    else
        wl_output_destroy(o->m_pOutput);
}

// ---- screens

SScreen* CWaylandHost::_MakeScreen(SOutput* output)
{
    SGlobals* g = m_pGlobals.get();
    auto screen = std::make_unique<SScreen>();
    SScreen* s = screen.get();
    s->m_pHost = this;
    s->m_pOutput = output;
    s->m_pSurface = wl_compositor_create_surface(g->m_pCompositor);
    wl_surface_add_listener(s->m_pSurface, &SurfaceListener, s);
    if (output && g->m_pLayerShell) {
        s->m_pLayer = zwlr_layer_shell_v1_get_layer_surface(g->m_pLayerShell, s->m_pSurface, output->m_pOutput,
                                                            ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "veltrix");
        zwlr_layer_surface_v1_add_listener(s->m_pLayer, &LayerListener, s);
        zwlr_layer_surface_v1_set_anchor(s->m_pLayer,
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(s->m_pLayer, 0, 0);
        zwlr_layer_surface_v1_set_exclusive_zone(s->m_pLayer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(s->m_pLayer,
                                                         ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
        s->m_nScale = output->m_nScale;
    } else {
        s->m_pXdgSurface = xdg_wm_base_get_xdg_surface(g->m_pWmBase, s->m_pSurface);
        xdg_surface_add_listener(s->m_pXdgSurface, &XdgSurfaceListener, s);
        s->m_pToplevel = xdg_surface_get_toplevel(s->m_pXdgSurface);
        xdg_toplevel_add_listener(s->m_pToplevel, &ToplevelListener, s);
        xdg_toplevel_set_title(s->m_pToplevel, "Veltrix");
        xdg_toplevel_set_app_id(s->m_pToplevel, "org.veltrix.Veltrix");
        if (output) {
            xdg_toplevel_set_fullscreen(s->m_pToplevel, output->m_pOutput);
            s->m_nScale = output->m_nScale;
        } else {
            s->m_nWidth = m_pOptions->m_nWidth;
            s->m_nHeight = m_pOptions->m_nHeight;
        }
    }
    wl_surface_commit(s->m_pSurface);
    m_Screens.push_back(std::move(screen));
    return s;
}

void CWaylandHost::_DestroyScreen(SScreen* s)
{
    if (s->m_pView) {
        m_Loop.RemoveView(s->m_pView);
        s->m_pView = nullptr;
    }
    if (s->m_pFrame)
        wl_callback_destroy(s->m_pFrame);
    if (s->m_pLayer)
        zwlr_layer_surface_v1_destroy(s->m_pLayer);
    if (s->m_pToplevel)
        xdg_toplevel_destroy(s->m_pToplevel);
    if (s->m_pXdgSurface)
        xdg_surface_destroy(s->m_pXdgSurface);
    wl_surface_destroy(s->m_pSurface);
    m_Screens.erase(std::find_if(m_Screens.begin(), m_Screens.end(), [&](const auto& p) { return p.get() == s; }));
}

// The output at the layout's origin, else the first one with a surface.
SScreen* CWaylandHost::_MainCandidate()
{
    SScreen* first = nullptr;
    for (auto& s : m_Screens) {
        if (!s->m_bConfigured || s->m_bClosed)
            continue;
        if (!s->m_pOutput || (s->m_pOutput->m_nX == 0 && s->m_pOutput->m_nY == 0))
            return s.get();
        if (!first)
            first = s.get();
    }
    return first;
}

namespace {

const char* MusicText(bool main, const SOptions& options)
{
    if (!main)
        return "no music";
    return options.m_bNoSound ? "no music (--no-sound)" : "music";
}

std::string ScreenName(void* owner)
{
    const auto* s = static_cast<const SScreen*>(owner);
    if (!s->m_pOutput)
        return "the window";
    if (!s->m_pOutput->m_Name.empty())
        return s->m_pOutput->m_Name;
    return s->m_pOutput->m_Model.empty() ? "an output" : s->m_pOutput->m_Model;
}

} // namespace

bool CWaylandHost::_AddView(SScreen* s, bool main)
{
    // Frame origins: the main view at (0, 0), the others where their
    // outputs lie from it, never (0, 0) (an output mirroring the main one).
    double x = 0.0, y = 0.0;
    if (!main && s->m_pOutput) {
        const SScreen* mainScreen = nullptr;
        for (auto& other : m_Screens)
            mainScreen = other->m_bMain ? other.get() : mainScreen;
        const SOutput* at = mainScreen && mainScreen->m_pOutput ? mainScreen->m_pOutput : nullptr;
        x = s->m_pOutput->m_nX - (at ? at->m_nX : 0);
        y = s->m_pOutput->m_nY - (at ? at->m_nY : 0);
        if (x == 0.0 && y == 0.0)
            x = 1.0;
    }
    // Its first frames commit the scale and take the frame callback with them.
    wl_surface_set_buffer_scale(s->m_pSurface, s->m_nScale);
    s->m_nCommittedScale = s->m_nScale;
    if (!s->m_pFrame) {
        s->m_pFrame = wl_surface_frame(s->m_pSurface);
        wl_callback_add_listener(s->m_pFrame, &FrameListener, s);
    }
    const SSaverTarget target = {SAVER_TARGET_WAYLAND_SURFACE, m_pDisplay, 0, s->m_pSurface};
    s->m_bMain = main;
    s->m_pView = m_Loop.AddView(*m_pModule, target, x, y, s->BufferWidth(), s->BufferHeight(), false, s);
    if (!s->m_pView) {
        s->m_bMain = false;
        return false;
    }
    if (m_pOptions->m_bVerbose)
        std::fprintf(stderr, "veltrix: view %dx%d at scale %d on %s: %s screen, %s\n", s->BufferWidth(),
                     s->BufferHeight(), s->m_nScale, ScreenName(s).c_str(), main ? "main" : "secondary",
                     MusicText(main, *m_pOptions));
    return true;
}

void CWaylandHost::_ApplySize(SScreen* s)
{
    if (s->m_pOutput)
        s->m_nScale = s->m_pOutput->m_nScale;
    else {
        int scale = 1;
        for (auto& o : m_Outputs) {
            if (std::find(s->m_Entered.begin(), s->m_Entered.end(), o->m_pOutput) != s->m_Entered.end())
                scale = std::max(scale, o->m_nScale);
        }
        s->m_nScale = scale;
    }
    m_Loop.Resize(s->m_pView, s->BufferWidth(), s->BufferHeight());
}

// Brings the views in line with what the compositor said: surfaces for new
// outputs, no views on surfaces or outputs that went, one main view, and
// every view at its surface's size.
void CWaylandHost::_Reconcile()
{
    bool changed = true;
    while (changed) {
        changed = false;
        for (auto& s : m_Screens) {
            if (s->m_bClosed || (s->m_pOutput && s->m_pOutput->m_bGone)) {
                if (!m_bAllScreens) { // the window closed: the run is over
                    m_Loop.Quit(EQuit::Asked);
                    s->m_bClosed = false;
                    continue;
                }
                if (s->m_pOutput)
                    s->m_pOutput->m_bRefused = true;
                _DestroyScreen(s.get());
                changed = true;
                break;
            }
        }
    }
    for (auto it = m_Outputs.begin(); it != m_Outputs.end();) {
        if ((*it)->m_bGone) {
            _ReleaseOutput(it->get());
            it = m_Outputs.erase(it);
        } else {
            ++it;
        }
    }
    if (m_bAllScreens) {
        for (auto& o : m_Outputs) {
            const bool covered =
                std::any_of(m_Screens.begin(), m_Screens.end(), [&](const auto& s) { return s->m_pOutput == o.get(); });
            // An output of no size has nothing to show on; its surface waits for a mode.
            if (!covered && !o->m_bRefused && o->LogicalWidth() > 0 && o->LogicalHeight() > 0)
                _MakeScreen(o.get());
        }
    }
    const bool haveMain =
        std::any_of(m_Screens.begin(), m_Screens.end(), [](const auto& s) { return s->m_bMain && s->m_pView; });
    if (!haveMain) {
        if (SScreen* next = _MainCandidate()) {
            if (next->m_pView) { // made again as the main one: the camera and the music go on there
                m_Loop.RemoveView(next->m_pView);
                next->m_pView = nullptr;
            }
            if (!_AddView(next, true))
                next->m_bClosed = true;
        }
    }
    for (auto& s : m_Screens) {
        if (!s->m_bConfigured || s->m_bClosed)
            continue;
        if (!s->m_pView) {
            if (!_AddView(s.get(), false))
                s->m_bClosed = true;
        } else {
            _ApplySize(s.get());
        }
    }
}

// ---- the loop's side

[[noreturn]] void CWaylandHost::_Lost()
{
    LeaveLostServer(LostLine);
}

int CWaylandHost::ConnectionFd()
{
    return wl_display_get_fd(m_pDisplay);
}

void CWaylandHost::BeforeWait()
{
    if (wl_display_dispatch_pending(m_pDisplay) < 0)
        _Lost();
    _Reconcile();
    if (m_Loop.QuitReason() != EQuit::Running)
        return;
    while (wl_display_prepare_read(m_pDisplay) != 0) {
        if (wl_display_dispatch_pending(m_pDisplay) < 0)
            _Lost();
    }
    m_bReadPrepared = true;
    if (wl_display_flush(m_pDisplay) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(m_pDisplay);
        _Lost();
    }
}

void CWaylandHost::AfterWait(bool readable)
{
    if (!m_bReadPrepared)
        return;
    m_bReadPrepared = false;
    if (readable) {
        if (wl_display_read_events(m_pDisplay) < 0)
            _Lost();
    } else {
        wl_display_cancel_read(m_pDisplay);
    }
    if (wl_display_dispatch_pending(m_pDisplay) < 0)
        _Lost();
}

bool CWaylandHost::Seen(void* owner)
{
    const auto* s = static_cast<const SScreen*>(owner);
    return !s->m_pFrame && s->m_bConfigured && !s->m_bClosed && s->m_nWidth > 0 && s->m_nHeight > 0 &&
           !(s->m_pOutput && s->m_pOutput->m_bPoweredOff);
}

void CWaylandHost::BeforeDraw(void* owner)
{
    auto* s = static_cast<SScreen*>(owner);
    if (s->m_nCommittedScale != s->m_nScale) {
        wl_surface_set_buffer_scale(s->m_pSurface, s->m_nScale);
        s->m_nCommittedScale = s->m_nScale;
    }
    s->m_pFrame = wl_surface_frame(s->m_pSurface);
    wl_callback_add_listener(s->m_pFrame, &FrameListener, s);
}

void CWaylandHost::AfterFrames()
{
    if (wl_display_flush(m_pDisplay) < 0 && errno != EAGAIN)
        _Lost();
}

// ---- modes

int CWaylandHost::RunWindow(const SSaverModule& module, const SOptions& options)
{
    m_pModule = &module;
    m_pOptions = &options;
    m_bAllScreens = false;
    _MakeScreen(nullptr);
    if (wl_display_roundtrip(m_pDisplay) < 0)
        _Lost();
    _Reconcile();
    if (m_Screens.empty() || !m_Screens.front()->m_pView) {
        std::fprintf(stderr, "veltrix: %s\n",
                     m_Screens.empty() || m_Screens.front()->m_bConfigured
                         ? "cannot make an OpenGL view on this Wayland compositor (EGL)"
                         : "the Wayland compositor never configured the window");
        return 1;
    }
    m_Loop.Run(*this, options.m_bVerbose, ScreenName);
    return 0;
}

int CWaylandHost::RunAllScreens(const SSaverModule& module, const SOptions& options)
{
    m_pModule = &module;
    m_pOptions = &options;
    m_bAllScreens = true;
    _Reconcile(); // a surface per output
    if (wl_display_roundtrip(m_pDisplay) < 0)
        _Lost();
    _Reconcile(); // a view per configured surface
    if (m_Loop.ViewCount() == 0 && !m_Screens.empty() &&
        std::all_of(m_Screens.begin(), m_Screens.end(), [](const auto& s) { return s->m_bConfigured; })) {
        std::fprintf(stderr, "veltrix: cannot make an OpenGL view on this Wayland compositor (EGL)\n");
        return 1;
    }
    m_Loop.Run(*this, options.m_bVerbose, ScreenName);
    return 0;
}
