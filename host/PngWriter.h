// WritePng: RGBA bytes (rows top-down, width * height * 4) to an RGB PNG file
// (alpha is dropped: a screen shows none).
// Favours speed over size, so a paced recording keeps up. Returns false and a
// one-line reason when the file cannot be written.
#pragma once

#include <string>

bool WritePng(const std::string& path, int width, int height, const unsigned char* rgba, std::string& error);
