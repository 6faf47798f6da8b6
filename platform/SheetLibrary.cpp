#include "platform/SheetLibrary.h"

#include <dlfcn.h>

#include <string>

namespace {
std::string g_LibraryPath;

std::string PathBesideThisCode()
{
    Dl_info where{};
    if (dladdr(reinterpret_cast<const void*>(&SheetLibrary), &where) == 0 || !where.dli_fname)
        return std::string();
    std::string path = where.dli_fname;
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/VeltrixSheet.so";
}

const SSheetLibrary* Load()
{
    const std::string path = g_LibraryPath.empty() ? PathBesideThisCode() : g_LibraryPath;
    // Kept for the life of the process: GTK cannot be unloaded once started.
    void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto entry = reinterpret_cast<PFNVELTRIXSHEETLIBRARY>(dlsym(handle, VELTRIX_SHEET_LIBRARY_SYMBOL));
    return entry ? entry(VELTRIX_SHEET_LIBRARY_ABI) : nullptr;
}
} // namespace

const SSheetLibrary* SheetLibrary()
{
    static const SSheetLibrary* s_pLibrary = Load();
    return s_pLibrary;
}

void SetSheetLibraryPath(const char* path)
{
    g_LibraryPath = path ? path : "";
}
