#include "saver/VeltrixScreenSaverView.h"

#include "pack/PackReader.h"
#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/OpenGLView.h"
#include "platform/SaverModule.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/Sheet.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

std::string g_ResourcePathOverride;
bool g_bShowFrameRate = false;

// Any symbol of the module finds the bundle it was loaded from.
Bundle ModuleBundle()
{
    return Bundle::bundleForAddress(reinterpret_cast<const void*>(&ModuleBundle));
}

// Whole pixels of a size, truncated toward zero; what is no size at all
// (negative, NaN) is none.
GLsizei Pixels(double side)
{
    if (!(side > 0.0))
        return 0;
    return side >= 2147483647.0 ? 2147483647 : static_cast<GLsizei>(side);
}

} // namespace

VeltrixScreenSaverView::VeltrixScreenSaverView(const SSaverTarget& target)
    : ScreenSaverView(target)
    , glView(nullptr)
    , isMainScreen(false)
{
    settings.m_nUseDesktopBitmap = 0;
    settings.m_pScreenBuf = nullptr;
}

VeltrixScreenSaverView::~VeltrixScreenSaverView()
{
    releaseSheet(IBConfigSheet);
    if (settings.m_pScreenBuf) {
        std::free(settings.m_pScreenBuf);
        settings.m_pScreenBuf = nullptr;
    }
    if (glView) {
        glView->removeFromSuperview();
        delete glView;
        glView = nullptr;
    }
}

bool VeltrixScreenSaverView::initWithFrame(const SRect& frame, bool isPreview)
{
    // The origin alone decides; -0.0 == 0.0 holds and a NaN compares unequal.
    isMainScreen = frame.x == 0.0 && frame.y == 0.0;
    if (!ScreenSaverView::initWithFrame(frame, isPreview))
        return false;

    // Depth 16, double buffer, any renderer, minimum policy, any renderer again.
    const uint32_t attributes[] = {12, 16, 5, 1, 51, 1, 0};
    OpenGLPixelFormat* format = OpenGLPixelFormat::initWithAttributes(attributes);
    glView = format ? OpenGLView::initWithFrame(ZeroRect, format, target()) : nullptr;
    delete format;
    if (!glView) {
        SaverLog("Couldn't initialize OpenGL view.");
        return false;
    }
    addSubview(glView);
    setUpOpenGL();

    // Swaps wait for the vertical retrace.
    const int swapInterval = 1;
    glView->openGLContext()->makeCurrentContext();
    glView->openGLContext()->setValues(&swapInterval, OpenGLCPSwapInterval);
    OpenGLContext::clearCurrentContext();

    setAnimationTimeInterval(1.0 / 30.0);
    if (!performGammaFade())
        glView->setHidden(true);
    return true;
}

void VeltrixScreenSaverView::setUpOpenGL()
{
    const std::string pack =
        g_ResourcePathOverride.empty() ? ModuleBundle().pathForResource("media", "dat") : g_ResourcePathOverride;
    // A missing pack is no failure here: every load then finds nothing and the
    // scene shows its error picture.
    CPackReader::Init(pack.empty() ? nullptr : pack.c_str());
}

void VeltrixScreenSaverView::setFrameSize(const SSize& size)
{
    ScreenSaverView::setFrameSize(size);
    glView->setFrameSize(size);
    glView->openGLContext()->makeCurrentContext();
    glViewport(0, 0, Pixels(size.width), Pixels(size.height));
    glView->openGLContext()->update();
}

void VeltrixScreenSaverView::startAnimation()
{
    ScreenSaverView::startAnimation();
    if (!performGammaFade())
        glView->setHidden(false);
    glView->openGLContext()->makeCurrentContext();
    readDefaults();
    settings.m_bPreview = isPreview();
    settings.m_bMainScreen = isMainScreen;
    m_Saver.Init(&settings);
    if (g_bShowFrameRate)
        m_FrameRate.Load();
    // Two frames before the host's first tick.
    animateOneFrame();
    animateOneFrame();
}

void VeltrixScreenSaverView::animateOneFrame()
{
    glView->openGLContext()->makeCurrentContext();
    if (m_pFrameCallback)
        m_pFrameCallback(m_pFrameContext, SAVER_FRAME_BEGIN);
    m_FrameRate.FrameBegan();
    m_Saver.Draw();
    m_FrameRate.Draw(frame().width, frame().height, renderScale());
    glFlush();
    glView->openGLContext()->flushBuffer();
    m_FrameRate.FramePresented();
    if (m_pFrameCallback)
        m_pFrameCallback(m_pFrameContext, SAVER_FRAME_PRESENTED);
}

void VeltrixScreenSaverView::stopAnimation()
{
    // The drawer deletes its textures, which needs the context.
    glView->openGLContext()->makeCurrentContext();
    m_FrameRate.Unload();
    m_Saver.Done();
    ScreenSaverView::stopAnimation();
}

void VeltrixScreenSaverView::drawRect(const SRect& rect)
{
    // The host fades the display and the OpenGL view covers the whole view:
    // there is nothing of the view itself to paint.
    if (performGammaFade())
        return;
    ScreenSaverView::drawRect(rect);
}

void VeltrixScreenSaverView::readDefaults()
{
    ScreenSaverDefaults defaults = ScreenSaverDefaults::defaultsForModuleWithName(moduleName());
    settings.Reset();
    // Stored settings are written all four at once; without the volume none were.
    if (defaults.hasObjectForKey("SoundVolume")) {
        settings.m_nSoundVolume = static_cast<int32_t>(defaults.integerForKey("SoundVolume"));
        settings.m_nEnableSounds = static_cast<int32_t>(defaults.integerForKey("EnableSounds"));
        settings.m_nStaticCamera = static_cast<int32_t>(defaults.integerForKey("StaticCamera"));
        settings.m_nPlasmaDensity = static_cast<int32_t>(defaults.integerForKey("PlasmaDensity"));
    }
    // A setting of this run decides its own key and leaves the others as read.
    const std::pair<const char*, int32_t SCONFIG::*> runKeys[] = {
        {"SoundVolume", &SCONFIG::m_nSoundVolume},
        {"EnableSounds", &SCONFIG::m_nEnableSounds},
        {"StaticCamera", &SCONFIG::m_nStaticCamera},
        {"PlasmaDensity", &SCONFIG::m_nPlasmaDensity},
    };
    for (const auto& [key, field] : runKeys) {
        if (const auto value = ScreenSaverDefaults::argumentForKey(key))
            settings.*field = static_cast<int32_t>(*value);
    }
}

void VeltrixScreenSaverView::setFrameCallback(FrameCallback callback, void* context)
{
    m_pFrameCallback = callback;
    m_pFrameContext = callback ? context : nullptr;
}

void VeltrixScreenSaverView::setShowFrameRate(bool show)
{
    g_bShowFrameRate = show;
}

void VeltrixScreenSaverView::setResourcePathOverride(const std::string& pack)
{
    g_ResourcePathOverride = pack;
}

std::string VeltrixScreenSaverView::moduleName()
{
    // A bundle whose info file is missing or damaged must not move the
    // settings to another file, so the built-in identifier stands in.
    const std::string identifier = ModuleBundle().bundleIdentifier();
    return identifier.empty() ? VELTRIX_BUNDLE_IDENTIFIER : identifier;
}
