// Any bytes as a pack. The first entries the directory names, and one name
// spelt with a backslash and capitals, must load or fail cleanly; a loaded
// blob is read whole. Each lookup walks the directory, so only a few names
// are tried.
//
// The reader opens packs by path through minizip's stdio calls. On damaged
// input minizip may read past the end thousands of times, each a system call
// on a real file, which would slow the fuzzer a hundredfold: so the pack path
// opens the input itself as a memory stream. Every other path opens as usual.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <minizip/unzip.h>

#include "pack/PackReader.h"

namespace {

const char* const kPackPath = "/nonexistent/veltrix-fuzz-pack.dat";
const uint8_t* g_pInput = nullptr; // the current input while it runs
size_t g_nInput = 0;

FILE* OpenInput(const char* path, const char* mode, const char* real)
{
    if (std::strcmp(path, kPackPath) == 0)
        return g_nInput > 0 ? fmemopen(const_cast<uint8_t*>(g_pInput), g_nInput, "rb") : nullptr;
    using Open = FILE* (*)(const char*, const char*);
    return reinterpret_cast<Open>(dlsym(RTLD_NEXT, real))(path, mode);
}

void LoadWhole(const char* name)
{
    std::unique_ptr<IData> blob = CPackReader::LoadData(name);
    if (!blob)
        return;
    volatile uint8_t sum = 0;
    for (int32_t i = 0; i < blob->GetSize(); ++i)
        sum = sum + blob->GetData()[i];
}

} // namespace

extern "C" FILE* fopen(const char* path, const char* mode)
{
    return OpenInput(path, mode, "fopen");
}

extern "C" FILE* fopen64(const char* path, const char* mode)
{
    return OpenInput(path, mode, "fopen64");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_pInput = data;
    g_nInput = size;
    if (CPackReader::Init(kPackPath)) {
        // The names come from a second handle: the reader's own must only see loads.
        unzFile zip = unzOpen(kPackPath);
        int result = zip != nullptr ? unzGoToFirstFile(zip) : UNZ_PARAMERROR;
        for (int i = 0; result == UNZ_OK && i < 4; ++i, result = unzGoToNextFile(zip)) {
            char name[300];
            unz_file_info info;
            if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK)
                LoadWhole(name);
        }
        if (zip != nullptr)
            unzClose(zip);
        LoadWhole("B\\NOISE.BIN");
    }
    CPackReader::Done();
    g_pInput = nullptr;
    g_nInput = 0;
    return 0;
}
