// WritePng: RGBA bytes (rows top-down, width * height * 4) to an RGB PNG file
// (alpha is dropped: a screen shows none).
// Favours speed over size, so a paced recording keeps up. The picture is
// written under PartialPngPath(path) and renamed to path once complete, so
// path only ever names a whole file. Returns false and a one-line reason (the
// system's, such as "No space left on device") when the file cannot be
// written; the partial file is then removed.
#pragma once

#include <string>

bool WritePng(const std::string& path, int width, int height, const unsigned char* rgba, std::string& error);

std::string PartialPngPath(const std::string& path); // path + ".part"
