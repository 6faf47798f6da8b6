// Writes a resource pack from a folder: every regular file under it becomes
// one entry named by its "/"-separated relative path, in byte order of the
// names, deflated unless that saves less than a sixteenth, encrypted under the pack
// password. Same folder, same bytes: timestamps are fixed and the encryption
// header's filler comes from the entry itself. The pack appears only when
// complete (written to a temporary file, then renamed).
#pragma once

#include <string>

struct SPackError
{
    std::string file; // the file the failure concerns
    std::string reason; // one short phrase
};

// False on failure, with `error` filled in; PACK is then left as it was.
bool WritePack(const std::string& packPath, const std::string& dir, const char* password, SPackError& error);
