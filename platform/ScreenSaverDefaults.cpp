#include "platform/ScreenSaverDefaults.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <array>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr const char* Group = "Defaults";

// A settings file holds a handful of lines; anything this large is not one.
constexpr off_t MaxFileSize = 1 << 20;

// The saver's keys and the run setting that decides each.
struct SRunKey
{
    const char* m_Key;
    int SSaverRunSettings::*m_Field;
};

constexpr std::array<SRunKey, 4> RunKeys = {{
    {"EnableSounds", &SSaverRunSettings::enable_sounds},
    {"SoundVolume", &SSaverRunSettings::sound_volume},
    {"PlasmaDensity", &SSaverRunSettings::plasma_density},
    {"StaticCamera", &SSaverRunSettings::static_camera},
}};

SSaverRunSettings g_Arguments = {-1, -1, -1, -1, 0};

bool ParseInteger(std::string_view text, int64_t& value)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

enum class EFile
{
    Missing, // or nothing the store may replace, such as a folder
    Read,
    Unread, // there, but too large or unreadable: nothing of it can be kept
};

EFile ReadFile(const std::string& path, std::string& text)
{
    GStatBuf st;
    if (g_stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return EFile::Missing;
    if (!S_ISREG(st.st_mode) || st.st_size > MaxFileSize)
        return EFile::Unread;
    gchar* data = nullptr;
    gsize size = 0;
    if (!g_file_get_contents(path.c_str(), &data, &size, nullptr))
        return EFile::Unread;
    text.assign(data, size);
    g_free(data);
    return EFile::Read;
}

// An editor may leave the last line without its newline; the parser reads it
// all the same, so only what the parser refuses is damaged.
bool LoadKeyFile(GKeyFile* file, const std::string& text)
{
    return g_key_file_load_from_data(
        file, text.data(), text.size(),
        static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS), nullptr);
}

std::string ErrorText(GError* error)
{
    std::string text = error ? error->message : "unknown error";
    if (error)
        g_error_free(error);
    return text;
}

} // namespace

std::string DefaultsPathForModule(const std::string& moduleName)
{
    std::string base;
    // Relative values are to be ignored, as the base-directory convention says.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : g_get_home_dir()) + "/.config";
    }
    return base + "/veltrix/" + moduleName + ".conf";
}

std::map<std::string, int64_t> ScreenSaverDefaults::parseIntegers(const char* data, size_t size)
{
    std::map<std::string, int64_t> values;
    if (!data)
        return values;
    GKeyFile* file = g_key_file_new();
    if (LoadKeyFile(file, std::string(data, size))) {
        gsize count = 0;
        gchar** keys = g_key_file_get_keys(file, Group, &count, nullptr);
        for (gsize i = 0; keys && i < count; ++i) {
            gchar* text = g_key_file_get_value(file, Group, keys[i], nullptr);
            int64_t value = 0;
            if (text && ParseInteger(text, value))
                values[keys[i]] = value;
            g_free(text);
        }
        g_strfreev(keys);
    }
    g_key_file_free(file);
    return values;
}

ScreenSaverDefaults ScreenSaverDefaults::defaultsForModuleWithName(const std::string& moduleName)
{
    ScreenSaverDefaults defaults;
    defaults.m_Path = DefaultsPathForModule(moduleName);
    std::string text;
    if (ReadFile(defaults.m_Path, text) == EFile::Read)
        defaults.m_Stored = parseIntegers(text.data(), text.size());
    return defaults;
}

bool ScreenSaverDefaults::hasObjectForKey(const std::string& key) const
{
    return m_Changed.count(key) != 0 || m_Stored.count(key) != 0;
}

int64_t ScreenSaverDefaults::integerForKey(const std::string& key) const
{
    if (auto it = m_Changed.find(key); it != m_Changed.end())
        return it->second;
    if (auto it = m_Stored.find(key); it != m_Stored.end())
        return it->second;
    return 0;
}

void ScreenSaverDefaults::setIntegerForKey(int64_t value, const std::string& key)
{
    m_Changed[key] = value;
}

bool ScreenSaverDefaults::synchronize(std::string* error)
{
    if (m_Changed.empty())
        return true;
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };

    // Start from the file as it is now, so that keys and groups written by
    // others since this store was obtained survive. A file we cannot keep
    // them from is set aside whole before it is replaced.
    GKeyFile* file = g_key_file_new();
    std::string text;
    const std::string damaged = m_Path + ".damaged";
    const EFile found = ReadFile(m_Path, text);
    if (found == EFile::Read && !LoadKeyFile(file, text)) {
        g_key_file_free(file);
        file = g_key_file_new();
        GError* copied = nullptr;
        if (!g_file_set_contents(damaged.c_str(), text.data(), static_cast<gssize>(text.size()), &copied)) {
            g_key_file_free(file);
            return fail("cannot keep a copy of the damaged file as " + damaged + ": " + ErrorText(copied));
        }
    } else if (found == EFile::Unread && g_rename(m_Path.c_str(), damaged.c_str()) != 0) {
        const int why = errno;
        g_key_file_free(file);
        return fail("cannot set the file that cannot be read aside as " + damaged + ": " + g_strerror(why));
    }
    for (const auto& [key, value] : m_Changed)
        g_key_file_set_int64(file, Group, key.c_str(), value);
    gsize size = 0;
    gchar* data = g_key_file_to_data(file, &size, nullptr);
    g_key_file_free(file);

    gchar* folder = g_path_get_dirname(m_Path.c_str());
    const bool haveFolder = g_mkdir_with_parents(folder, 0700) == 0;
    g_free(folder);
    GError* written = nullptr;
    // g_file_set_contents writes a temporary file, syncs it and renames it over
    // the old one, so a failure or a crash leaves the old file whole.
    const bool ok = haveFolder && g_file_set_contents(m_Path.c_str(), data, static_cast<gssize>(size), &written);
    g_free(data);
    if (!ok)
        return fail(haveFolder ? ErrorText(written) : "cannot create the folder of " + m_Path);
    for (const auto& [key, value] : m_Changed)
        m_Stored[key] = value;
    m_Changed.clear();
    return true;
}

void ScreenSaverDefaults::setArgumentDomain(const SSaverRunSettings* settings)
{
    g_Arguments = settings ? *settings : SSaverRunSettings{-1, -1, -1, -1, 0};
}

std::optional<int64_t> ScreenSaverDefaults::argumentForKey(const std::string& key)
{
    for (const SRunKey& k : RunKeys) {
        if (key == k.m_Key && g_Arguments.*k.m_Field >= 0)
            return g_Arguments.*k.m_Field;
    }
    return std::nullopt;
}
