// Recording the saver's sound into a WAVE file, for headless runs.
// BeginAudioCapture writes a private OpenAL Soft configuration that selects
// its "wave" output backend (16-bit stereo, 44100 Hz) writing to wavPath, and
// points ALSOFT_CONF at it for this process. OpenAL Soft reads its
// configuration once, at the process's first OpenAL call, so call this before
// anything opens an audio device. EndAudioCapture removes the configuration
// and restores the environment; call it after the device is closed (the WAVE
// header is completed when the device closes). If no device ever opened (sound
// off, preview, secondary screen), it leaves a valid WAVE file with no samples.
//
// Failures: BeginAudioCapture returns false and says why in *error (one line
// naming the file), and leaves the environment unchanged.
#pragma once

#include <string>

bool BeginAudioCapture(const char* wavPath, std::string* error);
void EndAudioCapture();                 // harmless without a capture
