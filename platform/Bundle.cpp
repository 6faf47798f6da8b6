#include "platform/Bundle.h"

#include <glib.h>

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Every string of the [Bundle] group; a missing or damaged file gives none.
std::map<std::string, std::string> ReadInfo(const std::string& bundlePath)
{
    std::map<std::string, std::string> info;
    GKeyFile* file = g_key_file_new();
    const std::string path = bundlePath + "/Contents/Info.ini";
    if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr)) {
        gsize count = 0;
        gchar** keys = g_key_file_get_keys(file, "Bundle", &count, nullptr);
        for (gsize i = 0; keys && i < count; ++i) {
            if (gchar* value = g_key_file_get_string(file, "Bundle", keys[i], nullptr)) {
                info[keys[i]] = value;
                g_free(value);
            }
        }
        g_strfreev(keys);
    }
    g_key_file_free(file);
    return info;
}

} // namespace

Bundle Bundle::bundleForAddress(const void* address)
{
    Dl_info where{};
    if (!address || dladdr(address, &where) == 0 || !where.dli_fname || !*where.dli_fname)
        return Bundle();
    // The module lies in <bundle>/Contents/<platform>/; code linked into a
    // program rather than loaded from a bundle has no bundle.
    std::error_code ec;
    const fs::path library = fs::weakly_canonical(fs::absolute(where.dli_fname, ec), ec);
    if (ec)
        return Bundle();
    const fs::path contents = library.parent_path().parent_path();
    if (contents.filename() != "Contents")
        return Bundle();
    return bundleWithPath(contents.parent_path().string());
}

Bundle Bundle::bundleWithPath(const std::string& path)
{
    Bundle bundle;
    std::error_code ec;
    if (path.empty() || !fs::is_directory(path, ec))
        return bundle;
    bundle.m_Path = path;
    bundle.m_Info = ReadInfo(path);
    return bundle;
}

std::string Bundle::pathForResource(const std::string& name, const std::string& type) const
{
    if (m_Path.empty() || name.empty())
        return std::string();
    const std::string path = m_Path + "/Contents/Resources/" + name + (type.empty() ? "" : "." + type);
    std::error_code ec;
    return fs::is_regular_file(path, ec) ? path : std::string();
}

std::string Bundle::bundleIdentifier() const
{
    const auto it = m_Info.find("CFBundleIdentifier");
    return it == m_Info.end() ? std::string() : it->second;
}
