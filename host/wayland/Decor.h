// Client-side decorations for the window, through libdecor, where the
// compositor offers no xdg-decoration (GNOME's mutter, weston): a title bar
// and borders drawn by libdecor's plugin as subsurfaces around our surface,
// so the window can be moved, resized and closed with the mouse.
//
// libdecor makes the window's xdg_surface and xdg_toplevel itself. Its
// configure is applied in its callback (libdecor's configuration lives only
// that long): libdecor acks it and resizes its decorations there; the surface
// records the content size, and the loop resizes and draws, so the ack and
// the buffer of the new size still reach the compositor in one commit.
//
// Its events come on the connection's default queue and its fd is the
// connection's, which the loop already waits on and dispatches: nothing else
// to poll, and libdecor_dispatch, which would read the socket behind the
// loop's prepared read, is never called.
//
// With no plugin (none installed), libdecor falls back to no decorations;
// with no libdecor at all the window is a plain xdg_toplevel.
#pragma once

#include <cstdint>
#include <memory>

struct libdecor;
struct libdecor_frame;
struct libdecor_configuration;
struct wl_display;
struct wl_surface;

// What the decorated window tells its surface.
class IWlDecorOwner
{
public:
    virtual ~IWlDecorOwner() = default;
    // A configure, applied; width x height: the content's, 0 when ours to choose.
    virtual void OnDecorConfigure(int width, int height) = 0;
    virtual void OnDecorClose() = 0;
};

class CWlDecor
{
public:
    // Null when libdecor could not start: the caller makes a plain toplevel.
    static std::unique_ptr<CWlDecor> Make(wl_display* display, wl_surface* surface, IWlDecorOwner& owner, int width,
                                          int height);
    ~CWlDecor();
    CWlDecor(const CWlDecor&) = delete;
    CWlDecor& operator=(const CWlDecor&) = delete;

    // The content size the window was last committed at (libdecor sizes its
    // decorations and the window geometry to it).
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

    static void Configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data);
    static void Close(libdecor_frame*, void* data);
    static void Commit(libdecor_frame*, void* data);

private:
    CWlDecor(IWlDecorOwner& owner, wl_surface* surface, int width, int height);

    IWlDecorOwner& m_Owner;
    wl_surface* m_pSurface;
    libdecor* m_pContext = nullptr;
    libdecor_frame* m_pFrame = nullptr;
    int m_nWidth, m_nHeight;
};
