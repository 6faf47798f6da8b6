#include "sound/AmbientSound.h"

#include "core/SoundGain.h"
#include "sound/Sound.h"

CAmbientSound AmbientSound;

CAmbientSound::CAmbientSound()
    : m_nTheme1(-1)
    , m_nTheme2(-1)
    , m_bInit(false)
{}

void CAmbientSound::Init()
{
    // A second start without a stop would open a second device and lose the
    // first, still playing; it restarts the music instead.
    if (m_bInit)
        Done();
    // Without a device the tracks fail to load and every later call on their
    // handles is refused, so the saver simply runs silent.
    sndInit();
    m_nTheme1 = sndCreate("music/theme1.ogg");
    m_nTheme2 = sndCreate("music/theme2.ogg");
    // Both start now, inaudible, so a cross-fade never has to wait for a start.
    sndSetVolume(m_nTheme1, 0.0f);
    sndPlay(m_nTheme1, true);
    sndSetVolume(m_nTheme2, 0.0f);
    sndPlay(m_nTheme2, true);
    m_bInit = true;
}

void CAmbientSound::SetVolume(float volume)
{
    if (m_bInit)
        sndSetMasterVolume(volume);
}

void CAmbientSound::Update()
{
    if (!m_bInit)
        return;
    sndSetVolume(m_nTheme1, g_SoundGain[0]);
    sndSetVolume(m_nTheme2, g_SoundGain[1]);
}

void CAmbientSound::Done()
{
    if (!m_bInit)
        return;
    sndDone();
    m_bInit = false;
}
