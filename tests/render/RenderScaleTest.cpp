// The render scale: what `auto` chooses from frame times on a virtual clock,
// how the option reads, and the recorded picture of a frame drawn at half
// the size against the same frame drawn whole.
#include "tests/render/RenderTestSupport.h"

#include "host/app/Options.h"
#include "host/loop/RenderScale.h"
#include "tests/support/PngFile.h"
#include "tests/support/Program.h"

#include "tests/support/Child.h"

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

using namespace rendertest;

namespace {

constexpr double Interval = 1.0 / 30.0;

// Frames of a steady time, one every interval (or every time, when slower),
// from start for seconds; the scales the policy went through, in order.
std::vector<double> Drive(CRenderScalePolicy& policy, double& now, double seconds, double frameTime)
{
    std::vector<double> changes;
    const double end = now + seconds;
    while (now < end) {
        now += std::max(Interval, frameTime);
        if (policy.Add(now, frameTime))
            changes.push_back(policy.Scale());
    }
    return changes;
}

} // namespace

TEST(RenderScalePolicy, AFastRendererStaysWhole)
{
    CRenderScalePolicy policy(Interval);
    double now = 100.0;
    EXPECT_TRUE(Drive(policy, now, 30.0, 0.012).empty());
    EXPECT_EQ(policy.Scale(), 1.0);
}

TEST(RenderScalePolicy, ASlowRendererStepsDownToAScaleThatFitsAndStays)
{
    CRenderScalePolicy policy(Interval);
    double now = 0.0;
    // 42 ms at full size: the time follows the pixels, so 0.7 (about 21 ms) fits.
    std::vector<double> changes;
    for (int i = 0; i < 600; ++i) {
        const double frameTime = 0.042 * policy.Scale() * policy.Scale();
        now += std::max(Interval, frameTime);
        if (policy.Add(now, frameTime))
            changes.push_back(policy.Scale());
    }
    EXPECT_EQ(changes, std::vector<double>{0.7});
    EXPECT_NEAR(policy.Cause(), 0.042, 1e-9);

    // One that cannot keep up even at half size ends there.
    CRenderScalePolicy slow(Interval);
    now = 0.0;
    const std::vector<double> down = Drive(slow, now, 20.0, 0.2);
    ASSERT_FALSE(down.empty());
    EXPECT_EQ(slow.Scale(), 0.5);
    for (size_t i = 1; i < down.size(); ++i)
        EXPECT_LT(down[i], down[i - 1]);
}

TEST(RenderScalePolicy, ClearHeadroomStepsBackUpOneStepAtATime)
{
    CRenderScalePolicy policy(Interval);
    double now = 0.0;
    Drive(policy, now, 4.0, 0.2);
    ASSERT_LT(policy.Scale(), 1.0);
    const double low = policy.Scale();
    // The renderer got fast (another window closed): back up, a step per span.
    const std::vector<double> up = Drive(policy, now, 30.0, 0.005);
    ASSERT_FALSE(up.empty());
    EXPECT_GT(up.front(), low);
    EXPECT_EQ(up.back(), 1.0);
    for (size_t i = 1; i < up.size(); ++i) {
        const auto larger =
            std::find(std::begin(CRenderScalePolicy::Steps), std::end(CRenderScalePolicy::Steps), up[i]);
        ASSERT_NE(larger, std::end(CRenderScalePolicy::Steps));
        EXPECT_EQ(*(larger + 1), up[i - 1]) << "skipped a step up";
    }
    // Frames that just fit at the current scale would not fit a larger one: it stays.
    CRenderScalePolicy holding(Interval);
    now = 0.0;
    Drive(holding, now, 4.0, 0.2);
    const double held = holding.Scale();
    EXPECT_TRUE(Drive(holding, now, 20.0, 0.028).empty());
    EXPECT_EQ(holding.Scale(), held);
}

TEST(RenderScalePolicy, NeverChangesWithinTwoSeconds)
{
    CRenderScalePolicy policy(Interval);
    double now = 0.0;
    double lastChange = -1.0;
    // Alternating slow and fast spans try to make it pump.
    for (int span = 0; span < 20; ++span) {
        const double frameTime = span % 2 ? 0.004 : 0.3;
        for (int i = 0; i < 40; ++i) {
            now += 0.05;
            if (policy.Add(now, frameTime)) {
                if (lastChange >= 0.0) {
                    EXPECT_GE(now - lastChange, CRenderScalePolicy::Span - 1e-9);
                }
                lastChange = now;
            }
        }
    }
    EXPECT_GE(lastChange, 0.0);
    // Nothing is judged before a span of frames has passed.
    CRenderScalePolicy fresh(Interval);
    for (int i = 1; i < 60; ++i)
        EXPECT_FALSE(fresh.Add(i * 0.033, 1.0));
}

TEST(RenderScaleOption, AutoForWindowsOneForRecordingsAndReasonsForBadValues)
{
    const auto parse = [](std::vector<const char*> args, SOptions& options, std::string& error) {
        args.insert(args.begin(), "veltrix");
        return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
    };
    SOptions window, recording, fixed, automatic;
    std::string error;
    ASSERT_TRUE(parse({}, window, error));
    ASSERT_TRUE(parse({"--headless"}, recording, error));
    ASSERT_TRUE(parse({"--headless", "--render-scale", "0.75"}, fixed, error));
    ASSERT_TRUE(parse({"--render-scale=auto", "--headless"}, automatic, error));
    EXPECT_EQ(RenderScaleOf(window), 0.0);
    EXPECT_EQ(RenderScaleOf(recording), 1.0);
    EXPECT_EQ(RenderScaleOf(fixed), 0.75);
    EXPECT_EQ(RenderScaleOf(automatic), 0.0);
    for (const char* bad : {"0.4", "1.01", "half", "", "0.5x", "nan"}) {
        SOptions options;
        EXPECT_FALSE(parse({"--render-scale", bad}, options, error)) << bad;
        EXPECT_NE(error.find("--render-scale"), std::string::npos) << error;
    }
}

namespace {

// A glow that is brightest in its middle and fades to black at its rim, as
// the real light texture does: coarser mipmap levels of it are darker in the
// middle column the bolts read.
std::string GlowPng()
{
    const int side = 64;
    std::vector<unsigned char> rgba(side * side * 4, 255);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double dx = (x + 0.5) / side - 0.5, dy = (y + 0.5) / side - 0.5;
            const double r = std::min(1.0, std::sqrt(dx * dx + dy * dy) * 2.0);
            const auto v = static_cast<unsigned char>(255.0 * (1.0 - r) * (1.0 - r));
            unsigned char* p = &rgba[(y * side + x) * 4];
            p[0] = p[1] = p[2] = v;
        }
    return PngBytes(side, side, rgba);
}

// The mean of red, green and blue of each pixel in a box.
std::vector<double> Levels(const SPicture& frame, int x0, int y0, int w, int h)
{
    std::vector<double> levels;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            const unsigned char* p = &frame.rgba[(static_cast<size_t>(y) * frame.width + x) * 4];
            levels.push_back((p[0] + p[1] + p[2]) / 3.0);
        }
    return levels;
}

double Brightness(const SPicture& frame, int x0, int y0, int w, int h)
{
    const std::vector<double> levels = Levels(frame, x0, y0, w, h);
    return std::accumulate(levels.begin(), levels.end(), 0.0) / static_cast<double>(levels.size());
}

// What the bolts add over a box: the light above the box's median (the
// smooth glow behind them).
double BoltLight(const SPicture& frame, int x0, int y0, int w, int h)
{
    const std::vector<double> levels = Levels(frame, x0, y0, w, h);
    std::vector<double> sorted = levels;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double background = sorted[sorted.size() / 2];
    double sum = 0.0;
    for (double level : levels)
        sum += std::max(0.0, level - background);
    return sum / static_cast<double>(levels.size());
}

// Records the scene from pack with args into dir/out (the program's output
// into dir/out.err, failing the test when the program fails); frame is read.
SPicture Record(const CTempDir& dir, const std::string& pack, const std::string& out, const std::string& frame,
                std::vector<std::string> args, const Environment& env = {})
{
    args.insert(args.end(), {"--headless", "--no-pacing", "--no-sound", "--pack", pack, "--output", dir / out});
    const SProgram program = StartProgram(nullptr, args, dir / (out + ".err"), env);
    EXPECT_EQ(program.WaitForExit(300.0), 0) << program.Errors();
    return ReadPng(dir / out + "/" + frame);
}

} // namespace

// Only the bolts, their end glows, the stars and the central glow give light:
// every other texture is black. Recorded on the virtual clock, frame 100 is
// the same moment at either scale.
TEST(RenderScaleProgram, BoltsKeepTheirBrightnessAtHalfScaleAndFillTheWholeFrame)
{
    CTempDir dir;
    Entries media = FullMedia();
    media["textures/light.jpg"] = GlowPng();
    for (const char* dark : {"textures/envmap.jpg", "textures/envmap2.jpg", "textures/galaxy.jpg"})
        media[dark] = SolidPng(8, 8, 0, 0, 0);
    for (int i = 0; i < 5; ++i)
        media["textures/flare/f" + std::to_string(i) + ".jpg"] = SolidPng(4, 4, 0, 0, 0);
    const std::string pack = BuildPack(dir, "glow.dat", media);

    SPicture frames[2];
    const std::string scales[2] = {"1", "0.5"};
    for (int i = 0; i < 2; ++i) {
        frames[i] = Record(dir, pack, "f" + scales[i], "frame-00100.png",
                           {"--size", "320x200", "--frames", "100", "--density", "40", "--render-scale", scales[i]});
        ASSERT_EQ(frames[i].width, 320);
        ASSERT_EQ(frames[i].height, 200);
    }
    // The bolts reach out from the ball in the middle; the box beside it
    // holds bolts and their glows but not the ball's own glow.
    const double whole = BoltLight(frames[0], 220, 20, 100, 160);
    const double half = BoltLight(frames[1], 220, 20, 100, 160);
    ASSERT_GT(whole, 3.0) << "no bolts where they were expected";
    EXPECT_NEAR(half / whole, 1.0, 0.15) << "whole " << whole << ", half " << half;
    // The half-size frame is scaled over the whole picture, not left in a corner.
    for (const auto& [x, y, w, h] : {std::array{0, 0, 160, 100}, std::array{160, 0, 160, 100},
                                     std::array{0, 100, 160, 100}, std::array{160, 100, 160, 100}}) {
        const double a = Brightness(frames[0], x, y, w, h), b = Brightness(frames[1], x, y, w, h);
        EXPECT_NEAR(b / a, 1.0, 0.25) << "quarter at " << x << "," << y << ": " << a << " against " << b;
    }
}

TEST(RenderScaleProgram, ADriverWithoutFramebufferObjectsRecordsWholeFramesAndSaysWhy)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "full.dat", FullMedia());
    const SPicture whole =
        Record(dir, pack, "whole", "frame-00002.png", {"--size", "64x40", "--frames", "2", "--render-scale", "1"});
    // Mesa then offers OpenGL 2.1 without GL_ARB_framebuffer_object.
    const SPicture refused =
        Record(dir, pack, "f", "frame-00002.png", {"--size", "64x40", "--frames", "2", "--render-scale", "0.5"},
               {{"MESA_GL_VERSION_OVERRIDE", "2.1"}, {"MESA_EXTENSION_OVERRIDE", "-GL_ARB_framebuffer_object"}});
    ASSERT_EQ(refused.width, 64);
    ASSERT_EQ(whole.rgba.size(), refused.rgba.size());
    EXPECT_TRUE(whole.rgba == refused.rgba) << "not the frame drawn at full size";
    const std::string text = ReadWholeFile(dir / "f.err");
    EXPECT_NE(text.find("render scale 1: the driver has no framebuffer objects"), std::string::npos) << text;
}
