// VeltrixScreenSaverView: the saver's view, one per screen the host covers.
// It owns an OpenGL view covering it, its settings record and its saver core.
// Lifecycle (the host's order): initWithFrame (false: the OpenGL view could
// not be made, one log line; delete the object) -> setFrameSize ->
// startAnimation (reads the stored settings, builds the scene, presents two
// frames) -> animateOneFrame every animationTimeInterval -> stopAnimation ->
// delete. The view is on the main screen exactly when its frame's origin is
// (0, 0); only the main screen moves the shared camera and plays music.
#pragma once

#include "core/Config.h"
#include "core/ScreenSaver.h"
#include "platform/Controls.h"
#include "platform/ScreenSaverView.h"
#include "saver/FrameRateOverlay.h"

#include <string>

class OpenGLView;

class VeltrixScreenSaverView : public ScreenSaverView
{
public:
    explicit VeltrixScreenSaverView(const SSaverTarget& target);
    ~VeltrixScreenSaverView() override; // releases what it owns; stop it first

    bool initWithFrame(const SRect& frame, bool isPreview) override;
    void setFrameSize(const SSize& size) override;
    void startAnimation() override;
    void animateOneFrame() override;
    void stopAnimation() override;
    void drawRect(const SRect& rect) override;
    bool hasConfigureSheet() const override { return true; }

    void setUpOpenGL(); // opens the resource pack
    void readDefaults(); // the stored settings, then this run's, into the settings record

    // The settings sheet (ConfigureSheet.cpp). configureSheet loads it at the
    // first request and fills the controls from the settings record then
    // only; nil while its interface file cannot be loaded. Closing a loaded
    // sheet always stores what the controls show; closing one that was never
    // loaded stores nothing.
    Control configureSheet();
    void writeDefaults();
    void setDialogValues();
    void soundCheck(Control sender);
    void resetSheet(Control sender);
    void closeSheet(Control sender);

    // Called at the start of every frame and after it was presented (events of
    // SaverModule.h); null removes it.
    using FrameCallback = void (*)(void* context, int event);
    void setFrameCallback(FrameCallback callback, void* context);

    // The pack that views created from now on open instead of the bundle's
    // (the recording host's --pack); empty restores the bundle's.
    static void setResourcePathOverride(const std::string& pack);

    // Frame rate and frame time over every frame of views started from now
    // on (the host's --fps).
    static void setShowFrameRate(bool show);

    // The bundle identifier that names the settings store.
    static std::string moduleName();

    OpenGLView* openGLView() const { return glView; }
    const SCONFIG& settingsRecord() const { return settings; }
    bool mainScreen() const { return isMainScreen; }

private:
    OpenGLView* glView; // owned
    SCONFIG settings;
    CScreenSaver m_Saver;
    bool isMainScreen;

    CFrameRateOverlay m_FrameRate; // loaded at start when the frame rate is shown

    // The sheet's outlets, nil until it is loaded.
    Control IBConfigSheet;
    Control IBVersionTextField;
    Control IBEnableSounds;
    Control IBSoundVolume;
    Control IBSoundVolumeLabel;
    Control IBStaticCamera;
    Control IBPlasmaDensity;

    FrameCallback m_pFrameCallback = nullptr;
    void* m_pFrameContext = nullptr;
};
