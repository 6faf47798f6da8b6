// The audio stack on a machine without sound: OpenAL Soft and ALSA each print
// their own errors on stderr while the saver quietly runs without music.
// QuietAudioMessages keeps them off the terminal (unless ALSOFT_LOGLEVEL asks
// for them); call it before the first OpenAL call. AudioDeviceOpen then says
// whether the music found a device, so the host can say it in one line.
#pragma once

void QuietAudioMessages();
bool AudioDeviceOpen(); // an OpenAL context is current
// Closes the current context's device, which completes what it was writing
// (the WAVE header of a recording), for a host that must leave without
// stopping the saver. Harmless without one.
void CloseAudioDevice();
