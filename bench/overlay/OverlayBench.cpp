// What the --fps overlay adds to a frame, on llvmpipe at 1280x720.
//   BM_OverlayCalls          FrameBegan + Draw + FramePresented: the calls our thread makes
//   BM_FinishOnly            a cleared frame and glFinish
//   BM_OverlayAndFinish      the same with the overlay drawn: the difference to
//                            BM_FinishOnly is what rasterising its 17 quads costs
#include "pack/PackReader.h"
#include "platform/HeadlessGL.h"
#include "saver/FrameRateOverlay.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {
CHeadlessGL g_GL;
CFrameRateOverlay g_Overlay;

bool SetUp()
{
    if (!CPackReader::Init(VELTRIX_MEDIA_PACK) || !g_GL.Create(1280, 720) || !g_Overlay.Load())
        return false;
    // The overlay shows text once its first half second has been measured.
    g_Overlay.FrameBegan();
    g_Overlay.FramePresented();
    std::this_thread::sleep_for(std::chrono::milliseconds(550));
    g_Overlay.FrameBegan();
    g_Overlay.FramePresented();
    return g_Overlay.Text()[0] != 0;
}

void BM_OverlayCalls(benchmark::State& state)
{
    for (auto _ : state) {
        g_Overlay.FrameBegan();
        g_Overlay.Draw(1280, 720);
        g_Overlay.FramePresented();
    }
    glFinish();
}
BENCHMARK(BM_OverlayCalls);

void BM_FinishOnly(benchmark::State& state)
{
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
    }
}
BENCHMARK(BM_FinishOnly);

void BM_OverlayAndFinish(benchmark::State& state)
{
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        g_Overlay.FrameBegan();
        g_Overlay.Draw(1280, 720);
        g_Overlay.FramePresented();
        glFinish();
    }
}
BENCHMARK(BM_OverlayAndFinish);
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!SetUp()) {
        std::fprintf(stderr, "veltrix_bench_overlay: cannot set up (no OpenGL, or no media pack at %s)\n",
                     VELTRIX_MEDIA_PACK);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    g_Overlay.Unload();
    return 0;
}
