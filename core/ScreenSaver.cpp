#include "core/ScreenSaver.h"

#include "render/Drawer.h"
#include "sound/AmbientSound.h"

#include <new>

CScreenSaver::CScreenSaver()
    : m_pDrawer(nullptr)
{}

CScreenSaver::~CScreenSaver()
{
    delete m_pDrawer;
}

bool CScreenSaver::Init(const SCONFIG* config)
{
    // A second Init without Done would otherwise orphan the running drawer.
    if (m_pDrawer) {
        m_pDrawer->Done();
        delete m_pDrawer;
    }
    m_pDrawer = new (std::nothrow) CDrawer;
    if (!m_pDrawer)
        return false;

    // The drawer's result does not matter here: a failed scene shows its error picture.
    m_pDrawer->Init(config);

    // The drawer is set up before the music starts; the tracks' samples are
    // decoded afterwards, a slice per frame, by the music player's Update.
    if (config && !config->m_bPreview && config->m_bMainScreen && config->m_nEnableSounds != 0) {
        AmbientSound.Init();
        AmbientSound.SetVolume(static_cast<float>(config->m_nSoundVolume) / 100.0f);
    }
    return true;
}

void CScreenSaver::Draw()
{
    if (m_pDrawer)
        m_pDrawer->Draw();
    AmbientSound.Update();
}

void CScreenSaver::Done()
{
    AmbientSound.Done();
    if (m_pDrawer) {
        m_pDrawer->Done();
        delete m_pDrawer;
    }
    m_pDrawer = nullptr;
}
