// Recording the saver's sound into a WAVE file, for headless runs.
// BeginAudioCapture writes a private OpenAL Soft configuration that selects
// its "wave" output backend (16-bit stereo, 44100 Hz) writing to wavPath, and
// points ALSOFT_CONF at it for this process. OpenAL Soft reads its
// configuration once, at the process's first OpenAL call, so call this before
// anything opens an audio device. The file itself is not touched until a
// device opens (only checked for being writable), so a run that fails before
// recording leaves an existing file as it was.
//
// After the recording, with the device closed (which completes the WAVE
// header), FinishAudioCapture checks that the file holds everything played,
// lines it up with the frames, and ends the capture. A run that failed calls
// EndAudioCapture instead, which only removes the configuration and restores
// the environment.
//
// Failures: false and one line in *error naming the file and the reason; a
// failed BeginAudioCapture leaves the environment unchanged.
#pragma once

#include <string>

bool BeginAudioCapture(const char* wavPath, std::string* error);
void EndAudioCapture(); // harmless without a capture, and repeatable

// seconds: how long the frames ran, from one frame interval before the first
// frames showed until the device closed.
// The file keeps its last `seconds` of sound, dropping what played while the
// saver was still loading. If no device ever opened (sound off, preview,
// secondary screen), it becomes a valid WAVE file with no samples. True
// without a capture.
bool FinishAudioCapture(double seconds, std::string* error);
