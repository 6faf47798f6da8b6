// Owners of the compositor's objects and of EGL's: a std::unique_ptr whose
// deleter sends the request that ends the object at the version it was
// bound with (release where the version has it, else destroy), so that
// teardown is the members' destruction, in reverse order of their making.
#pragma once

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
// The layer shell names a parameter "namespace", which C++ keeps for itself.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace wl {

template <auto Free> struct SFree
{
    template <typename T> void operator()(T* p) const
    {
        if (p)
            Free(p);
    }
};

template <typename T, auto Free> using TOwned = std::unique_ptr<T, SFree<Free>>;

// The protocols' functions are static: an owner calls them through one of
// ours, so the owner's type is the same in every file.
#define VELTRIX_WL_OWNER(Name, Type, Free)                                                                             \
    inline void Free##Name(Type* p)                                                                                    \
    {                                                                                                                  \
        Free(p);                                                                                                       \
    }                                                                                                                  \
    using Name = TOwned<Type, Free##Name>;

inline void ReleaseSeat(wl_seat* p)
{
    if (wl_seat_get_version(p) >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(p);
    else
        wl_seat_destroy(p);
}

inline void ReleaseKeyboard(wl_keyboard* p)
{
    if (wl_keyboard_get_version(p) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
        wl_keyboard_release(p);
    else
        wl_keyboard_destroy(p);
}

inline void ReleasePointer(wl_pointer* p)
{
    if (wl_pointer_get_version(p) >= WL_POINTER_RELEASE_SINCE_VERSION)
        wl_pointer_release(p);
    else
        wl_pointer_destroy(p);
}

inline void ReleaseOutput(wl_output* p)
{
    if (wl_output_get_version(p) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(p);
    else
        wl_output_destroy(p);
}

// Before version 3 the layer shell had no destroy request: only our proxy goes.
inline void ReleaseLayerShell(zwlr_layer_shell_v1* p)
{
    if (zwlr_layer_shell_v1_get_version(p) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
        zwlr_layer_shell_v1_destroy(p);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(p));
}

VELTRIX_WL_OWNER(Registry, wl_registry, wl_registry_destroy)
VELTRIX_WL_OWNER(Compositor, wl_compositor, wl_compositor_destroy)
VELTRIX_WL_OWNER(WmBase, xdg_wm_base, xdg_wm_base_destroy)
using LayerShell = TOwned<zwlr_layer_shell_v1, ReleaseLayerShell>;
VELTRIX_WL_OWNER(OutputManager, zxdg_output_manager_v1, zxdg_output_manager_v1_destroy)
VELTRIX_WL_OWNER(Viewporter, wp_viewporter, wp_viewporter_destroy)
VELTRIX_WL_OWNER(FractionalManager, wp_fractional_scale_manager_v1, wp_fractional_scale_manager_v1_destroy)
VELTRIX_WL_OWNER(DecorationManager, zxdg_decoration_manager_v1, zxdg_decoration_manager_v1_destroy)
using Seat = TOwned<wl_seat, ReleaseSeat>;
using Keyboard = TOwned<wl_keyboard, ReleaseKeyboard>;
using Pointer = TOwned<wl_pointer, ReleasePointer>;
using Output = TOwned<wl_output, ReleaseOutput>;
VELTRIX_WL_OWNER(XdgOutput, zxdg_output_v1, zxdg_output_v1_destroy)
VELTRIX_WL_OWNER(Surface, wl_surface, wl_surface_destroy)
VELTRIX_WL_OWNER(Region, wl_region, wl_region_destroy)
VELTRIX_WL_OWNER(Callback, wl_callback, wl_callback_destroy)
VELTRIX_WL_OWNER(LayerSurface, zwlr_layer_surface_v1, zwlr_layer_surface_v1_destroy)
VELTRIX_WL_OWNER(XdgSurface, xdg_surface, xdg_surface_destroy)
VELTRIX_WL_OWNER(Toplevel, xdg_toplevel, xdg_toplevel_destroy)
VELTRIX_WL_OWNER(Decoration, zxdg_toplevel_decoration_v1, zxdg_toplevel_decoration_v1_destroy)
VELTRIX_WL_OWNER(Viewport, wp_viewport, wp_viewport_destroy)
VELTRIX_WL_OWNER(FractionalScale, wp_fractional_scale_v1, wp_fractional_scale_v1_destroy)
VELTRIX_WL_OWNER(XkbContext, xkb_context, xkb_context_unref)
VELTRIX_WL_OWNER(XkbKeymap, xkb_keymap, xkb_keymap_unref)
VELTRIX_WL_OWNER(XkbState, xkb_state, xkb_state_unref)

} // namespace wl

#undef VELTRIX_WL_OWNER
