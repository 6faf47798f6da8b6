#include "platform/ScreenSaverDefaults.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <array>
#include <charconv>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr const char* Group = "Defaults";

// A settings file holds a handful of lines; anything this large is not one.
constexpr off_t MaxFileSize = 1 << 20;

struct SKeyDefault
{
    const char* m_Key;
    int64_t m_nDefault;
    int SSaverRunSettings::*m_Field;
};

// The saver's keys, the values they have when nothing is stored, and the
// run setting that overrides each.
constexpr std::array<SKeyDefault, 4> SaverKeys = {{
    {"EnableSounds", 1, &SSaverRunSettings::enable_sounds},
    {"SoundVolume", 30, &SSaverRunSettings::sound_volume},
    {"PlasmaDensity", 100, &SSaverRunSettings::plasma_density},
    {"StaticCamera", 0, &SSaverRunSettings::static_camera},
}};

SSaverRunSettings g_Arguments = {-1, -1, -1, -1, 0};

bool ArgumentDomainActive()
{
    for (const SKeyDefault& k : SaverKeys) {
        if (g_Arguments.*k.m_Field >= 0)
            return true;
    }
    return false;
}

const SKeyDefault* SaverKey(const std::string& key)
{
    for (const SKeyDefault& k : SaverKeys) {
        if (key == k.m_Key)
            return &k;
    }
    return nullptr;
}

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

// The file's text, or nothing when it is missing, not a plain file, too large
// or unreadable.
bool ReadFile(const std::string& path, std::string& text)
{
    GStatBuf st;
    if (g_stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxFileSize)
        return false;
    gchar* data = nullptr;
    gsize size = 0;
    if (!g_file_get_contents(path.c_str(), &data, &size, nullptr))
        return false;
    text.assign(data, size);
    g_free(data);
    return true;
}

// Loads key-file text. A file that does not end its last line was cut short
// (every file we write ends with a newline), so it is damaged as a whole.
bool LoadKeyFile(GKeyFile* file, const std::string& text)
{
    if (!text.empty() && text.back() != '\n')
        return false;
    return g_key_file_load_from_data(
        file, text.data(), text.size(),
        static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS), nullptr);
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
    if (ReadFile(defaults.m_Path, text))
        defaults.m_Stored = parseIntegers(text.data(), text.size());
    return defaults;
}

bool ScreenSaverDefaults::hasObjectForKey(const std::string& key) const
{
    if (ArgumentDomainActive() && SaverKey(key))
        return true;
    return m_Changed.count(key) != 0 || m_Stored.count(key) != 0;
}

int64_t ScreenSaverDefaults::integerForKey(const std::string& key) const
{
    const SKeyDefault* saverKey = SaverKey(key);
    if (saverKey && g_Arguments.*saverKey->m_Field >= 0)
        return g_Arguments.*saverKey->m_Field;
    if (auto it = m_Changed.find(key); it != m_Changed.end())
        return it->second;
    if (auto it = m_Stored.find(key); it != m_Stored.end())
        return it->second;
    if (saverKey && ArgumentDomainActive())
        return saverKey->m_nDefault;
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
    // others since this store was obtained survive. A damaged file cannot be
    // kept; it is replaced.
    GKeyFile* file = g_key_file_new();
    std::string text;
    if (ReadFile(m_Path, text) && !LoadKeyFile(file, text)) {
        g_key_file_free(file);
        file = g_key_file_new();
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
    if (!ok) {
        const std::string why = written ? written->message : "cannot create the folder of " + m_Path;
        if (written)
            g_error_free(written);
        return fail(why);
    }
    for (const auto& [key, value] : m_Changed)
        m_Stored[key] = value;
    m_Changed.clear();
    return true;
}

void ScreenSaverDefaults::setArgumentDomain(const SSaverRunSettings* settings)
{
    g_Arguments = settings ? *settings : SSaverRunSettings{-1, -1, -1, -1, 0};
}
