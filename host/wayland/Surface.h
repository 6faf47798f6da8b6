// One surface of ours and its role: the window (an xdg_toplevel), a
// full-screen xdg_toplevel on an output, or a layer surface on an output (the
// overlay of --all-screens, the background of --background). It owns every
// object of the surface (role, viewport, fractional scale, frame callback).
//
// Its listeners only record what the compositor says (the configure's serial
// and size, the preferred scale); Prepare, run by the loop just before a
// frame, acks it and sets the size and scale that the frame's swap commits
// with it. Nothing is committed with a buffer before the first configure.
//
// Buffer size: the logical size times the scale. With wp_fractional_scale_v1
// and wp_viewporter, the scale is the compositor's preferred one (in 120ths,
// rounded to whole pixels) and the viewport maps the buffer onto the logical
// size; otherwise it is an integer, the output's (wl_surface.set_buffer_scale).
#pragma once

#include "host/wayland/Decor.h"
#include "host/wayland/Globals.h"
#include "platform/SaverModule.h"

#include <string>
#include <vector>

enum class ESurfaceRole
{
    Window, // a decorated, resizable toplevel
    FullScreen, // a toplevel made full screen on its output
    Overlay, // a layer surface over everything, taking the keyboard
    Background, // a layer surface under every window, taking no input
};

class CWlSurface;

// What a surface tells its host.
class IWlSurfaceOwner
{
public:
    virtual ~IWlSurfaceOwner() = default;
    virtual void OnSurfaceChanged(CWlSurface* surface) = 0; // configured or rescaled: the views may change
    virtual void OnSurfaceClosed(CWlSurface* surface) = 0; // the compositor closed it, or gave it no size
    virtual int OutputScale(wl_output* output) const = 0; // integer scale of an output we know; 1 else
};

class CWlSurface : private IWlDecorOwner
{
public:
    // output: the output of a full-screen or layer surface; null for the
    // window. width x height: the window's logical size until configured.
    CWlSurface(const SWlGlobals& globals, wl_event_queue* frames, IWlSurfaceOwner& owner, ESurfaceRole role,
               wl_output* output, int width, int height);
    ~CWlSurface() override;
    CWlSurface(const CWlSurface&) = delete;
    CWlSurface& operator=(const CWlSurface&) = delete;

    ESurfaceRole Role() const { return m_Role; }
    wl_surface* Surface() const { return m_Surface.get(); }
    bool Configured() const { return m_bConfigured; } // the first configure came
    // Configured, of some size, and the compositor wants its next frame.
    bool Seen() const { return m_bConfigured && !m_Frame && m_nWidth > 0 && m_nHeight > 0; }
    bool Fractional() const { return static_cast<bool>(m_FractionalScale) && m_nScale120 > 0; }

    // The size of the picture: what the view is sized to.
    int BufferWidth() const { return _Buffer(m_nWidth); }
    int BufferHeight() const { return _Buffer(m_nHeight); }
    std::string ScaleText() const; // "2", "1.5"

    // The logical size a full-screen toplevel takes when the compositor leaves
    // it to us (its output's).
    void SetOutputSize(int width, int height);
    // The output's integer scale changed (full-screen and layer surfaces).
    void SetOutputScale(int scale);

    // Just before a frame is drawn: acks the last configure, sets the buffer
    // scale or the viewport and the opaque region for its size, and asks for
    // the frame callback that says when the next frame is wanted. Whatever
    // it sets is committed by the frame's swap.
    void Prepare();

    // The view on it (the host's), its frame origin and whether it is the main one.
    SSaverView* m_pView = nullptr;
    double m_dOriginX = 0.0, m_dOriginY = 0.0;
    bool m_bMain = false;
    bool m_bFailed = false; // no view could be made on it
    std::string m_Name; // what --verbose calls it: its output's name, "the window"

    // Listener glue; data is the CWlSurface.
    static void Enter(void* data, wl_surface*, wl_output* output);
    static void Leave(void* data, wl_surface*, wl_output* output);
    static void FrameDone(void* data, wl_callback* callback, uint32_t);
    static void LayerConfigure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height);
    static void LayerClosed(void* data, zwlr_layer_surface_v1*);
    static void XdgConfigure(void* data, xdg_surface*, uint32_t serial);
    static void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*);
    static void ToplevelClose(void* data, xdg_toplevel*);
    static void PreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale120);

    bool Decorated() const { return m_Decoration || m_pDecor; } // by the compositor or by libdecor

private:
    void OnDecorConfigure(int width, int height) override;
    void OnDecorClose() override;
    int _Buffer(int logical) const;
    void _Configured(uint32_t serial, int width, int height);
    void _WindowScale();

    IWlSurfaceOwner& m_Owner;
    const SWlGlobals& m_Globals;
    wl_event_queue* m_pFrames; // the queue frame callbacks come on
    ESurfaceRole m_Role;
    wl::Surface m_Surface;
    wl::Viewport m_Viewport;
    wl::FractionalScale m_FractionalScale;
    wl::LayerSurface m_Layer;
    wl::XdgSurface m_XdgSurface;
    wl::Toplevel m_Toplevel;
    wl::Decoration m_Decoration;
    std::unique_ptr<CWlDecor> m_pDecor; // the window's, where the compositor draws none
    wl::Callback m_Frame; // the last frame's, until it comes
    std::vector<wl_output*> m_Entered; // outputs the window is on

    int m_nWidth = 0, m_nHeight = 0; // logical, as configured
    int m_nOutputWidth = 0, m_nOutputHeight = 0;
    int m_nToplevelWidth = 0, m_nToplevelHeight = 0; // the toplevel's, until its surface's configure
    int m_nScale = 1; // integer scale
    int m_nScale120 = 0; // the compositor's preferred fractional scale; 0: none said
    bool m_bConfigured = false;
    bool m_bAckPending = false;
    uint32_t m_nSerial = 0;
    // What was last set on the surface, so a frame sets only what changed.
    int m_nSetWidth = -1, m_nSetHeight = -1, m_nSetScale = -1;
    bool m_bSetFractional = false;
};
