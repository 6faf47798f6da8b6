// OpenAL on its null backend for the decoder fuzz targets, so that decoded
// samples really upload: without a current context every upload fails early
// and the sample bytes are never read.
#pragma once

#include <cstdint>

// Opens the device and makes a context current, once per process. When
// OpenAL cannot, the decoders still run up to the upload.
void OpenNullAudio();

// A decoder's result: 0, or a live buffer name, which this deletes. Aborts on
// a name that is no buffer, an OpenAL error left pending, or any name at all
// when no context is current.
void CheckAndDeleteBuffer(uint32_t name);
