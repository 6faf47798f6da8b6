// What showing a scaled frame costs on top of drawing it: the headless
// OpenGL view at a shown size, its frames at a share of it.
//   BM_ClearOnly/W/H/P       clear the window-sized frame + glFinish (no scale)
//   BM_ClearAndBlit/W/H/P    clear the frame at P % of W x H, blit it over
//                            W x H with linear filtering + glFinish
// The difference is the blit. Per-frame median in the median_ms counter.
#include "platform/OpenGLView.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint32_t SaverWords[] = {12, 16, 5, 1, 51, 1, 0};

void Run(benchmark::State& state, bool scaled)
{
    const double width = static_cast<double>(state.range(0)), height = static_cast<double>(state.range(1));
    const double scale = scaled ? static_cast<double>(state.range(2)) / 100.0 : 1.0;
    std::unique_ptr<OpenGLPixelFormat> format(OpenGLPixelFormat::initWithAttributes(SaverWords));
    std::unique_ptr<OpenGLView> view(OpenGLView::initWithFrame(ZeroRect, format.get(), {}));
    std::string why;
    if (!view || !view->canScaleFrames(why)) {
        state.SkipWithError(("no scaled frames: " + why).c_str());
        return;
    }
    view->setShownSize({width, height});
    view->setFrameSize(
        {std::max(1.0, std::floor(width * scale + 0.5)), std::max(1.0, std::floor(height * scale + 0.5))});
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        view->openGLContext()->makeCurrentContext();
        glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        view->openGLContext()->flushBuffer();
        glFinish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    state.counters["median_ms"] = times[times.size() / 2];
}

void BM_ClearOnly(benchmark::State& state)
{
    Run(state, false);
}

void BM_ClearAndBlit(benchmark::State& state)
{
    Run(state, true);
}

} // namespace

BENCHMARK(BM_ClearOnly)
    ->Args({1920, 1080, 100})
    ->Args({1280, 720, 100})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(100);
BENCHMARK(BM_ClearAndBlit)
    ->Args({1920, 1080, 50})
    ->Args({1920, 1080, 60})
    ->Args({1280, 720, 70})
    ->Args({1280, 720, 50})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(100);
BENCHMARK_MAIN();
