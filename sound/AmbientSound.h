// CAmbientSound: the saver's background music. Two looping tracks from the
// pack, "music/theme1.ogg" and "music/theme2.ogg", start together at gain 0;
// each frame Update copies g_SoundGain onto them, so the drawer's camera cycle
// alone decides which one is heard. The listener gain is the volume setting.
// Nothing is reported: a missing device or track means silence (handle -1
// makes every later call on it a no-op in the sound engine).
//
// Both tracks start playing at Init, but their samples are decoded while the
// saver runs, a slice per Update, so the first frames do not wait for them:
// each track is kept decoded well ahead of where it plays, and a track is
// whole before it is first heard, unless it is the first one heard at all
// (the first cycle fades it in from its second frame on). A track whose
// image turns out damaged is dropped then, and its handle becomes -1.
#pragma once

class CAmbientSound
{
public:
    CAmbientSound();

    void Init(); // opens the device, decodes and starts both tracks (stops running music first)
    void SetVolume(float volume); // 0..1 (not clamped); only while playing
    void Update(); // applies g_SoundGain; no-op unless playing
    void Done(); // stops everything and closes the device

    static const int SliceFrames = 32768; // decoded per Update beyond what playback needs

    int m_nTheme1; // sound handle of theme 1, -1 if it failed to load
    int m_nTheme2; // sound handle of theme 2, -1 if it failed to load
    bool m_bInit; // true between Init and Done

private:
    void _Decode(int& handle, int frames);
    void _KeepAhead(int& handle, int seconds);

    bool m_bHeard[2]; // the track's gain has been above 0
};

// The one music player of the process, shared by every view and driven by the
// saver core. Main thread only.
extern CAmbientSound AmbientSound;
