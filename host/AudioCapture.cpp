#include "host/AudioCapture.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace
{

struct SCaptureState
{
    bool m_bActive = false;
    std::string m_ConfigPath;
    std::string m_WavPath;
    std::optional<std::string> m_OldConf;      // ALSOFT_CONF before the capture
    std::optional<std::string> m_OldDrivers;   // ALSOFT_DRIVERS would override our backend
};

SCaptureState g_Capture;

std::optional<std::string> GetEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void RestoreEnv(const char* name, const std::optional<std::string>& value)
{
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

// A run that never opened a device (sound off, preview, secondary screen)
// still leaves a playable file: a canonical header over no samples, in the
// format the backend would have written.
void WriteEmptyWave(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) != 0 || ec)
        return;
    const unsigned char header[44] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                      16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0,
                                      4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    if (std::FILE* out = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(header, 1, sizeof header, out);
        std::fclose(out);
    }
}

bool Fail(std::string* error, const std::string& what)
{
    if (error)
        *error = what;
    return false;
}

} // namespace

bool BeginAudioCapture(const char* wavPath, std::string* error)
{
    if (g_Capture.m_bActive)
        return Fail(error, "audio capture already started");
    if (wavPath == nullptr || *wavPath == '\0')
        return Fail(error, "no audio output file given");

    // The configuration format has no quoting: a line break would end the
    // value and '#' would start a comment.
    std::error_code ec;
    const std::string path = std::filesystem::absolute(wavPath, ec).string();
    if (ec || path.find_first_of("\r\n#") != std::string::npos)
        return Fail(error, std::string(wavPath) + ": unusable file name for audio output");

    // Fail here, with a reason, rather than later as a silently missing device.
    std::FILE* probe = std::fopen(path.c_str(), "wb");
    if (probe == nullptr)
        return Fail(error, path + ": " + std::strerror(errno));
    std::fclose(probe);

    const std::filesystem::path tempDir = std::filesystem::temp_directory_path(ec);
    std::string configPath = (ec ? std::string("/tmp") : tempDir.string()) + "/veltrix-alsoft-XXXXXX";
    const int fd = mkstemp(configPath.data());
    if (fd < 0)
        return Fail(error, configPath + ": " + std::strerror(errno));
    const std::string config = "[general]\n"
                               "drivers = wave\n"
                               "channels = stereo\n"
                               "sample-type = int16\n"
                               "frequency = 44100\n"
                               "[wave]\n"
                               "file = " + path + "\n";
    const bool written = write(fd, config.data(), config.size()) == ssize_t(config.size());
    const int writeErrno = errno;
    if (close(fd) != 0 || !written)
    {
        unlink(configPath.c_str());
        return Fail(error, configPath + ": " + std::strerror(written ? errno : writeErrno));
    }

    g_Capture.m_OldConf = GetEnv("ALSOFT_CONF");
    g_Capture.m_OldDrivers = GetEnv("ALSOFT_DRIVERS");
    setenv("ALSOFT_CONF", configPath.c_str(), 1);
    unsetenv("ALSOFT_DRIVERS");
    g_Capture.m_ConfigPath = configPath;
    g_Capture.m_WavPath = path;
    g_Capture.m_bActive = true;
    return true;
}

void EndAudioCapture()
{
    if (!g_Capture.m_bActive)
        return;
    unlink(g_Capture.m_ConfigPath.c_str());
    WriteEmptyWave(g_Capture.m_WavPath);
    RestoreEnv("ALSOFT_CONF", g_Capture.m_OldConf);
    RestoreEnv("ALSOFT_DRIVERS", g_Capture.m_OldDrivers);
    g_Capture = SCaptureState();
}
