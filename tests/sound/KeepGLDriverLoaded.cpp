// Mesa unloads its software driver when the EGL display goes; allocations the
// driver keeps for the process then show under LeakSanitizer in a module that
// no longer exists, so the suppression file cannot name them. Holding the
// driver loaded keeps its name in those stacks. Sanitizer builds only.
#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>

#include <initializer_list>

namespace {
[[maybe_unused]] const bool g_bDriverHeld = [] {
    for (const char* path :
         {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib64/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"})
        if (dlopen(path, RTLD_LAZY | RTLD_NODELETE) != nullptr)
            return true;
    return false;
}();
}
#endif
