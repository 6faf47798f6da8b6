// The settings sheet of VeltrixScreenSaverView: values move from the settings
// record into the controls when the sheet is loaded or reset, and from the
// controls into the record and the store when it is closed.
#include "saver/VeltrixScreenSaverView.h"

#include "platform/Bundle.h"
#include "platform/MessageBox.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/Sheet.h"

#include <iterator>
#include <string>

namespace {
Bundle SheetBundle()
{
    return Bundle::bundleForAddress(reinterpret_cast<const void*>(&SheetBundle));
}
} // namespace

Control VeltrixScreenSaverView::configureSheet()
{
    if (!IBConfigSheet) {
        using View = VeltrixScreenSaverView;
        const SOutlet outlets[] = {
            {"IBConfigSheet", &IBConfigSheet},           {"IBVersionTextField", &IBVersionTextField},
            {"IBEnableSounds", &IBEnableSounds},         {"IBSoundVolume", &IBSoundVolume},
            {"IBSoundVolumeLabel", &IBSoundVolumeLabel}, {"IBStaticCamera", &IBStaticCamera},
            {"IBPlasmaDensity", &IBPlasmaDensity},
        };
        const SAction actions[] = {
            MakeAction<View, &View::soundCheck>("soundCheck:"),
            MakeAction<View, &View::resetSheet>("resetSheet:"),
            MakeAction<View, &View::closeSheet>("closeSheet:"),
        };
        const Bundle bundle = SheetBundle();
        // A missing interface file leaves every outlet nil, so what follows
        // does nothing and the next request tries again.
        loadNibNamed(bundle, "ConfigureSheet", this, outlets, std::size(outlets), actions, std::size(actions));
        const auto version = bundle.infoDictionary().find("CFBundleVersion");
        IBVersionTextField.setStringValue(version != bundle.infoDictionary().end() ? version->second : "");
        setDialogValues();
    }
    return IBConfigSheet;
}

void VeltrixScreenSaverView::writeDefaults()
{
    ScreenSaverDefaults defaults = ScreenSaverDefaults::defaultsForModuleWithName(moduleName());
    settings.m_nEnableSounds = IBEnableSounds.state();
    settings.m_nSoundVolume = IBSoundVolume.intValue();
    settings.m_nStaticCamera = IBStaticCamera.state();
    settings.m_nPlasmaDensity = IBPlasmaDensity.intValue();
    defaults.setIntegerForKey(settings.m_nSoundVolume, "SoundVolume");
    defaults.setIntegerForKey(settings.m_nEnableSounds, "EnableSounds");
    defaults.setIntegerForKey(settings.m_nStaticCamera, "StaticCamera");
    defaults.setIntegerForKey(settings.m_nPlasmaDensity, "PlasmaDensity");
    std::string error;
    if (!defaults.synchronize(&error)) {
        // The sheet closes anyway, so this is the user's only chance to learn that nothing was kept.
        const std::string message = "The settings could not be saved to " + defaults.path() + ": " + error +
                                    ". The settings stored before are unchanged.";
        SaverMessageBox("Veltrix settings not saved", message.c_str());
    }
}

void VeltrixScreenSaverView::setDialogValues()
{
    IBEnableSounds.setState(settings.m_nEnableSounds ? 1 : 0);
    IBSoundVolume.setIntValue(settings.m_nSoundVolume);
    IBSoundVolume.setEnabled(IBEnableSounds.state() != 0);
    IBSoundVolumeLabel.setEnabled(IBEnableSounds.state() != 0);
    IBStaticCamera.setState(settings.m_nStaticCamera ? 1 : 0);
    IBPlasmaDensity.setIntValue(settings.m_nPlasmaDensity);
}

void VeltrixScreenSaverView::soundCheck(Control)
{
    const bool on = IBEnableSounds.state() != 0;
    IBSoundVolume.setEnabled(on);
    IBSoundVolumeLabel.setEnabled(on);
}

void VeltrixScreenSaverView::resetSheet(Control)
{
    settings.Reset();
    setDialogValues();
}

void VeltrixScreenSaverView::closeSheet(Control)
{
    // A sheet never loaded has no controls: their readings of 0 are no
    // settings of the user's and must not replace the stored ones.
    if (!IBConfigSheet)
        return;
    writeDefaults();
    endSheet(IBConfigSheet);
}
