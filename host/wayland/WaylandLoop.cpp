// The Wayland host's side of the shared loop: reading and dispatching the
// compositor's events, sending ours, and the frame each view draws.
#include "host/wayland/WaylandHost.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

constexpr char LostLine[] = "veltrix: lost the Wayland compositor\n";

std::string ViewName(void* owner)
{
    return static_cast<const CWlSurface*>(owner)->m_Name;
}

} // namespace

int CWaylandHost::Run(const SSaverModule& module, const SOptions& options)
{
    m_pModule = &module;
    m_pOptions = &options;
    if (m_Mode == EWaylandMode::Window) {
        m_pWindow = std::make_unique<CWlSurface>(m_Globals, m_pFrameQueue, *this, ESurfaceRole::Window, nullptr,
                                                 options.m_nWidth, options.m_nHeight);
        m_pWindow->m_Name = "the window";
    } else {
        m_bCovering = true;
        for (auto& o : m_Outputs)
            _Cover(o.get());
    }
    if (!_WaitForConfigures())
        return 0;
    _PlaceViews();
    if (m_nStatus != 0)
        return m_nStatus;
    m_Loop.Run(*this, options.m_bVerbose, ViewName);
    return m_nStatus;
}

// Until every surface made so far had its first configure (or went), so
// the first views are placed knowing all of them; however long the
// compositor takes (some configure from a timer).
bool CWaylandHost::_WaitForConfigures()
{
    for (;;) {
        const std::vector<CWlSurface*> surfaces = _Surfaces();
        if (std::all_of(surfaces.begin(), surfaces.end(), [](const CWlSurface* s) { return s->Configured(); }) ||
            m_Loop.QuitReason() != EQuit::Running)
            return true;
        while (wl_display_prepare_read(m_pDisplay) != 0) {
            if (wl_display_dispatch_pending(m_pDisplay) < 0)
                _Lost();
        }
        _Flush();
        pollfd fds[2] = {{wl_display_get_fd(m_pDisplay), POLLIN, 0}, {QuitSignalFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            wl_display_cancel_read(m_pDisplay);
            _Lost();
        }
        if (fds[0].revents) {
            if (wl_display_read_events(m_pDisplay) < 0)
                _Lost();
        } else {
            wl_display_cancel_read(m_pDisplay);
        }
        _Dispatch();
        if (fds[1].revents & POLLIN)
            return false;
    }
}

[[noreturn]] void CWaylandHost::_Lost()
{
    LeaveLostServer(LostLine);
}

// A surface dropped by one event may be named by others read with it (KWin
// sends the keyboard's leave right after a layer surface's closed).
// libwayland counts a reference from each queued event that names a proxy,
// but gives it back only for a proxy still alive when the event is
// dispatched: a wl_surface destroyed before then is never freed. So dropped
// surfaces go only here, with the default queue empty and nothing read since.
void CWaylandHost::_Dispatch()
{
    if (wl_display_dispatch_pending(m_pDisplay) < 0 || wl_display_dispatch_queue_pending(m_pDisplay, m_pFrameQueue) < 0)
        _Lost();
    m_Dropped.clear();
}

// Sends all that is queued; a full socket waits until the compositor reads.
void CWaylandHost::_Flush()
{
    while (wl_display_flush(m_pDisplay) < 0) {
        if (errno != EAGAIN)
            _Lost();
        pollfd out = {wl_display_get_fd(m_pDisplay), POLLOUT, 0};
        if (poll(&out, 1, -1) < 0 && errno != EINTR)
            _Lost();
        if (out.revents & (POLLERR | POLLHUP))
            _Lost();
    }
}

int CWaylandHost::ConnectionFd()
{
    return wl_display_get_fd(m_pDisplay);
}

// New views are placed here, between frames, with every event of the moment in.
void CWaylandHost::BeforeWait()
{
    do {
        _Dispatch();
        if (m_bViewsStale)
            _PlaceViews();
        if (m_Loop.QuitReason() != EQuit::Running)
            return;
    } while (wl_display_prepare_read(m_pDisplay) != 0);
    m_bReadPrepared = true;
    _Flush();
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
    _Dispatch();
}

// The frame callbacks are dispatched here, one view's turn after another's:
// a callback that came while the view before this one swapped (the swap
// reads the connection) counts at this tick, so every output gets as many
// frames as the main one.
bool CWaylandHost::Seen(void* owner)
{
    if (wl_display_dispatch_queue_pending(m_pDisplay, m_pFrameQueue) < 0)
        _Lost();
    return static_cast<const CWlSurface*>(owner)->Seen();
}

void CWaylandHost::BeforeDraw(void* owner)
{
    auto* s = static_cast<CWlSurface*>(owner);
    s->Prepare();
    m_Loop.Resize(s->m_pView, s->BufferWidth(), s->BufferHeight());
}

void CWaylandHost::AfterFrames()
{
    _Flush();
}
