// Access to the media.dat that the build made: opens it once through the saver's own pack reader, and
// lists its entries straight from the archive's directory.
#pragma once

#include "pack/PackReader.h"

#include <memory>
#include <string>
#include <vector>

namespace media_test {
// Path of the built pack in the bundle's resources.
std::string PackPath();

// Opens the pack (once per process) and loads one entry; empty when the pack or the entry is missing.
std::unique_ptr<IData> Load(const char* name);

// Every entry name in the pack, in directory order; empty when the pack cannot be opened.
std::vector<std::string> ListEntries();
} // namespace media_test
