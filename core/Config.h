// SCONFIG: the saver's settings record. The view fills it from the stored
// settings at every start; the saver core and the drawer keep copies by value.
// m_pScreenBuf belongs to whoever holds the record; nothing here frees it.
#pragma once

#include <cstdint>

struct SCONFIG
{
    int32_t m_nEnableSounds; // non-zero: ambient music may play
    int32_t m_nSoundVolume; // percent of full gain, passed on unclamped
    int32_t m_nUseDesktopBitmap; // kept for the record's layout; nothing reads it
    int32_t m_nPlasmaDensity; // number of animated bolts
    int32_t m_nStaticCamera; // non-zero: random fixed viewpoints instead of paths
    bool m_bPreview;
    bool m_bMainScreen;
    unsigned char* m_pScreenBuf; // holder's, released with free()

    SCONFIG();
    void Reset(); // keeps m_nUseDesktopBitmap and m_pScreenBuf
};
