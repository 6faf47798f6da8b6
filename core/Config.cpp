#include "core/Config.h"

// m_nUseDesktopBitmap is deliberately left alone: the view's storage starts zeroed.
SCONFIG::SCONFIG()
    : m_nEnableSounds(1)
    , m_nSoundVolume(30)
    , m_nPlasmaDensity(100)
    , m_nStaticCamera(0)
    , m_bPreview(false)
    , m_bMainScreen(true)
    , m_pScreenBuf(nullptr)
{}

void SCONFIG::Reset()
{
    m_nEnableSounds = 1;
    m_nSoundVolume = 30;
    m_nPlasmaDensity = 100;
    m_nStaticCamera = 0;
    m_bPreview = false;
    m_bMainScreen = true;
}
