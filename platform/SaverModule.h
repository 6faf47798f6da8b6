// The one entry point between the veltrix host and the saver module
// (Veltrix.saver/Contents/Linux/Veltrix.so). The host dlopens the module,
// looks up VELTRIX_SAVER_MODULE_SYMBOL, calls it with the ABI version it was
// built against and gets the module's table of hooks, or null when the module
// speaks another version. Everything crosses as plain C types: the host's X11
// and Wayland objects travel as opaque values, so the module's code never sees the host's
// headers and the host never sees the module's classes.
//
// Lifecycle the host follows for every view (one per screen):
//   create -> set_frame_size (the real size; the view is made with its frame
//   but its OpenGL surface is sized only here) -> start -> animate every
//   animation_interval seconds -> stop -> destroy.
// create returns null when the view cannot be made (the module has then logged
// its one line). Every hook runs on the host's main thread.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define VELTRIX_SAVER_MODULE_ABI 3
#define VELTRIX_SAVER_MODULE_SYMBOL "veltrix_saver_module"

// Where a view draws, by kind:
//   SAVER_TARGET_HEADLESS         nothing: the view draws through EGL into an
//                                 offscreen surface that the host reads back.
//   SAVER_TARGET_X11_WINDOW       display is the host's X connection (an X11
//                                 Display*), window the X window the view covers.
//   SAVER_TARGET_WAYLAND_SURFACE  display is the host's wl_display*, surface
//                                 the wl_surface the view draws into. The host
//                                 keeps the surface's role, buffer scale and
//                                 frame callbacks; the view's frame size is in
//                                 buffer pixels, and each presented frame
//                                 commits the surface.
enum
{
    SAVER_TARGET_HEADLESS = 0,
    SAVER_TARGET_X11_WINDOW = 1,
    SAVER_TARGET_WAYLAND_SURFACE = 2,
};

typedef struct SSaverTarget
{
    int kind; // SAVER_TARGET_...
    void* display;
    unsigned long window;
    void* surface;
} SSaverTarget;

// Settings for this run only, never stored: they sit in front of the stored
// settings (an argument domain). A field left at its "unset" value does not
// take part; see ScreenSaverDefaults.h for how the two domains combine.
typedef struct SSaverRunSettings
{
    int enable_sounds; // 0 or 1; -1 unset (--no-sound gives 0)
    int sound_volume; // percent; -1 unset
    int plasma_density; // bolts; -1 unset
    int static_camera; // 0 or 1; -1 unset
    int show_fps; // 1: frame rate and frame time drawn over every frame; never stored
} SSaverRunSettings;

typedef struct SSaverView SSaverView; // opaque: the module's view object

typedef struct SSaverModule
{
    int abi; // VELTRIX_SAVER_MODULE_ABI
    const char* identifier; // bundle identifier, "org.veltrix.Veltrix"
    const char* version; // "CFBundleVersion"

    // Process-wide; call before the first create. Null clears the domain.
    void (*set_run_settings)(const SSaverRunSettings* settings);

    SSaverView* (*create)(const SSaverTarget* target, double x, double y, double width, double height, int preview);
    void (*set_frame_size)(SSaverView* view, double width, double height);
    void (*start)(SSaverView* view);
    void (*animate)(SSaverView* view); // one frame, presented; the view's context stays current
    void (*stop)(SSaverView* view);
    void (*destroy)(SSaverView* view);
    double (*animation_interval)(const SSaverView* view); // seconds between animate calls
    int (*is_main_screen)(const SSaverView* view);
    int (*perform_gamma_fade)(void);
    int (*has_configure_sheet)(const SSaverView* view);

    // For the recording host; a desktop host needs none of these.
    // Process-wide: the pack that views created from now on open instead of
    // the bundle's media.dat (a copy is kept); null restores the bundle's.
    void (*set_resource_path)(const char* pack);
    // Process-wide: the clock the scene reads, in seconds; null is the wall clock.
    void (*set_time_source)(double (*now)(void));
    // Called at the start of every frame of the view (with the view's context
    // current, event SAVER_FRAME_BEGIN) and after it was presented
    // (SAVER_FRAME_PRESENTED), including the two frames that start renders;
    // a null callback removes it.
    void (*set_frame_callback)(SSaverView* view, void (*callback)(void* context, int event), void* context);

    // The view's settings sheet, as a desktop host's settings window shows
    // it. configure_sheet: the sheet window (opaque), loaded at the first
    // call; null while it cannot be loaded (no display, no interface file),
    // and a later call tries again. run_sheet: shows it over the X window
    // parent (0: none) and returns once the user closed it (which stores the
    // settings), calling tick(context) every animation interval meanwhile so
    // the host's preview keeps moving; 0 when there is no sheet to show.
    // close_sheet: what the sheet's Close button does (stores, then ends a
    // running run_sheet), for a host whose own window was closed under it.
    void* (*configure_sheet)(SSaverView* view);
    int (*run_sheet)(SSaverView* view, unsigned long parent, void (*tick)(void* context), void* context);
    void (*close_sheet)(SSaverView* view);

    // A tick of a view nobody can see: its frame's time passes, nothing is
    // drawn or presented and no context is needed, so the main screen keeps
    // the shared camera and the music on their schedule.
    void (*advance)(SSaverView* view);

    // Frames of the view drawn at scale (0.5 to 1) times its frame size and
    // scaled up over the whole of it when presented: cheaper on a renderer
    // that cannot fill every pixel in time. 1 draws straight into the
    // window, as a new view does. 1 when done; 0 when the driver cannot (no
    // framebuffer objects or blits) or the scale is out of range: the view
    // keeps its scale and *why (unless why is null) says why, valid until
    // the next call. Needs no context current.
    int (*set_render_scale)(SSaverView* view, double scale, const char** why);
} SSaverModule;

enum
{
    SAVER_FRAME_BEGIN = 0,
    SAVER_FRAME_PRESENTED = 1,
};

typedef const SSaverModule* (*PFNVELTRIXSAVERMODULE)(int abi);

#ifdef __cplusplus
}
#endif
