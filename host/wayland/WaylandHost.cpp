#include "host/wayland/WaylandHost.h"

#include "host/loop/Screens.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr char NoViewLine[] = "veltrix: cannot make an OpenGL view on this Wayland compositor (EGL)\n";

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value;
}

} // namespace

wl_display* ConnectWayland()
{
    // A launcher (swaylock-plugin) hands a connection over in WAYLAND_SOCKET;
    // wl_display_connect takes that one first.
    if (!IsSet("WAYLAND_SOCKET") && !IsSet("WAYLAND_DISPLAY"))
        return nullptr;
    return wl_display_connect(nullptr);
}

void DisconnectWayland(wl_display* display)
{
    wl_display_disconnect(display);
}

CWaylandHost::CWaylandHost(wl_display* display)
    : m_pDisplay(display)
    , m_pFrameQueue(wl_display_create_queue(display))
{}

CWaylandHost::~CWaylandHost()
{
    m_Loop.DestroyViews();
    m_pWindow.reset();
    for (auto& o : m_Outputs)
        o->m_pSurface.reset();
    m_Dropped.clear();
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
    m_Outputs.clear();
    m_pInput.reset();
    m_Globals.m_Seat.reset();
    m_Globals.m_DecorationManager.reset();
    m_Globals.m_FractionalManager.reset();
    m_Globals.m_Viewporter.reset();
    m_Globals.m_OutputManager.reset();
    m_Globals.m_LayerShell.reset();
    m_Globals.m_WmBase.reset();
    m_Globals.m_Compositor.reset();
    m_Globals.m_Registry.reset();
    wl_event_queue_destroy(m_pFrameQueue);
    wl_display_disconnect(m_pDisplay);
    RestoreQuitSignals();
}

bool CWaylandHost::Open(EWaylandMode mode, std::string& error)
{
    m_Mode = mode;
    if (!InstallQuitSignals()) {
        error = "cannot set up signal handling";
        return false;
    }
    // The globals, then what the outputs and the seat say about themselves.
    m_pInput = std::make_unique<CWlInput>(*this);
    m_pInput->HideCursor(mode == EWaylandMode::AllScreens);
    m_Globals.m_pEvents = this;
    m_Globals.m_pInput = m_pInput.get();
    bool answered = BindGlobals(m_pDisplay, m_Globals);
    for (auto& o : m_Outputs)
        o->Describe(m_Globals.m_OutputManager.get());
    answered = answered && wl_display_roundtrip(m_pDisplay) >= 0;
    if (!answered) {
        error = "lost the Wayland compositor while starting";
        return false;
    }
    if (!m_Globals.m_Compositor) {
        error = "the Wayland compositor offers no wl_compositor";
        return false;
    }
    if (mode == EWaylandMode::Background && !m_Globals.m_LayerShell) {
        error = "the Wayland compositor offers no zwlr_layer_shell_v1: no background can be shown";
        return false;
    }
    if (mode != EWaylandMode::Background && !m_Globals.m_WmBase &&
        !(mode == EWaylandMode::AllScreens && m_Globals.m_LayerShell)) {
        error = "the Wayland compositor offers no xdg_wm_base: no windows can be shown";
        return false;
    }
    return true;
}

// ---- outputs and surfaces

void CWaylandHost::OnOutputGlobal(uint32_t name, wl_output* output)
{
    m_Outputs.push_back(std::make_unique<COutput>(*this, name, output));
    m_Outputs.back()->Describe(m_Globals.m_OutputManager.get());
}

void CWaylandHost::OnGlobalRemove(uint32_t name)
{
    const auto it =
        std::find_if(m_Outputs.begin(), m_Outputs.end(), [&](const auto& o) { return o->Global() == name; });
    if (it == m_Outputs.end())
        return;
    if ((*it)->m_pSurface)
        _DropSurface((*it)->m_pSurface.get());
    m_Outputs.erase(it);
}

void CWaylandHost::OnOutputDone(COutput* output)
{
    const SOutputState& state = output->State();
    if (CWlSurface* s = output->m_pSurface.get()) {
        s->m_Name = output->Name();
        s->SetOutputSize(state.LogicalWidth(), state.LogicalHeight());
        s->SetOutputScale(state.m_nScale);
        m_bViewsStale = true; // its place in the layout may have changed
    } else if (m_bCovering) {
        _Cover(output);
    }
}

// KWin sends the pointer's new surface-local position right after the
// output's new scale or size, before the output's done and the surface's
// configure: that motion is no hand's.
void CWaylandHost::OnOutputChanging(COutput*)
{
    m_bPointerRestart = true;
}

void CWaylandHost::_Cover(COutput* o)
{
    const SOutputState& state = o->State();
    // An output of no size has nothing to show on; its surface waits for a mode.
    if (!o->Whole() || state.LogicalWidth() <= 0 || state.LogicalHeight() <= 0)
        return;
    ESurfaceRole role = ESurfaceRole::Background;
    if (m_Mode == EWaylandMode::AllScreens)
        role = m_Globals.m_LayerShell ? ESurfaceRole::Overlay : ESurfaceRole::FullScreen;
    o->m_pSurface = std::make_unique<CWlSurface>(m_Globals, m_pFrameQueue, *this, role, o->Get(), 0, 0);
    o->m_pSurface->m_Name = o->Name();
    o->m_pSurface->SetOutputSize(state.LogicalWidth(), state.LogicalHeight());
}

// The one way a surface goes: its view first (the loop makes another main
// one if it was), then the surface and its role, once the events already
// queued are dispatched (see _Dispatch).
void CWaylandHost::_DropSurface(CWlSurface* s)
{
    if (s->m_pView) {
        m_Loop.RemoveView(s->m_pView);
        s->m_pView = nullptr;
    }
    m_bViewsStale = true;
    if (s == m_pWindow.get()) { // the window closed: the run is over
        m_Loop.Quit(EQuit::Asked);
        return;
    }
    if (COutput* o = _OutputOf(s))
        m_Dropped.push_back(std::move(o->m_pSurface));
}

void CWaylandHost::OnSurfaceChanged(CWlSurface*)
{
    m_bViewsStale = true;
    m_bPointerRestart = true;
}

void CWaylandHost::OnSurfaceClosed(CWlSurface* surface)
{
    _DropSurface(surface);
}

int CWaylandHost::OutputScale(wl_output* output) const
{
    for (const auto& o : m_Outputs) {
        if (o->Get() == output)
            return o->State().m_nScale;
    }
    return 1;
}

COutput* CWaylandHost::_OutputOf(const CWlSurface* s) const
{
    for (const auto& o : m_Outputs) {
        if (o->m_pSurface.get() == s)
            return o.get();
    }
    return nullptr;
}

std::vector<CWlSurface*> CWaylandHost::_Surfaces() const
{
    std::vector<CWlSurface*> surfaces;
    if (m_pWindow)
        surfaces.push_back(m_pWindow.get());
    for (const auto& o : m_Outputs) {
        if (o->m_pSurface)
            surfaces.push_back(o->m_pSurface.get());
    }
    return surfaces;
}

// ---- views

// One main view, kept while it lives (the music and the camera go on there);
// every other view at its output's offset from it, made again when the
// layout moves it.
void CWaylandHost::_PlaceViews()
{
    m_bViewsStale = false;
    std::vector<CWlSurface*> ready;
    for (CWlSurface* s : _Surfaces()) {
        if (s->Configured() && !s->m_bFailed)
            ready.push_back(s);
    }
    std::vector<SScreenPlace> places;
    int main = -1;
    for (size_t i = 0; i < ready.size(); ++i) {
        const COutput* o = _OutputOf(ready[i]);
        places.push_back({o ? o->State().m_nX : 0, o ? o->State().m_nY : 0, false});
        if (ready[i]->m_bMain && ready[i]->m_pView)
            main = static_cast<int>(i);
    }
    if (main < 0)
        main = MainScreenIndex(places);
    if (main >= 0) {
        CWlSurface* m = ready[main];
        if (m->m_pView && !m->m_bMain) { // made again as the main one
            m_Loop.RemoveView(m->m_pView);
            m->m_pView = nullptr;
        }
        if (!m->m_pView && !_AddView(m, true, 0.0, 0.0)) {
            m->m_bFailed = true;
            m_bViewsStale = true; // another takes its place next time
            main = -1;
        }
    }
    for (size_t i = 0; main >= 0 && i < ready.size(); ++i) {
        if (static_cast<int>(i) == main)
            continue;
        CWlSurface* s = ready[i];
        double x = 0.0, y = 0.0;
        FrameOrigin(places[main], places[i], false, x, y);
        if (s->m_pView && (s->m_bMain || s->m_dOriginX != x || s->m_dOriginY != y)) {
            m_Loop.RemoveView(s->m_pView);
            s->m_pView = nullptr;
        }
        if (!s->m_pView && !_AddView(s, false, x, y))
            s->m_bFailed = true;
    }
    // Every surface tried and none took a view: nothing will ever show.
    const std::vector<CWlSurface*> all = _Surfaces();
    const bool allFailed =
        !all.empty() && std::all_of(all.begin(), all.end(), [](const CWlSurface* s) { return s->m_bFailed; });
    if (m_Loop.ViewCount() == 0 && allFailed) {
        std::fputs(NoViewLine, stderr);
        m_nStatus = 1;
        m_Loop.Quit(EQuit::Asked);
    }
}

bool CWaylandHost::_AddView(CWlSurface* s, bool main, double x, double y)
{
    // The first frame's swap commits the ack, the scale and the frame callback with it.
    s->Prepare();
    const SSaverTarget target = {SAVER_TARGET_WAYLAND_SURFACE, m_pDisplay, 0, s->Surface()};
    s->m_pView = m_Loop.AddView(*m_pModule, target, x, y, s->BufferWidth(), s->BufferHeight(), false, s);
    s->m_bMain = main && s->m_pView;
    s->m_dOriginX = x;
    s->m_dOriginY = y;
    if (!s->m_pView)
        return false;
    if (m_pOptions->m_bVerbose) {
        const char* music = "no music";
        if (main && m_pOptions->m_bNoSound)
            music = "no music (--no-sound)";
        else if (main && m_Mode == EWaylandMode::Background && !m_pOptions->m_bSound)
            music = "no music (--background without --sound)";
        else if (main)
            music = "music";
        const std::string line =
            ViewLine(s->BufferWidth(), s->BufferHeight(), " at scale " + s->ScaleText() + " on " + s->m_Name, main,
                     std::string(", ") + music);
        std::fprintf(stderr, "veltrix: %s\n", line.c_str());
    }
    return true;
}

// ---- input

void CWaylandHost::OnKey(bool escapeOrQ)
{
    if (m_Mode != EWaylandMode::Background && KeyQuits(m_Mode == EWaylandMode::AllScreens, escapeOrQ))
        m_Loop.Quit(EQuit::Asked);
}

void CWaylandHost::OnButton()
{
    if (ButtonQuits(m_Mode == EWaylandMode::AllScreens))
        m_Loop.Quit(EQuit::Asked);
}

// Positions are the surface's; entering a surface, or a surface or its output
// changing size, scale or place under a pointer that did not move, starts a
// new reference.
void CWaylandHost::OnPointerEnter(CWlSurface*, double x, double y)
{
    m_bPointerKnown = true;
    m_bPointerRestart = false;
    m_Pointer.Start(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

void CWaylandHost::OnPointerLeave()
{
    m_bPointerKnown = false;
}

void CWaylandHost::OnPointerMotion(double x, double y)
{
    if (m_Mode != EWaylandMode::AllScreens || !m_bPointerKnown)
        return;
    const int px = static_cast<int>(std::lround(x)), py = static_cast<int>(std::lround(y));
    if (m_bPointerRestart) {
        m_bPointerRestart = false;
        m_Pointer.Start(px, py);
        return;
    }
    const double shown = m_Loop.FirstFramesShown();
    if (m_Pointer.Ends(px, py, shown > 0.0 ? MonotonicSeconds() - shown : -1.0))
        m_Loop.Quit(EQuit::Asked);
}
