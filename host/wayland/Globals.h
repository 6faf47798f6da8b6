// The compositor's globals a run uses, bound from one table at the lowest of
// the version offered and the version we speak, and the seat's input turned
// into what ends a run. Every object is owned here and released in reverse
// order of binding; listeners reach their object through their data.
#pragma once

#include "host/wayland/Wl.h"

#include <cstdint>

class CWlInput;
class CWlSurface;

// What the globals, the seat and the outputs tell the host.
class IWlEvents
{
public:
    virtual ~IWlEvents() = default;
    virtual void OnOutputGlobal(uint32_t name, wl_output* output) = 0; // the host owns output
    virtual void OnGlobalRemove(uint32_t name) = 0;
    virtual void OnKey(bool escapeOrQ) = 0; // pressed
    virtual void OnButton() = 0; // pressed
    virtual void OnPointerEnter(CWlSurface* surface, double x, double y) = 0; // surface-local, logical
    virtual void OnPointerLeave() = 0;
    virtual void OnPointerMotion(double x, double y) = 0;
};

struct SWlGlobals
{
    IWlEvents* m_pEvents = nullptr; // the registry's listener tells it of outputs
    CWlInput* m_pInput = nullptr; // listens to the seat from its binding on
    wl_display* m_pDisplay = nullptr; // the connection (libdecor makes its own objects on it)
    wl::Registry m_Registry;
    wl::Compositor m_Compositor;
    wl::WmBase m_WmBase; // xdg-shell
    wl::LayerShell m_LayerShell; // wlroots' and KWin's layer shell
    wl::OutputManager m_OutputManager; // xdg-output: logical positions and names
    wl::Viewporter m_Viewporter;
    wl::FractionalManager m_FractionalManager;
    wl::DecorationManager m_DecorationManager; // server-side window decorations
    wl::Seat m_Seat;
};

// The seat's keyboard and pointer, made and dropped as its capabilities come
// and go. The pointer's cursor is hidden over full-screen surfaces.
class CWlInput
{
public:
    explicit CWlInput(IWlEvents& events);
    ~CWlInput();
    CWlInput(const CWlInput&) = delete;
    CWlInput& operator=(const CWlInput&) = delete;

    // Listens to the seat, as it is bound: its capabilities come at once.
    void Attach(wl_seat* seat);
    void HideCursor(bool hide) { m_bHideCursor = hide; }

    // Listener glue; data is the CWlInput.
    static void Capabilities(void* data, wl_seat* seat, uint32_t capabilities);
    static void Keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size);
    static void Key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state);
    static void Modifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                          uint32_t group);
    static void Enter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                      wl_fixed_t y);
    static void Leave(void* data, wl_pointer*, uint32_t, wl_surface*);
    static void Motion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y);
    static void Button(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state);

private:
    IWlEvents& m_Events;
    wl::XkbContext m_Xkb;
    wl::XkbKeymap m_Keymap;
    wl::XkbState m_KeyState;
    wl::Keyboard m_Keyboard;
    wl::Pointer m_Pointer;
    bool m_bHideCursor = false;
};

// Binds every global of the table the registry announces (hands the outputs
// to globals.m_pEvents, the seat to globals.m_pInput); the registry keeps
// listening for outputs that come and globals that go. False when the
// compositor is gone.
bool BindGlobals(wl_display* display, SWlGlobals& globals);
