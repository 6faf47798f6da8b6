#include "sound/AmbientSound.h"

#include "core/SoundGain.h"
#include "sound/Sound.h"

#include <climits>

CAmbientSound AmbientSound;

CAmbientSound::CAmbientSound()
    : m_nTheme1(-1)
    , m_nTheme2(-1)
    , m_bInit(false)
    , m_bHeard{false, false}
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
    m_nTheme1 = sndCreateDeferred("music/theme1.ogg");
    m_nTheme2 = sndCreateDeferred("music/theme2.ogg");
    m_bHeard[0] = m_bHeard[1] = false;
    // Both start now, inaudible, so a cross-fade never has to wait for a start.
    sndSetVolume(m_nTheme1, 0.0f);
    sndPlay(m_nTheme1, true);
    sndSetVolume(m_nTheme2, 0.0f);
    sndPlay(m_nTheme2, true);
    // The first second of each, cheap, covers the time to the first Update.
    _KeepAhead(m_nTheme1, 1);
    _KeepAhead(m_nTheme2, 1);
    m_bInit = true;
}

void CAmbientSound::_Decode(int& handle, int frames)
{
    if (handle >= 0 && sndDecode(handle, frames) < 0)
        handle = -1;
}

void CAmbientSound::_KeepAhead(int& handle, int seconds)
{
    if (handle < 0)
        return;
    const int ahead = sndFramesAhead(handle);
    if (ahead == INT_MAX)
        return; // whole
    const int goal = sndFrequency(handle) * seconds;
    if (ahead < goal)
        _Decode(handle, goal - ahead);
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
    int* const themes[2] = {&m_nTheme1, &m_nTheme2};
    for (int i = 0; i < 2; ++i) {
        _KeepAhead(*themes[i], 2);
        // The first track heard fades in from silence while its decoding
        // stays ahead; any later one must be whole before it is heard.
        if (g_SoundGain[i] > 0.0f && !m_bHeard[i]) {
            if (m_bHeard[1 - i])
                _Decode(*themes[i], INT_MAX);
            m_bHeard[i] = true;
        }
    }
    // One slice, for the louder track first (the one playing, then the next).
    const int first = g_SoundGain[1] > g_SoundGain[0] ? 1 : 0;
    int* target = themes[first];
    if (*target < 0 || sndFramesAhead(*target) == INT_MAX)
        target = themes[1 - first];
    _Decode(*target, SliceFrames);

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
