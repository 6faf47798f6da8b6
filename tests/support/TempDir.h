// A fresh private folder under the system's temp folder for one test, removed
// with everything in it when the object goes. Creation failure throws, so a
// test can never write into a path that was not made for it.
#pragma once

#include <string>

class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_Path; }
    std::string operator/(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};
