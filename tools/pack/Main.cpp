// veltrix-pack: makes, lists and reads resource packs.
//   create PACK DIR          pack every regular file under DIR
//   list PACK                one line per entry: size and name
//   extract PACK NAME [OUT]  one entry, found exactly as the saver finds it
// Errors: one line "veltrix-pack: <file>: <reason>", exit 1; usage errors exit 2.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <minizip/unzip.h>

#include "pack/PackReader.h"
#include "tools/pack/PackWriter.h"

namespace {

const char Usage[] = "usage: veltrix-pack create PACK DIR\n"
                     "       veltrix-pack list PACK\n"
                     "       veltrix-pack extract PACK NAME [OUT]\n";

int Error(const std::string& file, const std::string& reason)
{
    std::fprintf(stderr, "veltrix-pack: %s: %s\n", file.c_str(), reason.c_str());
    return 1;
}

int UsageError()
{
    std::fputs(Usage, stderr);
    return 2;
}

int Create(const char* pack, const char* dir)
{
    SPackError error;
    if (!WritePack(pack, dir, CPackReader::PackPassword, error))
        return Error(error.file, error.reason);
    return 0;
}

int List(const char* pack)
{
    unzFile zip = unzOpen(pack);
    if (zip == nullptr)
        return Error(pack, "cannot open as a pack");
    unz_global_info64 global;
    int result = unzGetGlobalInfo64(zip, &global);
    for (uint64_t i = 0; result == UNZ_OK && i < global.number_entry; ++i) {
        if (i > 0)
            result = unzGoToNextFile(zip);
        if (result != UNZ_OK)
            break;
        static char name[65536]; // a ZIP name field holds at most 65535 bytes
        unz_file_info64 info;
        result = unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        if (result == UNZ_OK)
            std::printf("%10llu  %s\n", static_cast<unsigned long long>(info.uncompressed_size), name);
    }
    unzClose(zip);
    if (result != UNZ_OK)
        return Error(pack, "damaged directory of entries");
    if (std::fflush(stdout) != 0)
        return Error("<stdout>", std::strerror(errno));
    return 0;
}

// Tells "not there" from "there but unreadable" with the reader's own name rules.
bool PackHolds(const char* pack, const char* name)
{
    std::string normalised(name);
    if (normalised.size() > 255)
        return false;
    for (char& c : normalised)
        if (c == '\\')
            c = '/';
    unzFile zip = unzOpen(pack);
    if (zip == nullptr)
        return false;
    const bool found = unzLocateFile(zip, normalised.c_str(), 2) == UNZ_OK;
    unzClose(zip);
    return found;
}

bool WriteOut(const char* path, const IData& blob, std::string& reason)
{
    const std::string temp = std::string(path) + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    const size_t size = static_cast<size_t>(blob.GetSize());
    bool ok = std::fwrite(blob.GetData(), 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path) == 0;
    if (!ok) {
        reason = std::strerror(errno);
        std::remove(temp.c_str());
    }
    return ok;
}

int Extract(const char* pack, const char* name, const char* out)
{
    if (!CPackReader::Init(pack))
        return Error(pack, "cannot open as a pack");
    std::unique_ptr<IData> blob = CPackReader::LoadData(name);
    CPackReader::Done();
    if (!blob) {
        if (!PackHolds(pack, name))
            return Error(name, std::string("not found in ") + pack);
        return Error(name, std::string("damaged or not encrypted with the pack password in ") + pack);
    }
    std::string reason;
    if (out != nullptr) {
        if (!WriteOut(out, *blob, reason))
            return Error(out, reason);
        return 0;
    }
    const size_t size = static_cast<size_t>(blob->GetSize());
    if (std::fwrite(blob->GetData(), 1, size, stdout) != size || std::fflush(stdout) != 0)
        return Error("<stdout>", std::strerror(errno));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (argc < 2)
        return UsageError();
    const std::string command = argv[1];
    if (command == "create" && argc == 4)
        return Create(argv[2], argv[3]);
    if (command == "list" && argc == 3)
        return List(argv[2]);
    if (command == "extract" && (argc == 4 || argc == 5))
        return Extract(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    return UsageError();
}
