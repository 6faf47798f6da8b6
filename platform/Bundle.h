// Bundle: the folder a loadable module lives in, laid out as
//   Veltrix.saver/Contents/Linux/Veltrix.so      the module
//   Veltrix.saver/Contents/Info.ini              identifier, version ([Bundle] group)
//   Veltrix.saver/Contents/Resources/            media.dat, ConfigureSheet.ui
// bundleForAddress finds the bundle holding the code at an address (dladdr),
// so a module finds its own resources wherever it was installed.
// Failures: bundleForAddress gives a bundle with an empty path; lookups in it
// give empty strings.
#pragma once

#include <map>
#include <string>

class Bundle
{
public:
    static Bundle bundleForAddress(const void* address); // an address inside the module's code
    static Bundle bundleWithPath(const std::string& path); // the .saver folder

    const std::string& bundlePath() const { return m_Path; }
    std::string pathForResource(const std::string& name, const std::string& type) const; // empty if missing
    std::string bundleIdentifier() const; // "CFBundleIdentifier"
    const std::map<std::string, std::string>& infoDictionary() const { return m_Info; }

private:
    std::string m_Path;
    std::map<std::string, std::string> m_Info;
};
