#include "host/wayland/Surface.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// No side we could be told makes sense beyond this; nor any scale beyond 8.
constexpr int MaxSide = 16384;
constexpr int MaxScale = 8;

const wl_surface_listener SurfaceListener = {CWlSurface::Enter, CWlSurface::Leave};
const wl_callback_listener FrameListener = {CWlSurface::FrameDone};
const zwlr_layer_surface_v1_listener LayerListener = {CWlSurface::LayerConfigure, CWlSurface::LayerClosed};
const xdg_surface_listener XdgSurfaceListener = {CWlSurface::XdgConfigure};

void NoBounds(void*, xdg_toplevel*, int32_t, int32_t)
{}
void NoCapabilities(void*, xdg_toplevel*, wl_array*)
{}

const xdg_toplevel_listener ToplevelListener = {CWlSurface::ToplevelConfigure, CWlSurface::ToplevelClose, NoBounds,
                                                NoCapabilities};
const wp_fractional_scale_v1_listener FractionalListener = {CWlSurface::PreferredScale};

constexpr uint32_t AllEdges = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                              ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;

} // namespace

CWlSurface::CWlSurface(const SWlGlobals& g, wl_event_queue* frames, IWlSurfaceOwner& owner, ESurfaceRole role,
                       wl_output* output, int width, int height)
    : m_Owner(owner)
    , m_Globals(g)
    , m_pFrames(frames)
    , m_Role(role)
    , m_Surface(wl_compositor_create_surface(g.m_Compositor.get()))
    , m_nWidth(role == ESurfaceRole::Window ? width : 0)
    , m_nHeight(role == ESurfaceRole::Window ? height : 0)
{
    wl_surface* s = m_Surface.get();
    wl_surface_add_listener(s, &SurfaceListener, this);
    if (g.m_Viewporter && g.m_FractionalManager) {
        m_Viewport.reset(wp_viewporter_get_viewport(g.m_Viewporter.get(), s));
        m_FractionalScale.reset(wp_fractional_scale_manager_v1_get_fractional_scale(g.m_FractionalManager.get(), s));
        wp_fractional_scale_v1_add_listener(m_FractionalScale.get(), &FractionalListener, this);
    }
    if (output)
        m_nScale = std::clamp(owner.OutputScale(output), 1, MaxScale);
    if (role == ESurfaceRole::Overlay || role == ESurfaceRole::Background) {
        const bool background = role == ESurfaceRole::Background;
        m_Layer.reset(zwlr_layer_shell_v1_get_layer_surface(
            g.m_LayerShell.get(), s, output,
            background ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "veltrix"));
        zwlr_layer_surface_v1_add_listener(m_Layer.get(), &LayerListener, this);
        zwlr_layer_surface_v1_set_anchor(m_Layer.get(), AllEdges);
        zwlr_layer_surface_v1_set_size(m_Layer.get(), 0, 0);
        zwlr_layer_surface_v1_set_exclusive_zone(m_Layer.get(), -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            m_Layer.get(), background ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                                      : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
        if (background) { // clicks go through to the desktop
            wl::Region none(wl_compositor_create_region(g.m_Compositor.get()));
            wl_surface_set_input_region(s, none.get());
        }
    } else if (role == ESurfaceRole::Window && !g.m_DecorationManager && g.m_pDisplay &&
               (m_pDecor = CWlDecor::Make(g.m_pDisplay, s, *this, width, height))) {
        return; // libdecor made the toplevel and mapped it
    } else {
        m_XdgSurface.reset(xdg_wm_base_get_xdg_surface(g.m_WmBase.get(), s));
        xdg_surface_add_listener(m_XdgSurface.get(), &XdgSurfaceListener, this);
        m_Toplevel.reset(xdg_surface_get_toplevel(m_XdgSurface.get()));
        xdg_toplevel_add_listener(m_Toplevel.get(), &ToplevelListener, this);
        xdg_toplevel_set_title(m_Toplevel.get(), "Veltrix");
        xdg_toplevel_set_app_id(m_Toplevel.get(), "org.veltrix.Veltrix");
        if (role == ESurfaceRole::FullScreen) {
            xdg_toplevel_set_fullscreen(m_Toplevel.get(), output);
        } else if (g.m_DecorationManager) {
            m_Decoration.reset(
                zxdg_decoration_manager_v1_get_toplevel_decoration(g.m_DecorationManager.get(), m_Toplevel.get()));
            zxdg_toplevel_decoration_v1_set_mode(m_Decoration.get(), ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
        }
    }
    // The role's state, with no buffer: the compositor answers with the first configure.
    wl_surface_commit(s);
}

// The role goes before its surface.
CWlSurface::~CWlSurface()
{
    m_Frame.reset();
    m_pDecor.reset();
    m_Decoration.reset();
    m_Toplevel.reset();
    m_XdgSurface.reset();
    m_Layer.reset();
    m_FractionalScale.reset();
    m_Viewport.reset();
}

int CWlSurface::_Buffer(int logical) const
{
    if (Fractional())
        return static_cast<int>(std::lround(logical * m_nScale120 / 120.0));
    return logical * m_nScale;
}

std::string CWlSurface::ScaleText() const
{
    char text[16];
    std::snprintf(text, sizeof text, "%g", Fractional() ? m_nScale120 / 120.0 : static_cast<double>(m_nScale));
    return text;
}

void CWlSurface::SetOutputSize(int width, int height)
{
    m_nOutputWidth = width;
    m_nOutputHeight = height;
}

void CWlSurface::SetOutputScale(int scale)
{
    scale = std::clamp(scale, 1, MaxScale);
    if (scale == m_nScale)
        return;
    m_nScale = scale;
    if (!Fractional())
        m_Owner.OnSurfaceChanged(this);
}

void CWlSurface::_WindowScale()
{
    int scale = 1;
    for (wl_output* o : m_Entered)
        scale = std::max(scale, m_Owner.OutputScale(o));
    SetOutputScale(scale);
}

void CWlSurface::_Configured(uint32_t serial, int width, int height)
{
    if (width <= 0 || height <= 0) {
        // Ours to choose: a window keeps its size, a full screen takes its output's.
        width = m_Role == ESurfaceRole::Window ? m_nWidth : m_nOutputWidth;
        height = m_Role == ESurfaceRole::Window ? m_nHeight : m_nOutputHeight;
    }
    if (width <= 0 || height <= 0) {
        m_Owner.OnSurfaceClosed(this); // nothing to draw into: of no use
        return;
    }
    m_nSerial = serial;
    m_bAckPending = true;
    const bool changed = !m_bConfigured || width != m_nWidth || height != m_nHeight;
    m_nWidth = std::min(width, MaxSide);
    m_nHeight = std::min(height, MaxSide);
    m_bConfigured = true;
    if (changed)
        m_Owner.OnSurfaceChanged(this);
}

void CWlSurface::Prepare()
{
    wl_surface* s = m_Surface.get();
    if (m_bAckPending) {
        if (m_Layer)
            zwlr_layer_surface_v1_ack_configure(m_Layer.get(), m_nSerial);
        else
            xdg_surface_ack_configure(m_XdgSurface.get(), m_nSerial);
        m_bAckPending = false;
    }
    const bool fractional = Fractional();
    const int scale = fractional ? 1 : m_nScale;
    if (scale != m_nSetScale)
        wl_surface_set_buffer_scale(s, scale);
    if (m_Viewport && (m_nWidth != m_nSetWidth || m_nHeight != m_nSetHeight || fractional != m_bSetFractional)) {
        if (fractional)
            wp_viewport_set_destination(m_Viewport.get(), m_nWidth, m_nHeight);
        else
            wp_viewport_set_destination(m_Viewport.get(), -1, -1);
    }
    if (m_Role != ESurfaceRole::Window && (m_nWidth != m_nSetWidth || m_nHeight != m_nSetHeight)) {
        // Opaque over the whole output: the compositor may scan it out directly.
        wl::Region opaque(wl_compositor_create_region(m_Globals.m_Compositor.get()));
        wl_region_add(opaque.get(), 0, 0, m_nWidth, m_nHeight);
        wl_surface_set_opaque_region(s, opaque.get());
    }
    m_nSetScale = scale;
    m_nSetWidth = m_nWidth;
    m_nSetHeight = m_nHeight;
    m_bSetFractional = fractional;
    m_Frame.reset(wl_surface_frame(s));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(m_Frame.get()), m_pFrames);
    wl_callback_add_listener(m_Frame.get(), &FrameListener, this);
}

// libdecor acked the configure already; only the size is left to the loop.
void CWlSurface::OnDecorConfigure(int width, int height)
{
    _Configured(m_nSerial, width, height);
    m_bAckPending = false;
}

void CWlSurface::OnDecorClose()
{
    m_Owner.OnSurfaceClosed(this);
}

void CWlSurface::Enter(void* data, wl_surface*, wl_output* output)
{
    auto* s = static_cast<CWlSurface*>(data);
    s->m_Entered.push_back(output);
    if (s->m_Role == ESurfaceRole::Window)
        s->_WindowScale();
}

void CWlSurface::Leave(void* data, wl_surface*, wl_output* output)
{
    auto* s = static_cast<CWlSurface*>(data);
    s->m_Entered.erase(std::remove(s->m_Entered.begin(), s->m_Entered.end(), output), s->m_Entered.end());
    if (s->m_Role == ESurfaceRole::Window)
        s->_WindowScale();
}

void CWlSurface::FrameDone(void* data, wl_callback* callback, uint32_t)
{
    auto* s = static_cast<CWlSurface*>(data);
    if (s->m_Frame.get() == callback)
        s->m_Frame.reset();
}

void CWlSurface::LayerConfigure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height)
{
    auto* s = static_cast<CWlSurface*>(data);
    // Anchored to every edge, the compositor must give the output's size; 0 x 0 is no use.
    if (width == 0 || height == 0) {
        s->m_Owner.OnSurfaceClosed(s);
        return;
    }
    s->_Configured(serial, static_cast<int>(std::min<uint32_t>(width, MaxSide)),
                   static_cast<int>(std::min<uint32_t>(height, MaxSide)));
}

void CWlSurface::LayerClosed(void* data, zwlr_layer_surface_v1*)
{
    auto* s = static_cast<CWlSurface*>(data);
    s->m_Owner.OnSurfaceClosed(s);
}

void CWlSurface::XdgConfigure(void* data, xdg_surface*, uint32_t serial)
{
    auto* s = static_cast<CWlSurface*>(data);
    s->_Configured(serial, s->m_nToplevelWidth, s->m_nToplevelHeight);
}

void CWlSurface::ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*)
{
    auto* s = static_cast<CWlSurface*>(data);
    s->m_nToplevelWidth = width;
    s->m_nToplevelHeight = height;
}

void CWlSurface::ToplevelClose(void* data, xdg_toplevel*)
{
    auto* s = static_cast<CWlSurface*>(data);
    s->m_Owner.OnSurfaceClosed(s);
}

void CWlSurface::PreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale120)
{
    auto* s = static_cast<CWlSurface*>(data);
    if (static_cast<int>(scale120) == s->m_nScale120 || scale120 == 0 || scale120 > 120 * MaxScale)
        return;
    s->m_nScale120 = static_cast<int>(scale120);
    s->m_Owner.OnSurfaceChanged(s);
}
