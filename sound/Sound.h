// The sound engine: a flat procedural layer over OpenAL with integer handles.
// sndInit opens the default device; sndCreate loads a pack entry (Ogg Vorbis
// when the name ends in "ogg" ignoring case and is at least 5 characters long,
// RIFF WAVE otherwise), shares the decoded buffer between sounds of the same
// name and gives each sound its own source. A handle is an index into
// snd::SourceArray; -1 means no sound. Every handle operation refuses an
// invalid handle with 0 and makes no OpenAL call. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snd {
// Process-wide tables, emptied by sndInit and sndDone and otherwise only
// appended to, so a handle is never reused within one run.
extern std::vector<uint32_t> BufferArray; // OpenAL buffer names, one per distinct entry name
extern std::vector<std::string> NameArray; // entry i names BufferArray[i]
extern std::vector<uint32_t> SourceArray; // OpenAL source names, one per sound handle
} // namespace snd

int sndInit(); // 1 on success, 0 when no device or context
void sndDone(); // deletes every source and buffer, closes the device
int sndMakeCurrentContext(); // 1 if the engine has a context
int sndCreate(const char* name); // new handle, or -1 (at once, the pack unread, without a current context)
int sndDelete(int handle); // deletes the source; the handle stays counted but reaches no source
int sndPlay(int handle, bool loop);
int sndStop(int handle);
int sndIsPlaying(int handle); // 1 only while playing
int sndSetVolume(int handle, float gain); // source gain, not clamped
int sndSetPitch(int handle, float pitch); // not clamped
int sndSetPan(int handle, float pan); // -1 left, 0 centre, +1 right; on a unit circle
int sndSetMasterVolume(float gain); // listener gain; always 1

// An Ogg Vorbis sound that is made whole later, a piece at a time, without a
// second copy of its samples: the buffer gets storage for the whole track
// and the decoder writes straight into it while the source may already play.
// Until whole, the part not yet decoded plays as silence, so the caller keeps
// the decoding ahead of the source, and whole before the sound is heard.
// Where OpenAL cannot map buffers, or the name is no Ogg image, this is
// sndCreate (the sound is whole at once).
int sndCreateDeferred(const char* name); // new handle, or -1
// Decodes up to `frames` more sample frames of the handle's sound: 1 when it
// is whole, 0 while more remains, -1 when its image turned out damaged or
// short: the sound is then deleted (sndDelete) and its name fails to load.
int sndDecode(int handle, int frames);
// Decoded frames beyond where the handle's source plays now; INT_MAX once
// whole, 0 for an invalid handle.
int sndFramesAhead(int handle);
// Sample frames per second of the handle's sound, 0 for an invalid handle.
int sndFrequency(int handle);
