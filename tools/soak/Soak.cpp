// veltrix-soak: runs the saver module for a long time in one process and
// checks that nothing it holds grows: heap in use, OpenGL texture names,
// OpenAL sources and buffers, open file descriptors and threads.
//
//   veltrix-soak [--cycles N] [--frames N] [--size WxH] [--module BUNDLE]
//
// Phase 1 runs N cycles of a headless view's whole life as a host leads it:
// create, size, start (which presents two frames), one tick more, stop,
// destroy. Phase 2 runs one more view for the frames on a virtual clock,
// 1/30 s a frame. Music plays (OpenAL Soft's null output unless ALSOFT_DRIVERS
// says otherwise). Texture names are counted in the view's context after stop,
// sources and buffers while the music plays, the rest after destroy.
//
// Warm-up: the first figures are taken after the first tenth of the cycles
// (at least ten) and after the first 100 frames. Until then the driver, the
// sound engine and the C library make one-time allocations (the allocator's
// per-thread arenas and caches for the driver's threads, which reach a steady
// size within about ten cycles), which are no leak. After the warm-up the
// counted figures may not move at all. The heap is told by its trend: the
// samples after the warm-up (one a cycle, one a frame) fall into HeapWindows
// equal windows, and the heap grew only when the least of every window is
// above the least of the one before, by more than HeapSlack from the first to
// the last. The least, because while frames run the driver takes megabytes of
// scratch memory and lets them go from frame to frame; every window, because
// the driver also grows a cache or a slab once in a while, long after the
// warm-up, and keeps it: one step, not a trend, where a leak raises them all.
// Exit status 1 when a figure grew.
#include "host/app/ModuleLoader.h"
#include "tools/soak/HeapTrend.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <string>

namespace {

constexpr double FrameInterval = 1.0 / 30.0;
constexpr int WarmUpFrames = 100;
constexpr ALuint AlNames = 4096; // OpenAL Soft hands out small, reused names

double g_dNow = 1000000000.0;
double VirtualClock()
{
    return g_dNow;
}

long Entries(const char* folder)
{
    long n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        ++n;
    return n;
}

// Large blocks are mapped apart from the heap, until the allocator's moving
// threshold sends blocks of their size to the heap: both count.
long HeapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long>(m.uordblks + m.hblkhd);
}

struct SFigures
{
    long heap = 0; // bytes in use, mallinfo2
    long textures = 0; // live texture names in the view's context
    long sources = 0; // OpenAL, while a context is current
    long buffers = 0;
    long fds = 0;
    long threads = 0;
};

// The view's context is current (the module leaves it so after every hook).
SFigures Measure()
{
    SFigures f;
    f.heap = HeapInUse();
    // Names below the next one the driver would give are all it could have made.
    GLuint next = 0;
    glGenTextures(1, &next);
    glDeleteTextures(1, &next);
    for (GLuint name = 1; name < next; ++name)
        f.textures += glIsTexture(name) ? 1 : 0;
    if (alcGetCurrentContext()) {
        for (ALuint name = 1; name <= AlNames; ++name) {
            f.sources += alIsSource(name) ? 1 : 0;
            f.buffers += alIsBuffer(name) ? 1 : 0;
        }
    }
    f.fds = Entries("/proc/self/fd") - 1; // less the one reading the folder
    f.threads = Entries("/proc/self/task");
    return f;
}

// Prints the figures at both ends of a phase; false when one grew.
bool Compare(const char* phase, const SFigures& a, const SFigures& b, const CHeapTrend& heap)
{
    struct SRow
    {
        const char* name;
        long start, end;
        bool grew;
    };
    const SRow rows[] = {
        {"heap in use (bytes)*", heap.First(), heap.Last(), heap.Grew()},
        {"texture names", a.textures, b.textures, b.textures > a.textures},
        {"OpenAL sources", a.sources, b.sources, b.sources > a.sources},
        {"OpenAL buffers", a.buffers, b.buffers, b.buffers > a.buffers},
        {"open file descriptors", a.fds, b.fds, b.fds > a.fds},
        {"threads", a.threads, b.threads, b.threads > a.threads},
    };
    bool ok = true;
    std::printf("%s\n", phase);
    for (const SRow& r : rows) {
        std::printf("  %-22s %12ld %12ld%s\n", r.name, r.start, r.end, r.grew ? "  GREW" : "");
        ok = ok && !r.grew;
    }
    heap.Print();
    std::fflush(stdout);
    return ok;
}

void Progress(const char* what, long done, long total)
{
    if (total >= 10 && (done + 1) % (total / 10) == 0)
        std::fprintf(stderr, "veltrix-soak: %ld %s\n", done + 1, what);
}

void Frame(const SSaverModule& module, SSaverView* view)
{
    g_dNow += FrameInterval;
    module.animate(view);
    glFinish(); // the driver's queued work done, so it holds no frame in flight
}

SSaverView* MakeView(const SSaverModule& module, int width, int height)
{
    const SSaverTarget headless = {SAVER_TARGET_HEADLESS, nullptr, 0, nullptr};
    SSaverView* view = module.create(&headless, 0.0, 0.0, width, height, 0);
    if (!view) {
        std::fprintf(stderr, "veltrix-soak: the module could not make a view\n");
        return nullptr;
    }
    module.set_frame_size(view, width, height);
    return view;
}

bool Positive(const char* text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0;
}

bool Size(const char* text, int& width, int& height)
{
    char rest = 0;
    return std::sscanf(text, "%dx%d%c", &width, &height, &rest) == 2 && width > 0 && height > 0;
}

} // namespace

int main(int argc, char** argv)
{
    long cycles = 1000, frames = 100000;
    int width = 64, height = 64;
    std::string requested;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        bool ok = i + 1 < argc;
        if (arg == "--cycles")
            ok = ok && Positive(value, cycles);
        else if (arg == "--frames")
            ok = ok && Positive(value, frames);
        else if (arg == "--size")
            ok = ok && Size(value, width, height);
        else if (arg == "--module")
            requested = value;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr,
                         "veltrix-soak: bad argument %s; usage: veltrix-soak [--cycles N] [--frames N] "
                         "[--size WxH] [--module BUNDLE]\n",
                         arg.c_str());
            return 1;
        }
        ++i;
    }
    // No sound card here, most likely: a device that mixes into nothing still
    // makes the sources and buffers the music needs.
    setenv("ALSOFT_DRIVERS", "null", 0);

    std::string error;
    const SSaverModule* module = LoadModule(FindModuleBundle(requested), error);
    if (!module) {
        std::fprintf(stderr, "veltrix-soak: %s\n", error.c_str());
        return 1;
    }
    // Music on and the settings fixed, whatever the user stored.
    const SSaverRunSettings run = {1, 30, 100, 0, 0};
    module->set_run_settings(&run);
    module->set_time_source(&VirtualClock);
    std::printf("veltrix-soak: %ld start/stop cycles, then %ld frames, of a %dx%d view\n", cycles, frames, width,
                height);
    std::fflush(stdout);

    const long warmUpCycles = std::min(cycles, std::max(10L, cycles / 10));
    CHeapTrend cycleHeap(cycles - warmUpCycles + 1);
    SFigures cycleStart, cycleEnd;
    for (long c = 0; c < cycles; ++c) {
        SSaverView* view = MakeView(*module, width, height);
        if (!view)
            return 1;
        module->start(view);
        Frame(*module, view);
        const SFigures running = Measure(); // the music's sources and buffers exist only while it plays
        module->stop(view);
        const SFigures stopped = Measure(); // textures: what the view's context still holds
        module->destroy(view);
        SFigures& figures = c + 1 <= warmUpCycles ? cycleStart : cycleEnd;
        figures = Measure();
        figures.textures = stopped.textures;
        figures.sources = running.sources;
        figures.buffers = running.buffers;
        if (c + 1 >= warmUpCycles)
            cycleHeap.Add(c + 1 - warmUpCycles, figures.heap);
        Progress("cycles", c, cycles);
    }
    if (cycles == warmUpCycles)
        cycleEnd = cycleStart;
    char phase[96];
    std::snprintf(phase, sizeof phase, "start/stop cycles (after cycle %ld, after the last)", warmUpCycles);
    bool ok = Compare(phase, cycleStart, cycleEnd, cycleHeap);
    if (cycleStart.sources == 0)
        std::printf("  (no OpenAL device: the sound figures are not measured)\n");

    SSaverView* view = MakeView(*module, width, height);
    if (!view)
        return 1;
    module->start(view);
    const long warmUp = std::min<long>(WarmUpFrames, frames);
    CHeapTrend frameHeap(frames - warmUp + 1);
    SFigures frameStart;
    for (long f = 0; f < frames; ++f) {
        Frame(*module, view);
        if (f + 1 == warmUp)
            frameStart = Measure();
        if (f + 1 >= warmUp)
            frameHeap.Add(f + 1 - warmUp, HeapInUse());
        Progress("frames", f, frames);
    }
    const SFigures frameEnd = Measure();
    ok = Compare("frames (after the first 100, after the last)", frameStart, frameEnd, frameHeap) && ok;
    module->stop(view);
    module->destroy(view);
    module->set_time_source(nullptr);
    module->set_run_settings(nullptr);
    if (!ok)
        std::fprintf(stderr, "veltrix-soak: a figure grew\n");
    return ok ? 0 : 1;
}
