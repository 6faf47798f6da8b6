#include "host/x11/XModes.h"

#include "host/app/RunSettings.h"
#include "host/loop/Screens.h"
#include "host/x11/Monitors.h"
#include "host/x11/XHost.h"
#include "host/x11/XScreens.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Fail(const std::string& reason)
{
    std::fprintf(stderr, "veltrix: %s\n", reason.c_str());
    return 1;
}

std::string WindowIdText(unsigned long window)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", window);
    return text;
}

// Adds the view and, with --verbose, says where it is and what it is.
bool AddView(CXHost& host, const SSaverModule& module, const SOptions& options, Window window, int x, int y, int width,
             int height, bool preview)
{
    SSaverView* view = host.AddView(module, window, x, y, width, height, preview);
    if (!view)
        return false;
    if (options.m_bVerbose) {
        char where[64];
        std::snprintf(where, sizeof where, "%+d%+d in window %s", x, y, WindowIdText(window).c_str());
        const std::string line =
            ViewLine(width, height, where, module.is_main_screen(view) != 0, preview ? ", preview" : "");
        std::fprintf(stderr, "veltrix: %s\n", line.c_str());
    }
    return true;
}

} // namespace

int RunWindow(const SSaverModule& module, const SOptions& options)
{
    CXHost host;
    std::string error;
    if (!host.Open(error))
        return Fail(error);
    Display* display = host.display();

    const int width = options.m_nWidth, height = options.m_nHeight;
    Atom deleteWindow = None;
    const Window window = host.CreateTopWindow(width, height, KeyPressMask | StructureNotifyMask, deleteWindow);

    ApplyRunSettings(module, options, false);
    if (!AddView(host, module, options, window, 0, 0, width, height, false))
        return Fail(NoViewReason);
    XMapWindow(display, window);

    host.Run(
        [&](const XEvent& event) {
            if (event.type == KeyPress) {
                XKeyEvent key = event.xkey;
                const KeySym sym = XLookupKeysym(&key, 0);
                if (KeyQuits(false, sym == XK_Escape || sym == XK_q))
                    host.Quit(EQuit::Asked);
            } else if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
                host.Quit(EQuit::Asked);
            }
        },
        options.m_bVerbose);
    return 0;
}

int RunHack(const SSaverModule& module, const SOptions& options)
{
    CXHost host;
    std::string error;
    if (!host.Open(error))
        return Fail(error);
    Display* display = host.display();

    bool preview = options.m_WindowId != 0;
    Window target = DefaultRootWindow(display);
    if (preview) {
        target = options.m_WindowId;
    } else if (const char* named = std::getenv("XSCREENSAVER_WINDOW"); named && *named) {
        unsigned long id = 0;
        if (!ParseWindowId(named, id))
            return Fail("XSCREENSAVER_WINDOW is not a window id: '" + std::string(named) + "'");
        target = id;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, target, &attributes))
        return Fail("no such window " + WindowIdText(target));

    // The daemon starts one process per monitor, each alone with its screen:
    // every one is a main screen, but only one may play the music.
    int rootX = 0, rootY = 0;
    Window child = None;
    XTranslateCoordinates(display, target, attributes.root, 0, 0, &rootX, &rootY, &child);
    const std::vector<SMonitor> monitors = ListMonitors(display);
    // Hosts that pass every window the same way (MATE's screen saver) show
    // their settings' preview in a small window: one that does not cover its
    // monitor is the preview, silent, as --window-id is.
    if (!preview && !WindowCoversItsMonitor(monitors, rootX, rootY, attributes.width, attributes.height))
        preview = true;
    const bool onPrimary = WindowIsOnPrimary(monitors, rootX, rootY, attributes.width, attributes.height);
    if (!preview && !onPrimary && options.m_bVerbose)
        std::fprintf(stderr, "veltrix: sounds off for this run: window %s is not on the primary monitor\n",
                     WindowIdText(target).c_str());
    ApplyRunSettings(module, options, !onPrimary);

    host.Watch(target);
    if (!AddView(host, module, options, target, 0, 0, attributes.width, attributes.height, preview))
        return Fail(NoViewReason);
    host.Run(nullptr, options.m_bVerbose);
    return 0;
}

int RunAllScreens(const SSaverModule& module, const SOptions& options)
{
    CXHost host;
    std::string error;
    if (!host.Open(error))
        return Fail(error);
    Display* display = host.display();
    const Window root = DefaultRootWindow(display);

    // An all-clear 1x1 cursor hides the pointer over our windows.
    char noBits[1] = {0};
    const Pixmap blank = XCreateBitmapFromData(display, root, noBits, 1, 1);
    XColor black = {};
    const Cursor invisible = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    XFreePixmap(display, blank);

    ApplyRunSettings(module, options, false);
    CXScreens screens(host, invisible, [&](Window w, int x, int y, int width, int height) {
        return AddView(host, module, options, w, x, y, width, height, false);
    });
    screens.Listen();
    if (!screens.Follow(ListMonitors(display)))
        return Fail(NoViewReason);
    XSync(display, False);

    int pointerX = 0, pointerY = 0, windowX = 0, windowY = 0;
    unsigned int buttons = 0;
    Window pointerRoot = None, pointerChild = None;
    XQueryPointer(display, root, &pointerRoot, &pointerChild, &pointerX, &pointerY, &windowX, &windowY, &buttons);
    CPointerWatch pointer;
    pointer.Start(pointerX, pointerY);
    bool failed = false;
    host.Run(
        [&](const XEvent& event) {
            if (!screens.OnEvent(event)) {
                std::fprintf(stderr, "veltrix: %s\n", NoViewReason);
                failed = true;
                host.Quit(EQuit::Asked);
            } else if ((event.type == KeyPress && KeyQuits(true, false)) ||
                       (event.type == ButtonPress && ButtonQuits(true))) {
                host.Quit(EQuit::Asked);
            } else if (event.type == MotionNotify) {
                // Events are read only once the views have started, so the
                // first frames have been shown by now.
                const double sinceShown = MonotonicSeconds() - host.FirstFramesShown();
                if (pointer.Ends(event.xmotion.x_root, event.xmotion.y_root, sinceShown))
                    host.Quit(EQuit::Asked);
            }
        },
        options.m_bVerbose);
    XFreeCursor(display, invisible);
    return failed ? 1 : 0;
}
