// ScreenSaverDefaults: the per-module store of integer settings, a key file
// at ${XDG_CONFIG_HOME:-~/.config}/veltrix/<module name>.conf, group
// [Defaults]. Reading never fails: a missing or unreadable file, one over
// 1 MiB and one the key-file parser refuses (a damaged file) are an empty
// store, and a value that is not an integer is a missing key. A store object
// is a snapshot of the file when it was obtained; synchronize writes the keys
// set since then atomically (temporary file, fsync, rename), keeping the keys
// and groups it does not know, and leaves the old file whole when it fails.
// A file whose keys it cannot keep is never just replaced: it is kept first
// as <name>.conf.damaged (over an older copy), so hand edits are not lost.
//
// Beside the file sits the argument domain, settings for one run that are
// never stored (the host's --no-sound, --volume, --density, --static-camera).
// It answers only for the keys it holds, through argumentForKey; the store's
// own queries never see it. Whoever reads the settings reads the store as it
// stands and then lays each run setting over its own key, so a key without a
// run setting reads exactly as it would in a run without any.
#pragma once

#include "platform/SaverModule.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class ScreenSaverDefaults
{
public:
    static ScreenSaverDefaults defaultsForModuleWithName(const std::string& moduleName);

    bool hasObjectForKey(const std::string& key) const; // objectForKey: != nil
    int64_t integerForKey(const std::string& key) const; // 0 when missing
    void setIntegerForKey(int64_t value, const std::string& key);
    bool synchronize(std::string* error = nullptr); // false: nothing changed on disk; *error says why

    const std::string& path() const { return m_Path; }

    // The process-wide argument domain; null clears it.
    static void setArgumentDomain(const SSaverRunSettings* settings);
    // The run's value for one of the saver's four keys; nothing when the run
    // does not set it.
    static std::optional<int64_t> argumentForKey(const std::string& key);

    // Parses key-file text into the [Defaults] integers; exposed for tests and fuzzing.
    static std::map<std::string, int64_t> parseIntegers(const char* data, size_t size);

private:
    std::string m_Path;
    std::map<std::string, int64_t> m_Stored; // integers read from the file
    std::map<std::string, int64_t> m_Changed; // set since it was obtained
};

// ${XDG_CONFIG_HOME:-$HOME/.config}/veltrix/<moduleName>.conf
std::string DefaultsPathForModule(const std::string& moduleName);
