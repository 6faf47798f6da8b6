#include "tests/media/MediaPack.h"

#include <minizip/unzip.h>

namespace media_test {
std::string PackPath()
{
    return VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Resources/media.dat";
}

std::unique_ptr<IData> Load(const char* name)
{
    static const bool open = CPackReader::Init(PackPath().c_str());
    if (!open)
        return nullptr;
    return CPackReader::LoadData(name);
}

std::vector<std::string> ListEntries()
{
    std::vector<std::string> names;
    unzFile zip = unzOpen(PackPath().c_str());
    if (!zip)
        return names;
    for (int result = unzGoToFirstFile(zip); result == UNZ_OK; result = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info info;
        if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        names.push_back(name);
    }
    unzClose(zip);
    return names;
}
} // namespace media_test
