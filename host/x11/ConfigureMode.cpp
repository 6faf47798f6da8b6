#include "host/x11/ConfigureMode.h"

#include "host/x11/XHost.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <csignal>
#include <cstdio>
#include <string>

namespace {

constexpr int PreviewWidth = 480;
constexpr int PreviewHeight = 270;

struct SPreview
{
    CXHost* m_pHost;
    const SSaverModule* m_pModule;
    SSaverView* m_pView;
    Window m_Window;
    Atom m_DeleteWindow;
};

// The sheet's main loop calls this at the view's frame interval: the preview's
// own X events (resizes) first, then one frame.
void Tick(void* context)
{
    auto* preview = static_cast<SPreview*>(context);
    Display* display = preview->m_pHost->display();
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ConfigureNotify && event.xconfigure.window == preview->m_Window)
            preview->m_pHost->Resize(preview->m_Window, event.xconfigure.width, event.xconfigure.height);
        // Closing the preview closes the settings, as closing the sheet does.
        if (event.type == ClientMessage && event.xclient.window == preview->m_Window &&
            static_cast<Atom>(event.xclient.data.l[0]) == preview->m_DeleteWindow)
            preview->m_pModule->close_sheet(preview->m_pView);
    }
    preview->m_pModule->animate(preview->m_pView);
}

int Fail(const std::string& reason)
{
    std::fprintf(stderr, "veltrix: %s\n", reason.c_str());
    return 1;
}

} // namespace

int RunConfigure(const SSaverModule& module, const SOptions& options)
{
    CXHost host;
    std::string error;
    if (!host.Open(error))
        return Fail(error);
    Display* display = host.display();
    // The sheet runs GTK's loop, not the host's, so nobody would read the
    // host's signal pipe: a signal ends the program at once instead, storing
    // nothing (a store being written is replaced whole or not at all).
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        std::signal(signal, SIG_DFL);

    Atom deleteWindow = None;
    const Window window = host.CreateTopWindow(PreviewWidth, PreviewHeight, StructureNotifyMask, deleteWindow);

    // The preview shows the stored settings, as the sheet does: no settings for this run.
    module.set_run_settings(nullptr);
    SSaverView* view = host.AddView(module, window, 0, 0, PreviewWidth, PreviewHeight, true);
    if (!view)
        return Fail(NoViewReason);
    XMapWindow(display, window);
    module.start(view);
    if (options.m_bVerbose)
        std::fprintf(stderr, "veltrix: preview started %.3f s after the process started\n", SecondsSinceProcessStart());

    SPreview preview{&host, &module, view, window, deleteWindow};
    XSync(display, False);
    const bool shown = module.run_sheet(view, window, Tick, &preview) != 0;
    module.stop(view);
#if defined(__SANITIZE_ADDRESS__)
    // Now, while Mesa's driver is loaded: closing the display unloads it, and
    // what it keeps would then show as leaks of nameless code.
    __lsan_do_leak_check();
#endif
    if (!shown)
        return Fail("cannot show the settings sheet (its interface file or GTK's display is missing)");
    return 0;
}
