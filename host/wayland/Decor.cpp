#include "host/wayland/Decor.h"

#include <libdecor.h>
#include <wayland-client.h>

namespace {

// libdecor reports errors it cannot recover from (a compositor without
// xdg_wm_base, a broken connection); the connection's own error ends the
// run where the loop reads it.
void DecorError(libdecor*, libdecor_error, const char*)
{}

libdecor_interface ContextInterface = {DecorError, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr,    nullptr, nullptr, nullptr, nullptr};

libdecor_frame_interface FrameInterface = {CWlDecor::Configure,
                                           CWlDecor::Close,
                                           CWlDecor::Commit,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr};

} // namespace

CWlDecor::CWlDecor(IWlDecorOwner& owner, wl_surface* surface, int width, int height)
    : m_Owner(owner)
    , m_pSurface(surface)
    , m_nWidth(width)
    , m_nHeight(height)
{}

std::unique_ptr<CWlDecor> CWlDecor::Make(wl_display* display, wl_surface* surface, IWlDecorOwner& owner, int width,
                                         int height)
{
    std::unique_ptr<CWlDecor> decor(new CWlDecor(owner, surface, width, height));
    decor->m_pContext = libdecor_new(display, &ContextInterface);
    if (!decor->m_pContext)
        return nullptr;
    decor->m_pFrame = libdecor_decorate(decor->m_pContext, surface, &FrameInterface, decor.get());
    if (!decor->m_pFrame)
        return nullptr;
    libdecor_frame_set_title(decor->m_pFrame, "Veltrix");
    libdecor_frame_set_app_id(decor->m_pFrame, "org.veltrix.Veltrix");
    libdecor_frame_set_min_content_size(decor->m_pFrame, 1, 1);
    // Maps the toplevel: commits its state with no buffer, so the compositor
    // answers with the first configure.
    libdecor_frame_map(decor->m_pFrame);
    return decor;
}

// The frame (its decorations' subsurfaces and the toplevel) goes before the
// context that made it, and both before our surface.
CWlDecor::~CWlDecor()
{
    if (m_pFrame)
        libdecor_frame_unref(m_pFrame);
    if (m_pContext)
        libdecor_unref(m_pContext);
}

void CWlDecor::Configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data)
{
    auto* d = static_cast<CWlDecor*>(data);
    int width = 0, height = 0;
    const bool given =
        libdecor_configuration_get_content_size(configuration, frame, &width, &height) && width > 0 && height > 0;
    if (given) {
        d->m_nWidth = width;
        d->m_nHeight = height;
    }
    // Acks the configure and resizes the decorations; the loop's next frame
    // commits our buffer of that size with it.
    libdecor_state* state = libdecor_state_new(d->m_nWidth, d->m_nHeight);
    libdecor_frame_commit(frame, state, configuration);
    libdecor_state_free(state);
    d->m_Owner.OnDecorConfigure(given ? width : 0, given ? height : 0);
}

void CWlDecor::Close(libdecor_frame*, void* data)
{
    static_cast<CWlDecor*>(data)->m_Owner.OnDecorClose();
}

// The decorations are synchronized subsurfaces: they change when our
// surface is committed. Committing with no new buffer keeps the picture.
void CWlDecor::Commit(libdecor_frame*, void* data)
{
    wl_surface_commit(static_cast<CWlDecor*>(data)->m_pSurface);
}
