#include "platform/Screens.h"

#include "platform/HeadlessGL.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
const int kGrabSize = 1024;

struct SMonitor
{
    int x, y, width, height;
    bool primary;
};

std::vector<SMonitor> Monitors(Display* display)
{
    std::vector<SMonitor> list;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; info && i < count; ++i)
        list.push_back({info[i].x, info[i].y, info[i].width, info[i].height, info[i].primary != 0});
    if (info)
        XRRFreeMonitors(info);
    return list;
}

// Index of the monitor under the frame, or -1 when there is none at all.
int MonitorUnder(const std::vector<SMonitor>& monitors, const SRect& frame)
{
    if (monitors.empty())
        return -1;
    const auto primary = std::find_if(monitors.begin(), monitors.end(), [](const SMonitor& m) { return m.primary; });
    const SMonitor& origin = primary != monitors.end() ? *primary : monitors.front();
    for (size_t i = 0; i < monitors.size(); ++i) {
        const SMonitor& m = monitors[i];
        const double left = std::max(frame.x, double(m.x - origin.x));
        const double right = std::min(frame.x + frame.width, double(m.x - origin.x + m.width));
        const double top = std::max(frame.y, double(m.y - origin.y));
        const double bottom = std::min(frame.y + frame.height, double(m.y - origin.y + m.height));
        if (right > left && bottom > top)
            return int(i);
    }
    return int(primary != monitors.end() ? primary - monitors.begin() : 0);
}

class CDisplay
{
public:
    CDisplay()
        : m_pDisplay(XOpenDisplay(nullptr))
    {}
    ~CDisplay()
    {
        if (m_pDisplay)
            XCloseDisplay(m_pDisplay);
    }
    CDisplay(const CDisplay&) = delete;
    CDisplay& operator=(const CDisplay&) = delete;
    Display* get() const { return m_pDisplay; }

private:
    Display* m_pDisplay;
};

int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// The image as RGBA bytes (alpha 255), or empty when its format is not a true-colour one we know.
std::vector<uint32_t> ToRgba(XImage* image)
{
    std::vector<uint32_t> pixels;
    if (image->red_mask == 0 || image->green_mask == 0 || image->blue_mask == 0)
        return pixels;
    auto shiftOf = [](unsigned long mask) { return __builtin_ctzl(mask); };
    auto scaleOf = [](unsigned long mask, int shift) { return 255.0 / double(mask >> shift); };
    const int rs = shiftOf(image->red_mask), gs = shiftOf(image->green_mask), bs = shiftOf(image->blue_mask);
    const double rk = scaleOf(image->red_mask, rs), gk = scaleOf(image->green_mask, gs),
                 bk = scaleOf(image->blue_mask, bs);
    pixels.resize(size_t(image->width) * image->height);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const uint8_t rgba[4] = {uint8_t(((p & image->red_mask) >> rs) * rk + 0.5),
                                     uint8_t(((p & image->green_mask) >> gs) * gk + 0.5),
                                     uint8_t(((p & image->blue_mask) >> bs) * bk + 0.5), 255};
            std::memcpy(&pixels[size_t(y) * image->width + x], rgba, 4);
        }
    return pixels;
}

bool Scale(const std::vector<uint32_t>& pixels, int width, int height, unsigned char* out)
{
    // GLU asks the current context for its pixel-store state; without one its answers are garbage.
    CHeadlessGL own;
    if (!glGetString(GL_VERSION) && !own.Create(1, 1))
        return false;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    const int result = gluScaleImage(GL_RGBA, width, height, GL_UNSIGNED_BYTE, pixels.data(), kGrabSize, kGrabSize,
                                     GL_UNSIGNED_BYTE, out);
    glPopClientAttrib();
    if (own.Width() > 0)
        CHeadlessGL::ReleaseCurrent();
    return result == 0;
}
} // namespace

uint32_t getScreenMaskForFrame(const SRect& frame)
{
    CDisplay display;
    if (!display.get())
        return 0;
    const int index = MonitorUnder(Monitors(display.get()), frame);
    return index >= 0 && index < 32 ? uint32_t(1) << index : 0;
}

unsigned char* grabScreenShotWithFrame(float x, float y, float width, float height)
{
    CDisplay display;
    if (!display.get())
        return nullptr;
    const std::vector<SMonitor> monitors = Monitors(display.get());
    const int index = MonitorUnder(monitors, SRect{x, y, width, height});
    Display* dpy = display.get();
    const Window root = DefaultRootWindow(dpy);
    int left = 0, top = 0, w = DisplayWidth(dpy, DefaultScreen(dpy)), h = DisplayHeight(dpy, DefaultScreen(dpy));
    if (index >= 0) {
        // Only the part of the monitor that lies on the root window can be read.
        const SMonitor& m = monitors[size_t(index)];
        left = std::max(m.x, 0);
        top = std::max(m.y, 0);
        w = std::min(m.x + m.width, w) - left;
        h = std::min(m.y + m.height, h) - top;
    }
    if (w <= 0 || h <= 0)
        return nullptr;

    // A failed read must not end the program through Xlib's default handler.
    XSync(dpy, False);
    int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(IgnoreXError);
    XImage* image = XGetImage(dpy, root, left, top, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    XSync(dpy, False);
    XSetErrorHandler(previous);
    if (!image)
        return nullptr;
    const std::vector<uint32_t> pixels = ToRgba(image);
    XDestroyImage(image);
    if (pixels.empty() || std::all_of(pixels.begin(), pixels.end(), [&](uint32_t p) { return p == pixels[0]; }))
        return nullptr;

    auto* out = static_cast<unsigned char*>(std::malloc(size_t(kGrabSize) * kGrabSize * 4));
    if (out && !Scale(pixels, w, h, out)) {
        std::free(out);
        out = nullptr;
    }
    return out;
}
