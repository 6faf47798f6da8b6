// Veltrix media generator: Ogg Vorbis encoding of a finished stereo track (libvorbisenc, VBR).
#pragma once

#include "tools/mediagen/Synth.h"

#include <cstdint>
#include <vector>

// Encodes both channels at synth::kRate with the given VBR quality (-0.1 .. 1; 0.4 is "quality 4").
// The stream serial number is fixed by the caller so the bytes are the same on every run. Returns an
// empty vector on failure.
std::vector<uint8_t> EncodeOggVorbis(const synth::SStereo& track, float quality, int serial, const char* title);
