// The audio stack on a machine without sound: OpenAL Soft and ALSA each print
// their own errors on stderr while the saver quietly runs without music.
// QuietAudioMessages keeps them off the terminal (unless ALSOFT_LOGLEVEL asks
// for them); call it before the first OpenAL call. AudioDeviceOpen then says
// whether the music found a device, so the host can say it in one line.
#pragma once

#include <sys/types.h>

void QuietAudioMessages();
bool AudioDeviceOpen(); // an OpenAL context is current
// Closes the current context's device, which completes what it was writing
// (the WAVE header of a recording), for a host that must leave without
// stopping the saver. Harmless without one.
void CloseAudioDevice();

// A host that strips the environment (MATE's screen saver keeps a handful of
// variables) drops XDG_RUNTIME_DIR, and with it the way to the sound server's
// socket. With it unset (or empty), FindUserRuntimeDir sets it to
// /run/user/UID when that is the user's private runtime folder, as pam_systemd
// makes it; otherwise it stays unset. Call it before the first OpenAL call.
void FindUserRuntimeDir();
// Whether dir is uid's private runtime folder: a real folder (no link), owned
// by uid, mode 0700.
bool IsPrivateRuntimeDir(const char* dir, uid_t uid);
