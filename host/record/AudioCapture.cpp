#include "host/record/AudioCapture.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {

struct SCaptureState
{
    bool m_bActive = false;
    std::string m_ConfigPath;
    std::string m_WavPath;
    std::optional<struct stat> m_Before; // the file as it was before the run, if it existed
    std::optional<std::string> m_OldConf; // ALSOFT_CONF before the capture
    std::optional<std::string> m_OldDrivers; // ALSOFT_DRIVERS would override our backend
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

bool Fail(std::string* error, const std::string& what)
{
    if (error)
        *error = what;
    return false;
}

// Whether the file can be written, found without emptying an existing one or
// leaving a new one behind.
bool CheckWritable(const std::string& path, std::optional<struct stat>& before, std::string* error)
{
    struct stat st;
    int fd = -1;
    if (stat(path.c_str(), &st) == 0) {
        before = st;
        fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    } else if (errno == ENOENT) {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            unlink(path.c_str());
    }
    if (fd < 0)
        return Fail(error, path + ": " + std::strerror(errno));
    close(fd);
    return true;
}

// The configuration format has no quoting: a line break would end the value,
// '#' would start a comment and trailing blanks are dropped. A '$' starts an
// environment variable there unless doubled.
std::optional<std::string> ConfigValue(const std::string& path)
{
    if (path.find_first_of("\r\n#") != std::string::npos || std::isspace(static_cast<unsigned char>(path.back())))
        return std::nullopt;
    std::string value;
    for (char c : path) {
        value += c;
        if (c == '$')
            value += '$';
    }
    return value;
}

uint32_t Get32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Put32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A run that never opened a device (sound off, preview, secondary screen)
// still leaves a playable file: a canonical header over no samples, in the
// format the backend would have written.
bool WriteEmptyWave(const std::string& path, std::string* error)
{
    const unsigned char header[44] = {'R', 'I', 'F', 'F', 36, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                                      ' ', 16,  0,   0,   0,  1, 0,   2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1,
                                      2,   0,   4,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return Fail(error, path + ": " + std::strerror(errno));
    const bool written = std::fwrite(header, 1, sizeof header, out) == sizeof header;
    const int writeErrno = errno;
    if (std::fclose(out) != 0 || !written)
        return Fail(error, path + ": " + std::strerror(written ? errno : writeErrno));
    return true;
}

// Why a recording came out short: the system's reason where the disk is
// full, otherwise only that it is.
std::string ShortReason(const std::string& path)
{
    struct statvfs fs;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0)
        return std::strerror(ENOSPC);
    return "the sound output stopped early";
}

// The header's sizes against the file, and the sound kept: the last
// `seconds`. The data is moved forward in place over what played before.
bool AlignWave(const std::string& path, double seconds, std::string* error)
{
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, path + ": " + std::strerror(errno));
    struct stat st;
    unsigned char head[512];
    const ssize_t got = fstat(fd, &st) == 0 ? pread(fd, head, sizeof head, 0) : -1;
    size_t dataAt = 0, frameBytes = 0;
    uint32_t dataSize = 0, rate = 0;
    bool whole = got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0 &&
                 Get32(head + 4) == uint64_t(st.st_size) - 8;
    for (size_t at = 12; whole && at + 8 <= size_t(got) && dataAt == 0;) {
        const uint32_t size = Get32(head + at + 4);
        if (std::memcmp(head + at, "fmt ", 4) == 0 && size >= 16 && at + 8 + 16 <= size_t(got)) {
            rate = Get32(head + at + 12);
            frameBytes = size_t(head[at + 20]) | size_t(head[at + 21]) << 8;
        } else if (std::memcmp(head + at, "data", 4) == 0) {
            dataAt = at + 8;
            dataSize = size;
        }
        at += 8 + size_t(size) + (size & 1);
    }
    whole = whole && dataAt != 0 && rate != 0 && frameBytes != 0 && dataAt + dataSize <= uint64_t(st.st_size);
    const uint64_t frames = dataSize / frameBytes;
    const uint64_t wanted = uint64_t(std::llround(std::max(seconds, 0.0) * rate));
    // The mixer writes a period at a time and may trail the clock a little.
    const uint64_t slack = rate / 4;
    if (!whole || frames + slack < wanted) {
        close(fd);
        char line[160];
        std::snprintf(line, sizeof line,
                      ": the recorded sound is incomplete (%.1f s of %.1f s): ", whole ? double(frames) / rate : 0.0,
                      seconds);
        return Fail(error, path + line + ShortReason(path));
    }

    bool ok = true;
    if (frames > wanted) {
        const uint64_t keep = wanted * frameBytes;
        std::vector<unsigned char> chunk(1 << 20);
        const uint64_t from = dataAt + (frames - wanted) * frameBytes;
        for (uint64_t done = 0; ok && done < keep;) {
            const size_t n = size_t(std::min<uint64_t>(chunk.size(), keep - done));
            ok = pread(fd, chunk.data(), n, off_t(from + done)) == ssize_t(n) &&
                 pwrite(fd, chunk.data(), n, off_t(dataAt + done)) == ssize_t(n);
            done += n;
        }
        unsigned char size[4];
        Put32(size, uint32_t(keep));
        ok = ok && pwrite(fd, size, 4, off_t(dataAt - 4)) == 4;
        Put32(size, uint32_t(dataAt + keep - 8));
        ok = ok && pwrite(fd, size, 4, 4) == 4 && ftruncate(fd, off_t(dataAt + keep)) == 0;
    }
    const int writeErrno = errno;
    if (close(fd) != 0 && ok)
        return Fail(error, path + ": " + std::strerror(errno));
    return ok || Fail(error, path + ": " + std::strerror(writeErrno));
}

bool DeviceWrote(const std::string& path, const std::optional<struct stat>& before)
{
    struct stat now;
    if (stat(path.c_str(), &now) != 0 || now.st_size == 0)
        return false;
    return !before || now.st_ino != before->st_ino || now.st_size != before->st_size ||
           now.st_mtim.tv_sec != before->st_mtim.tv_sec || now.st_mtim.tv_nsec != before->st_mtim.tv_nsec;
}

} // namespace

bool BeginAudioCapture(const char* wavPath, std::string* error)
{
    if (g_Capture.m_bActive)
        return Fail(error, "audio capture already started");
    if (wavPath == nullptr || *wavPath == '\0')
        return Fail(error, "no audio output file given");

    std::error_code ec;
    const std::string path = std::filesystem::absolute(wavPath, ec).string();
    const std::optional<std::string> value = ec ? std::nullopt : ConfigValue(path);
    if (!value)
        return Fail(error, std::string(wavPath) + ": unusable file name for audio output");

    // Fail here, with a reason, rather than later as a silently missing device.
    std::optional<struct stat> before;
    if (!CheckWritable(path, before, error))
        return false;

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
                               "file = " +
                               *value + "\n";
    const bool written = write(fd, config.data(), config.size()) == ssize_t(config.size());
    const int writeErrno = errno;
    if (close(fd) != 0 || !written) {
        unlink(configPath.c_str());
        return Fail(error, configPath + ": " + std::strerror(written ? errno : writeErrno));
    }

    g_Capture.m_OldConf = GetEnv("ALSOFT_CONF");
    g_Capture.m_OldDrivers = GetEnv("ALSOFT_DRIVERS");
    setenv("ALSOFT_CONF", configPath.c_str(), 1);
    unsetenv("ALSOFT_DRIVERS");
    g_Capture.m_ConfigPath = configPath;
    g_Capture.m_WavPath = path;
    g_Capture.m_Before = before;
    g_Capture.m_bActive = true;
    return true;
}

void EndAudioCapture()
{
    if (!g_Capture.m_bActive)
        return;
    unlink(g_Capture.m_ConfigPath.c_str());
    RestoreEnv("ALSOFT_CONF", g_Capture.m_OldConf);
    RestoreEnv("ALSOFT_DRIVERS", g_Capture.m_OldDrivers);
    g_Capture = SCaptureState();
}

bool FinishAudioCapture(double seconds, std::string* error)
{
    if (!g_Capture.m_bActive)
        return true;
    const std::string path = g_Capture.m_WavPath;
    const bool wrote = DeviceWrote(path, g_Capture.m_Before);
    EndAudioCapture();
    return wrote ? AlignWave(path, seconds, error) : WriteEmptyWave(path, error);
}
