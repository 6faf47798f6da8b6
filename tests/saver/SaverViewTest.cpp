// The saver's view on headless OpenGL: where it is the main screen, what it
// asks of the pixel format, its viewport, its start-up frames; and the
// program failing cleanly when no OpenGL view can be made.
#include "saver/VeltrixScreenSaverView.h"

#include "core/SoundGain.h"
#include "core/Util.h"
#include "host/app/Options.h"
#include "platform/OpenGLView.h"
#include "tests/saver/SaverTestSupport.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>
#include <sys/wait.h>

namespace {

using ViewTest = SettingsFolderTest;

std::unique_ptr<VeltrixScreenSaverView> MakeView(double x, double y, bool preview = false)
{
    auto view = std::make_unique<VeltrixScreenSaverView>(SSaverTarget{SAVER_TARGET_HEADLESS, nullptr, 0, nullptr});
    if (!view->initWithFrame(SRect{x, y, 64.0, 40.0}, preview))
        return nullptr;
    return view;
}

std::array<GLint, 4> Viewport()
{
    std::array<GLint, 4> v{-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

} // namespace

TEST_F(ViewTest, MainScreenIsDecidedByTheOriginAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct SCase
    {
        double x, y;
        bool preview;
        bool main;
    };
    for (const SCase& c : {SCase{0.0, 0.0, false, true}, SCase{0.0, 0.0, true, true}, SCase{-0.0, 0.0, false, true},
                           SCase{1440.0, 0.0, false, false}, SCase{0.0, -900.0, false, false},
                           SCase{nan, 0.0, false, false}, SCase{0.0, nan, false, false}}) {
        auto view = MakeView(c.x, c.y, c.preview);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->mainScreen(), c.main) << c.x << ", " << c.y;
    }
}

TEST_F(ViewTest, AsksForDepth16DoubleBufferedAnyRendererMinimumPolicy)
{
    auto view = MakeView(0.0, 0.0);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->openGLView()->pixelFormat().attributes(), (std::vector<uint32_t>{12, 16, 5, 1, 51, 1, 0}));
    EXPECT_FALSE(view->openGLView()->isHidden());
    EXPECT_DOUBLE_EQ(view->animationTimeInterval(), 1.0 / 30.0);
    EXPECT_TRUE(view->hasConfigureSheet());
}

TEST_F(ViewTest, ViewportTruncatesTheSizeTowardZero)
{
    auto view = MakeView(0.0, 0.0);
    ASSERT_TRUE(view);
    view->setFrameSize(SSize{1023.7, 767.9});
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 1023, 767}));
    view->setFrameSize(SSize{0.0, 0.0});
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 0, 0}));
}

TEST_F(ViewTest, StartPresentsTwoFramesAtOnceAndEachTickOneMore)
{
    auto view = MakeView(0.0, 0.0, true);
    ASSERT_TRUE(view);
    view->setFrameSize(SSize{64.0, 40.0});
    std::vector<int> events;
    view->setFrameCallback([](void* c, int event) { static_cast<std::vector<int>*>(c)->push_back(event); }, &events);

    view->startAnimation();
    EXPECT_EQ(events,
              (std::vector<int>{SAVER_FRAME_BEGIN, SAVER_FRAME_PRESENTED, SAVER_FRAME_BEGIN, SAVER_FRAME_PRESENTED}));
    EXPECT_TRUE(view->settingsRecord().m_bPreview);
    EXPECT_TRUE(view->settingsRecord().m_bMainScreen);
    view->animateOneFrame();
    EXPECT_EQ(events.size(), 6u);
    view->stopAnimation();
    EXPECT_EQ(events.size(), 6u);
}

double g_dVirtualNow = 1000.0;

TEST_F(ViewTest, AnUnseenMainScreenKeepsTheCameraCycleAndTheMusicScheduleWithoutDrawing)
{
    WriteSettings("[Defaults]\nEnableSounds=0\nSoundVolume=30\nPlasmaDensity=2\nStaticCamera=0\n");
    SetTimeSourceForTesting([] { return g_dVirtualNow; });
    VeltrixScreenSaverView::setResourcePathOverride(VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Resources/media.dat");
    auto view = MakeView(0.0, 0.0);
    VeltrixScreenSaverView::setResourcePathOverride("");
    ASSERT_TRUE(view);
    view->setFrameSize(SSize{64.0, 40.0});
    view->startAnimation();
    std::vector<int> events;
    view->setFrameCallback([](void* c, int event) { static_cast<std::vector<int>*>(c)->push_back(event); }, &events);
    // The first track fades in from silence; the other is first heard in a
    // cross-fade at 20 s of the first or the second 23-second cycle.
    float loudest[2] = {0.0f, 0.0f};
    for (int i = 0; i < 30 * 48; ++i) {
        g_dVirtualNow += 1.0 / 30.0;
        view->advanceOneFrame();
        for (int k = 0; k < 2; ++k)
            loudest[k] = std::max(loudest[k], g_SoundGain[k]);
    }
    EXPECT_EQ(std::max(loudest[0], loudest[1]), 1.0f);
    EXPECT_GT(std::min(loudest[0], loudest[1]), 0.0f);
    EXPECT_TRUE(events.empty()) << "an advanced frame was drawn";
    view->stopAnimation();
    SetTimeSourceForTesting(nullptr);
}

TEST_F(ViewTest, ZeroSizeAndOnePixelFramesDrawAndTheFullSizeComesBack)
{
    VeltrixScreenSaverView::setResourcePathOverride(VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Resources/media.dat");
    auto view = std::make_unique<VeltrixScreenSaverView>(SSaverTarget{SAVER_TARGET_HEADLESS, nullptr, 0, nullptr});
    ASSERT_TRUE(view->initWithFrame(SRect{0.0, 0.0, 0.0, 0.0}, true));
    VeltrixScreenSaverView::setResourcePathOverride("");
    view->setFrameSize(SSize{0.0, 0.0});
    view->startAnimation();
    for (const SSize size : {SSize{0.0, 0.0}, SSize{1.0, 1.0}, SSize{64.0, 40.0}}) {
        view->setFrameSize(size);
        view->animateOneFrame();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << size.width;
    }
    // The scene, or the error picture without a pack: something lit either way.
    std::vector<unsigned char> rgba(64 * 40 * 4);
    glReadPixels(0, 0, 64, 40, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    int brightest = 0;
    for (size_t i = 0; i < rgba.size(); i += 4)
        brightest = std::max({brightest, int{rgba[i]}, int{rgba[i + 1]}, int{rgba[i + 2]}});
    EXPECT_GT(brightest, 64);
    view->stopAnimation();
}

TEST(SaverProgram, NoOpenGLViewGivesTheOneLogLineAndNoRecording)
{
    CTempDir dir;
    // No EGL vendor at all: the view's OpenGL view cannot be made.
    const std::string command = "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json " VELTRIX_BINARY_DIR
                                "/veltrix --headless --frames 2 --size 32x20 --output " +
                                (dir / "frames") + " 2>" + (dir / "err.txt");
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    std::ifstream in(dir / "err.txt");
    const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(err, "veltrix: Couldn't initialize OpenGL view.\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "frames/frame-00001.png"));
}

TEST(SaverProgram, PrintsTheBundleVersionAndNamesAModuleThatDoesNotLoad)
{
    CTempDir dir;
    std::ofstream(dir / "not-a-module.so") << "text";
    std::filesystem::create_directories(dir / "Bad.saver/Contents/Linux");
    std::filesystem::copy_file(dir / "not-a-module.so", dir / "Bad.saver/Contents/Linux/Veltrix.so");
    // A copy of the bundle reads its own info file.
    std::filesystem::create_directories(dir / "Copy.saver/Contents/Linux");
    std::filesystem::copy_file(VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Linux/Veltrix.so",
                               dir / "Copy.saver/Contents/Linux/Veltrix.so");
    std::ofstream(dir / "Copy.saver/Contents/Info.ini") << "[Bundle]\nCFBundleIdentifier=org.veltrix.Veltrix\n"
                                                           "CFBundleVersion=9.8.7\n";
    struct SCase
    {
        std::string args;
        int status;
        std::string out;
        std::string errStart;
    };
    const SCase cases[] = {
        {"--version", 0, "veltrix " VELTRIX_BUNDLE_VERSION "\n", ""},
        {"--module " + (dir / "Copy.saver") + " --version", 0, "veltrix 9.8.7\n", ""},
        {"--module " + (dir / "missing.saver") + " --version", 1, "",
         "veltrix: cannot load module " + (dir / "missing.saver")},
        {"--module " + (dir / "Bad.saver") + " --headless", 1, "",
         "veltrix: cannot load module " + (dir / "Bad.saver")},
    };
    for (const SCase& c : cases) {
        const std::string command =
            VELTRIX_BINARY_DIR "/veltrix " + c.args + " >" + (dir / "out.txt") + " 2>" + (dir / "err.txt");
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.args;
        std::ifstream out(dir / "out.txt"), err(dir / "err.txt");
        const std::string o((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
        const std::string e((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        EXPECT_EQ(o, c.out) << c.args;
        EXPECT_EQ(e.rfind(c.errStart, 0), 0u) << e;
        EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), c.errStart.empty() ? 0 : 1) << e;
    }
}

TEST(SaverProgram, RunSettingOptions)
{
    const char* good[] = {"veltrix", "--density", "7", "--static-camera", "--module", "x/V.saver"};
    SOptions o;
    std::string error;
    ASSERT_TRUE(ParseOptions(6, good, o, error)) << error;
    EXPECT_EQ(o.m_nDensity, 7);
    EXPECT_TRUE(o.m_bStaticCamera);
    EXPECT_EQ(o.m_Module, "x/V.saver");
    SOptions unset;
    EXPECT_EQ(unset.m_nDensity, -1);
    EXPECT_FALSE(unset.m_bStaticCamera);
    for (const char* density : {"-1", "1001", "many"}) {
        const char* bad[] = {"veltrix", "--density", density};
        EXPECT_FALSE(ParseOptions(3, bad, o, error)) << density;
        EXPECT_NE(error.find("--density"), std::string::npos);
    }
}
