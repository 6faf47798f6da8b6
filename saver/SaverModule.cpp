// The module's one exported entry point and the table of hooks behind it.
// The host only ever holds SSaverView pointers, which are our views.
#include "core/Util.h"
#include "platform/Bundle.h"
#include "platform/SaverModule.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/Sheet.h"
#include "saver/VeltrixScreenSaverView.h"

#include <new>
#include <string>

namespace {

VeltrixScreenSaverView* View(SSaverView* view)
{
    return reinterpret_cast<VeltrixScreenSaverView*>(view);
}

const VeltrixScreenSaverView* View(const SSaverView* view)
{
    return reinterpret_cast<const VeltrixScreenSaverView*>(view);
}

SSaverView* Create(const SSaverTarget* target, double x, double y, double width, double height, int preview)
{
    const SSaverTarget headless{SAVER_TARGET_HEADLESS, nullptr, 0, nullptr};
    auto* view = new (std::nothrow) VeltrixScreenSaverView(target ? *target : headless);
    if (!view)
        return nullptr;
    if (!view->initWithFrame(SRect{x, y, width, height}, preview != 0)) {
        delete view;
        return nullptr;
    }
    return reinterpret_cast<SSaverView*>(view);
}

// The identifier and version as the bundle's info file states them, with the
// built-in values where it cannot be read.
struct SModuleInfo
{
    std::string m_Identifier;
    std::string m_Version;

    SModuleInfo()
    {
        const Bundle bundle = Bundle::bundleForAddress(reinterpret_cast<const void*>(&Create));
        const auto& info = bundle.infoDictionary();
        const auto version = info.find("CFBundleVersion");
        m_Identifier = VeltrixScreenSaverView::moduleName();
        m_Version = version != info.end() && !version->second.empty() ? version->second : VELTRIX_BUNDLE_VERSION;
    }
};

const SSaverModule* Table()
{
    static const SModuleInfo info;
    static const SSaverModule table = {
        VELTRIX_SAVER_MODULE_ABI,
        info.m_Identifier.c_str(),
        info.m_Version.c_str(),
        [](const SSaverRunSettings* settings) {
            ScreenSaverDefaults::setArgumentDomain(settings);
            VeltrixScreenSaverView::setShowFrameRate(settings && settings->show_fps > 0);
        },
        Create,
        [](SSaverView* v, double width, double height) {
            View(v)->setWindowSize(SSize{width, height});
        },
        [](SSaverView* v) { View(v)->startAnimation(); },
        [](SSaverView* v) { View(v)->animateOneFrame(); },
        [](SSaverView* v) { View(v)->stopAnimation(); },
        [](SSaverView* v) { delete View(v); },
        [](const SSaverView* v) { return View(v)->animationTimeInterval(); },
        [](const SSaverView* v) { return View(v)->mainScreen() ? 1 : 0; },
        []() { return ScreenSaverView::performGammaFade() ? 1 : 0; },
        [](const SSaverView* v) { return View(v)->hasConfigureSheet() ? 1 : 0; },
        [](const char* pack) { VeltrixScreenSaverView::setResourcePathOverride(pack ? pack : ""); },
        [](double (*now)(void)) { SetTimeSourceForTesting(now); },
        [](SSaverView* v, void (*callback)(void*, int), void* context) {
            View(v)->setFrameCallback(callback, context);
        },
        [](SSaverView* v) { return View(v)->configureSheet().widget(); },
        [](SSaverView* v, unsigned long parent, void (*tick)(void*), void* context) {
            const Control sheet = View(v)->configureSheet();
            return runSheet(sheet, parent, View(v)->animationTimeInterval(), tick, context) ? 1 : 0;
        },
        [](SSaverView* v) { View(v)->closeSheet(Control()); },
        [](SSaverView* v) { View(v)->advanceOneFrame(); },
        [](SSaverView* v, double scale, const char** why) {
            static std::string reason; // the host reads it before the next call
            if (View(v)->setRenderScale(scale, reason))
                return 1;
            if (why)
                *why = reason.c_str();
            return 0;
        },
    };
    return &table;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const SSaverModule* veltrix_saver_module(int abi)
{
    return abi == VELTRIX_SAVER_MODULE_ABI ? Table() : nullptr;
}
