// Shared by the saver tests: a private settings folder for every test, and
// the settings file the saver reads there.
#pragma once

#include "platform/ScreenSaverDefaults.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class SettingsFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_Config.Path().c_str(), 1); }
    void TearDown() override
    {
        ScreenSaverDefaults::setArgumentDomain(nullptr);
        unsetenv("XDG_CONFIG_HOME");
    }

    static std::string SettingsFile() { return DefaultsPathForModule("org.veltrix.Veltrix"); }

    static void WriteSettings(const std::string& text)
    {
        std::filesystem::create_directories(std::filesystem::path(SettingsFile()).parent_path());
        std::ofstream(SettingsFile(), std::ios::binary) << text;
    }

    CTempDir m_Config;
};
