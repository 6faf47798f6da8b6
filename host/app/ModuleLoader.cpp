#include "host/app/ModuleLoader.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path ProgramFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : exe.parent_path();
}

} // namespace

std::string FindModuleBundle(const std::string& requested)
{
    if (!requested.empty())
        return requested;
    const fs::path folder = ProgramFolder();
    const fs::path beside = folder / "Veltrix.saver";
    const fs::path installed = (folder / ".." / "lib" / "veltrix" / "Veltrix.saver").lexically_normal();
    std::error_code ec;
    if (!fs::exists(ModuleLibraryPath(beside.string()), ec) && fs::exists(ModuleLibraryPath(installed.string()), ec))
        return installed.string();
    return beside.string();
}

std::string ModuleLibraryPath(const std::string& bundle)
{
    return bundle + "/Contents/Linux/Veltrix.so";
}

const SSaverModule* LoadModule(const std::string& bundle, std::string& error)
{
    const std::string path = ModuleLibraryPath(bundle);
    auto fail = [&](const std::string& why) -> const SSaverModule* {
        error = "cannot load module " + path + ": " + why;
        return nullptr;
    };
    // The path always holds a slash, so dlopen takes it as a file, never a search.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        // dlerror names the file first; the line names it once.
        std::string why = dlerror();
        if (why.rfind(path + ": ", 0) == 0)
            why.erase(0, path.size() + 2);
        return fail(why);
    }
    dlerror();
    auto* entry = reinterpret_cast<PFNVELTRIXSAVERMODULE>(dlsym(handle, VELTRIX_SAVER_MODULE_SYMBOL));
    if (!entry) {
        const char* why = dlerror();
        const std::string reason = why ? why : "no entry point " VELTRIX_SAVER_MODULE_SYMBOL;
        dlclose(handle);
        return fail(reason);
    }
    const SSaverModule* module = entry(VELTRIX_SAVER_MODULE_ABI);
    if (!module || module->abi != VELTRIX_SAVER_MODULE_ABI) {
        dlclose(handle);
        return fail("it speaks another interface version than this program (" +
                    std::to_string(VELTRIX_SAVER_MODULE_ABI) + ")");
    }
    return module;
}
