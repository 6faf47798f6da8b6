// CAmbientSound: the saver's background music. Two looping tracks from the
// pack, "music/theme1.ogg" and "music/theme2.ogg", start together at gain 0;
// each frame Update copies g_SoundGain onto them, so the drawer's camera cycle
// alone decides which one is heard. The listener gain is the volume setting.
// Nothing is reported: a missing device or track means silence (handle -1
// makes every later call on it a no-op in the sound engine).
#pragma once

class CAmbientSound
{
public:
    CAmbientSound();

    void Init(); // opens the device, decodes and starts both tracks (stops running music first)
    void SetVolume(float volume); // 0..1 (not clamped); only while playing
    void Update(); // applies g_SoundGain; no-op unless playing
    void Done(); // stops everything and closes the device

    int m_nTheme1; // sound handle of theme 1, -1 if it failed to load
    int m_nTheme2; // sound handle of theme 2, -1 if it failed to load
    bool m_bInit; // true between Init and Done
};

// The one music player of the process, shared by every view and driven by the
// saver core. Main thread only.
extern CAmbientSound AmbientSound;
