#include "host/app/Options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

bool ParseInt(std::string_view text, int& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// One option: its name, whether it takes a value, and what it does with it.
// A handler returns the reason for a bad value, or an empty string.
struct SOptionEntry
{
    const char* m_Name;
    bool m_bTakesValue;
    std::string (*m_Apply)(SOptions& options, std::string_view value);
};

// Largest accepted picture side; the pbuffer and the read-back buffer scale with it.
constexpr int MaxSide = 16384;

// Most bolts a run may ask for: every bolt costs frame time, and thousands
// would only stall the picture.
constexpr int MaxDensity = 1000;

// Highest --frame-rate: past what any display shows, a faster timer only burns power.
constexpr int MaxFrameRate = 240;

// The longest wait the compositors' idle timers hold: milliseconds in 32 bits.
constexpr int MaxIdleSeconds = 4294967;

const SOptionEntry g_Options[] = {
    {"--headless", false,
     [](SOptions& o, std::string_view) {
         o.m_bHeadless = true;
         return std::string();
     }},
    {"--size", true,
     [](SOptions& o, std::string_view v) {
         const size_t x = v.find('x');
         int w = 0, h = 0;
         if (x == std::string_view::npos || !ParseInt(v.substr(0, x), w) || !ParseInt(v.substr(x + 1), h) || w <= 0 ||
             h <= 0 || w > MaxSide || h > MaxSide)
             return "--size expects WxH with sides from 1 to " + std::to_string(MaxSide) + ", got '" + std::string(v) +
                    "'";
         o.m_nWidth = w;
         o.m_nHeight = h;
         return std::string();
     }},
    {"--frames", true,
     [](SOptions& o, std::string_view v) {
         int n = 0;
         if (!ParseInt(v, n) || n <= 0)
             return "--frames expects a positive number, got '" + std::string(v) + "'";
         o.m_nFrames = n;
         return std::string();
     }},
    {"--output", true,
     [](SOptions& o, std::string_view v) {
         if (v.empty())
             return std::string("--output expects a folder");
         o.m_Output = v;
         return std::string();
     }},
    {"--preview", false,
     [](SOptions& o, std::string_view) {
         o.m_bPreview = true;
         return std::string();
     }},
    {"--secondary", false,
     [](SOptions& o, std::string_view) {
         o.m_bSecondary = true;
         return std::string();
     }},
    {"--pack", true,
     [](SOptions& o, std::string_view v) {
         if (v.empty())
             return std::string("--pack expects a file");
         o.m_Pack = v;
         return std::string();
     }},
    {"--no-pacing", false,
     [](SOptions& o, std::string_view) {
         o.m_bPacing = false;
         return std::string();
     }},
    {"--audio", true,
     [](SOptions& o, std::string_view v) {
         if (v.empty())
             return std::string("--audio expects a file");
         o.m_Audio = v;
         return std::string();
     }},
    {"--volume", true,
     [](SOptions& o, std::string_view v) {
         int n = 0;
         if (!ParseInt(v, n) || n < 0 || n > 100)
             return "--volume expects a percentage from 0 to 100, got '" + std::string(v) + "'";
         o.m_nVolume = n;
         return std::string();
     }},
    {"--no-sound", false,
     [](SOptions& o, std::string_view) {
         o.m_bNoSound = true;
         return std::string();
     }},
    {"--density", true,
     [](SOptions& o, std::string_view v) {
         int n = 0;
         if (!ParseInt(v, n) || n < 0 || n > MaxDensity)
             return "--density expects a number of bolts from 0 to " + std::to_string(MaxDensity) + ", got '" +
                    std::string(v) + "'";
         o.m_nDensity = n;
         return std::string();
     }},
    {"--static-camera", false,
     [](SOptions& o, std::string_view) {
         o.m_bStaticCamera = true;
         return std::string();
     }},
    {"--module", true,
     [](SOptions& o, std::string_view v) {
         if (v.empty())
             return std::string("--module expects a bundle folder");
         o.m_Module = v;
         return std::string();
     }},
    {"--root", false,
     [](SOptions& o, std::string_view) {
         o.m_bRoot = true;
         return std::string();
     }},
    {"--window-id", true,
     [](SOptions& o, std::string_view v) {
         if (!ParseWindowId(v, o.m_WindowId))
             return "--window-id expects a window id such as 0x1a00007, got '" + std::string(v) + "'";
         return std::string();
     }},
    {"--all-screens", false,
     [](SOptions& o, std::string_view) {
         o.m_bAllScreens = true;
         return std::string();
     }},
    {"--verbose", false,
     [](SOptions& o, std::string_view) {
         o.m_bVerbose = true;
         return std::string();
     }},
    {"--help", false,
     [](SOptions& o, std::string_view) {
         o.m_bHelp = true;
         return std::string();
     }},
    {"--version", false,
     [](SOptions& o, std::string_view) {
         o.m_bVersion = true;
         return std::string();
     }},
    {"--configure", false,
     [](SOptions& o, std::string_view) {
         o.m_bConfigure = true;
         return std::string();
     }},
    {"--fps", false,
     [](SOptions& o, std::string_view) {
         o.m_bShowFps = true;
         return std::string();
     }},
    {"--x11", false,
     [](SOptions& o, std::string_view) {
         o.m_bX11 = true;
         return std::string();
     }},
    {"--background", false,
     [](SOptions& o, std::string_view) {
         o.m_bBackground = true;
         return std::string();
     }},
    {"--sound", false,
     [](SOptions& o, std::string_view) {
         o.m_bSound = true;
         return std::string();
     }},
    {"--idle", true,
     [](SOptions& o, std::string_view v) {
         int n = 0;
         if (!ParseInt(v, n) || n <= 0 || n > MaxIdleSeconds)
             return "--idle expects a whole number of seconds from 1 to " + std::to_string(MaxIdleSeconds) + ", got '" +
                    std::string(v) + "'";
         o.m_nIdleSeconds = n;
         return std::string();
     }},
    {"--render-scale", true,
     [](SOptions& o, std::string_view v) {
         if (v == "auto") {
             o.m_dRenderScale = 0.0;
             return std::string();
         }
         double f = 0.0;
         const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), f);
         if (ec != std::errc() || ptr != v.data() + v.size() || !(f >= 0.5 && f <= 1.0))
             return "--render-scale expects auto or a number from 0.5 to 1, got '" + std::string(v) + "'";
         o.m_dRenderScale = f;
         return std::string();
     }},
    {"--frame-rate", true,
     [](SOptions& o, std::string_view v) {
         int n = 0;
         if (!ParseInt(v, n) || n < 1 || n > MaxFrameRate)
             return "--frame-rate expects whole frames a second from 1 to " + std::to_string(MaxFrameRate) + ", got '" +
                    std::string(v) + "'";
         o.m_nFrameRate = n;
         return std::string();
     }},
    {"--power", true,
     [](SOptions& o, std::string_view v) {
         if (v == "auto")
             o.m_Power = EPowerPolicy::Auto;
         else if (v == "full")
             o.m_Power = EPowerPolicy::Full;
         else if (v == "pause")
             o.m_Power = EPowerPolicy::Pause;
         else
             return "--power expects auto, full or pause, got '" + std::string(v) + "'";
         return std::string();
     }},
};

} // namespace

SSaverRunSettings RunSettings(const SOptions& options)
{
    return {
        options.m_bNoSound ? 0 : -1,      options.m_nVolume,          options.m_nDensity,
        options.m_bStaticCamera ? 1 : -1, options.m_bShowFps ? 1 : 0,
    };
}

double RenderScaleOf(const SOptions& options)
{
    // A recording is a picture to look at, not a frame rate to keep.
    if (options.m_dRenderScale < 0.0)
        return options.m_bHeadless ? 1.0 : 0.0;
    return options.m_dRenderScale;
}

bool ParseWindowId(std::string_view text, unsigned long& id)
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end || value == 0)
        return false;
    id = value;
    return true;
}

bool ParseOptions(int argc, const char* const* argv, SOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        std::string twoDashes;
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            // Appended, not "-" + std::string(arg): GCC 12 at -O3 sees a bogus overlap in that.
            twoDashes.assign(1, '-').append(arg);
            arg = twoDashes;
        }
        bool inlineValue = false;
        // --size=640x360 and --size 640x360 both work.
        if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        const SOptionEntry* entry = nullptr;
        for (const SOptionEntry& s : g_Options) {
            if (arg == s.m_Name)
                entry = &s;
        }
        if (!entry) {
            error = "unknown option '" + std::string(argv[i]) + "' (see --help)";
            return false;
        }
        if (entry->m_bTakesValue && !inlineValue) {
            if (i + 1 >= argc) {
                error = std::string(entry->m_Name) + " expects a value";
                return false;
            }
            value = argv[++i];
        } else if (!entry->m_bTakesValue && inlineValue) {
            error = std::string(entry->m_Name) + " takes no value";
            return false;
        }
        error = entry->m_Apply(options, value);
        if (!error.empty())
            return false;
    }
    return true;
}

const char* UsageText()
{
    return "usage: veltrix [OPTION...]                        the saver in a window (Escape or q quits)\n"
           "       veltrix --root | --window-id ID [OPTION...]  as an XScreenSaver hack\n"
           "       veltrix --all-screens [OPTION...]          full screen on every monitor or output\n"
           "       veltrix --idle SECONDS [OPTION...]         start --all-screens after SECONDS without input\n"
           "       veltrix --background [OPTION...]           the desktop's live background (Wayland)\n"
           "       veltrix --headless [RECORDING OPTION...]   record frames without a display\n"
           "       veltrix --configure                        the settings sheet over a preview\n"
           "       veltrix --version\n"
           "Options take one dash or two. Where WAYLAND_DISPLAY names a compositor that answers, the\n"
           "window and --all-screens are shown there (a layer surface, or a full-screen window, on\n"
           "every output); --root, --window-id and --configure are X's.\n"
           "Modes:\n"
           "  --root         draw into XScreenSaver's window ($XSCREENSAVER_WINDOW), else the root\n"
           "                 window; only the process on the primary monitor plays music\n"
           "  --window-id ID draw into window ID (0x... or decimal) as the settings preview (no music)\n"
           "  --all-screens  one full-screen view per monitor; a key, a button or moving the pointer quits\n"
           "  --x11          the window or --all-screens on the X display even on a Wayland session\n"
           "  --background   a background-layer surface on every output, under the windows, until\n"
           "                 SIGTERM or SIGINT; no music unless --sound (on X, --root is the background)\n"
           "  --idle SECONDS stay running on a Wayland desktop: after SECONDS without input show\n"
           "                 --all-screens with these settings, stop it on input, and again\n"
           "  --headless     record into DIR/frame-00001.png onwards\n"
           "  --configure    edit the stored settings in the saver's sheet, over a small preview;\n"
           "                 closing it (Close, Enter, Escape) stores them\n"
           "Settings for this run (never stored):\n"
           "  --no-sound       no music\n"
           "  --sound          music for --background, which is silent without it\n"
           "  --volume N       music volume in percent (default 30)\n"
           "  --density N      plasma density (number of bolts), 0 to 1000 (default 100)\n"
           "  --static-camera  random fixed viewpoints instead of the camera flights\n"
           "  --frame-rate FPS frames a second, 1 to 240 (default 30); the scene keeps its speed\n"
           "  --power MODE     on battery or in power-saver mode: auto draws at half the frame\n"
           "                   rate (default), full keeps it, pause shows a still picture\n"
           "                   while the music plays on\n"
           "Other options:\n"
           "  --module DIR     load this saver bundle instead of the one beside the program\n"
           "  --audio FILE     record what the saver plays into a WAVE file (music plays on the\n"
           "                   main screen only; in step with the frames when recording paced)\n"
           "  --verbose        one line per view, and how long the first frames took, on stderr\n"
           "  --fps            frame rate, frame time (ms) and render scale in the top-left corner\n"
           "  --render-scale auto|F  draw frames at F (0.5 to 1) times the window's size and scale\n"
           "                   them up; auto (the default; 1 when recording) lowers it while the\n"
           "                   renderer cannot keep the frame rate\n"
           "Recording options:\n"
           "  --size WxH    picture size (default 1280x720); also the window's size\n"
           "  --frames N    number of frames (default 300, 10 s at 30 frames a second)\n"
           "  --output DIR  folder for the frames (default out/, created if missing)\n"
           "  --preview     run as the settings-window preview (no fade-in, no music)\n"
           "  --secondary   run as a secondary screen (neither main screen nor preview)\n"
           "  --pack FILE   read this pack instead of the bundle's media.dat\n"
           "  --no-pacing   render back to back on a virtual clock that advances a frame interval\n"
           "                (1/30 s, or 1/FPS with --frame-rate) a frame\n"
           "                (same frames every run; for measuring)\n";
}
