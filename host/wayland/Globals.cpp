#include "host/wayland/Globals.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

namespace {

// One row per global a run uses: its interface, the newest version we speak,
// and where the bound object goes (and what listens to it).
struct SGlobalRow
{
    const wl_interface* m_pInterface;
    uint32_t m_nVersion;
    bool (*m_Take)(SWlGlobals& globals, void* proxy); // false: already had one
};

template <auto Member, typename T> bool Take(SWlGlobals& g, void* proxy)
{
    auto& owner = g.*Member;
    if (owner)
        return false;
    owner.reset(static_cast<T*>(proxy));
    return true;
}

void OnPing(void*, xdg_wm_base* base, uint32_t serial)
{
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener WmBaseListener = {OnPing};

bool TakeWmBase(SWlGlobals& g, void* proxy)
{
    if (!Take<&SWlGlobals::m_WmBase, xdg_wm_base>(g, proxy))
        return false;
    xdg_wm_base_add_listener(g.m_WmBase.get(), &WmBaseListener, nullptr);
    return true;
}

bool TakeSeat(SWlGlobals& g, void* proxy)
{
    if (!Take<&SWlGlobals::m_Seat, wl_seat>(g, proxy))
        return false;
    if (g.m_pInput)
        g.m_pInput->Attach(g.m_Seat.get());
    return true;
}

const SGlobalRow GlobalTable[] = {
    {&wl_compositor_interface, 4, Take<&SWlGlobals::m_Compositor, wl_compositor>},
    {&xdg_wm_base_interface, 2, TakeWmBase},
    {&zwlr_layer_shell_v1_interface, 4, Take<&SWlGlobals::m_LayerShell, zwlr_layer_shell_v1>},
    {&zxdg_output_manager_v1_interface, 3, Take<&SWlGlobals::m_OutputManager, zxdg_output_manager_v1>},
    {&wp_viewporter_interface, 1, Take<&SWlGlobals::m_Viewporter, wp_viewporter>},
    {&wp_fractional_scale_manager_v1_interface, 1,
     Take<&SWlGlobals::m_FractionalManager, wp_fractional_scale_manager_v1>},
    {&zxdg_decoration_manager_v1_interface, 1, Take<&SWlGlobals::m_DecorationManager, zxdg_decoration_manager_v1>},
    {&wl_seat_interface, 5, TakeSeat},
};

constexpr uint32_t OutputVersion = 4; // names

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* g = static_cast<SWlGlobals*>(data);
    const std::string_view which(interface);
    if (which == wl_output_interface.name) {
        auto* output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, OutputVersion)));
        g->m_pEvents->OnOutputGlobal(name, output);
        return;
    }
    for (const SGlobalRow& row : GlobalTable) {
        if (which != row.m_pInterface->name)
            continue;
        void* proxy = wl_registry_bind(registry, name, row.m_pInterface, std::min(version, row.m_nVersion));
        if (!row.m_Take(*g, proxy))
            wl_proxy_destroy(static_cast<wl_proxy*>(proxy)); // a second one of a kind: the first serves
        return;
    }
}

void OnGlobalRemove(void* data, wl_registry*, uint32_t name)
{
    static_cast<SWlGlobals*>(data)->m_pEvents->OnGlobalRemove(name);
}

const wl_registry_listener RegistryListener = {OnGlobal, OnGlobalRemove};

void NoKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*)
{}
void NoKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*)
{}
void NoRepeatInfo(void*, wl_keyboard*, int32_t, int32_t)
{}

const wl_keyboard_listener KeyboardListener = {CWlInput::Keymap, NoKeyboardEnter,     NoKeyboardLeave,
                                               CWlInput::Key,    CWlInput::Modifiers, NoRepeatInfo};

void NoAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t)
{}
void NoFrame(void*, wl_pointer*)
{}
void NoAxisSource(void*, wl_pointer*, uint32_t)
{}
void NoAxisStop(void*, wl_pointer*, uint32_t, uint32_t)
{}
void NoAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t)
{}
void NoAxisValue120(void*, wl_pointer*, uint32_t, int32_t)
{}

const wl_pointer_listener PointerListener = {CWlInput::Enter, CWlInput::Leave, CWlInput::Motion, CWlInput::Button,
                                             NoAxis,          NoFrame,         NoAxisSource,     NoAxisStop,
                                             NoAxisDiscrete,  NoAxisValue120};

void NoSeatName(void*, wl_seat*, const char*)
{}

const wl_seat_listener SeatListener = {CWlInput::Capabilities, NoSeatName};

} // namespace

bool BindGlobals(wl_display* display, SWlGlobals& globals)
{
    globals.m_pDisplay = display;
    globals.m_Registry.reset(wl_display_get_registry(display));
    wl_registry_add_listener(globals.m_Registry.get(), &RegistryListener, &globals);
    return wl_display_roundtrip(display) >= 0;
}

CWlInput::CWlInput(IWlEvents& events)
    : m_Events(events)
    , m_Xkb(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{}

void CWlInput::Attach(wl_seat* seat)
{
    wl_seat_add_listener(seat, &SeatListener, this);
}

CWlInput::~CWlInput() = default;

void CWlInput::Capabilities(void* data, wl_seat* seat, uint32_t capabilities)
{
    auto* in = static_cast<CWlInput*>(data);
    const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (keyboard && !in->m_Keyboard) {
        in->m_Keyboard.reset(wl_seat_get_keyboard(seat));
        wl_keyboard_add_listener(in->m_Keyboard.get(), &KeyboardListener, in);
    } else if (!keyboard) {
        in->m_Keyboard.reset();
    }
    if (pointer && !in->m_Pointer) {
        in->m_Pointer.reset(wl_seat_get_pointer(seat));
        wl_pointer_add_listener(in->m_Pointer.get(), &PointerListener, in);
    } else if (!pointer) {
        in->m_Pointer.reset();
    }
}

void CWlInput::Keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size)
{
    auto* in = static_cast<CWlInput*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && in->m_Xkb) {
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            wl::XkbKeymap keymap(xkb_keymap_new_from_string(in->m_Xkb.get(), static_cast<const char*>(map),
                                                            XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
            munmap(map, size);
            if (keymap) {
                in->m_KeyState.reset(xkb_state_new(keymap.get()));
                in->m_Keymap = std::move(keymap);
            }
        }
    }
    close(fd);
}

void CWlInput::Key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state)
{
    auto* in = static_cast<CWlInput*>(data);
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED)
        return;
    xkb_keysym_t sym = XKB_KEY_NoSymbol;
    if (in->m_KeyState)
        sym = xkb_state_key_get_one_sym(in->m_KeyState.get(), key + 8); // evdev to XKB key codes
    else
        sym = key == KEY_ESC ? XKB_KEY_Escape : key == KEY_Q ? XKB_KEY_q : XKB_KEY_NoSymbol;
    in->m_Events.OnKey(sym == XKB_KEY_Escape || sym == XKB_KEY_q || sym == XKB_KEY_Q);
}

void CWlInput::Modifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                         uint32_t group)
{
    auto* in = static_cast<CWlInput*>(data);
    if (in->m_KeyState)
        xkb_state_update_mask(in->m_KeyState.get(), depressed, latched, locked, 0, 0, group);
}

void CWlInput::Enter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y)
{
    auto* in = static_cast<CWlInput*>(data);
    auto* ours = surface ? static_cast<CWlSurface*>(wl_surface_get_user_data(surface)) : nullptr;
    if (!ours)
        return;
    if (in->m_bHideCursor)
        wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    in->m_Events.OnPointerEnter(ours, wl_fixed_to_double(x), wl_fixed_to_double(y));
}

void CWlInput::Leave(void* data, wl_pointer*, uint32_t, wl_surface*)
{
    static_cast<CWlInput*>(data)->m_Events.OnPointerLeave();
}

void CWlInput::Motion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    static_cast<CWlInput*>(data)->m_Events.OnPointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
}

void CWlInput::Button(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    if (state == WL_POINTER_BUTTON_STATE_PRESSED)
        static_cast<CWlInput*>(data)->m_Events.OnButton();
}
