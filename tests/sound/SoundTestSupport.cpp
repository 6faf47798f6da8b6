#include "tests/sound/SoundTestSupport.h"
#include "tests/support/OggCrc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace soundtest {

void UseWaveBackend(const std::string& configPath, const std::string& outputPath)
{
    std::ofstream config(configPath);
    config << "[general]\n"
              "drivers = wave\n"
              "channels = stereo\n"
              "sample-type = int16\n"
              "frequency = 44100\n"
              "[wave]\n"
              "file = "
           << outputPath << "\n";
    config.close();
    setenv("ALSOFT_CONF", configPath.c_str(), 1);
}

const std::string& RecordingPath()
{
    // One directory for the whole process: OpenAL keeps writing to this path.
    static CTempDir dir;
    static const std::string path = [] {
        UseWaveBackend((dir / "alsoft.conf"), (dir / "out.wav"));
        return (dir / "out.wav");
    }();
    return path;
}

namespace {
void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
uint32_t Get32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Get16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
} // namespace

Bytes MakeWav(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& samples, uint16_t format)
{
    Bytes b(44 + samples.size());
    std::memcpy(&b[0], "RIFF", 4);
    Put32(b, 4, uint32_t(36 + samples.size()));
    std::memcpy(&b[8], "WAVEfmt ", 8);
    Put32(b, 16, 16);
    Put16(b, 20, format);
    Put16(b, 22, channels);
    Put32(b, 24, rate);
    const uint32_t block = uint32_t(channels) * ((bits + 7u) / 8u);
    Put32(b, 28, rate * block);
    Put16(b, 32, block);
    Put16(b, 34, bits);
    std::memcpy(&b[36], "data", 4);
    Put32(b, 40, uint32_t(samples.size()));
    std::copy(samples.begin(), samples.end(), b.begin() + 44);
    return b;
}

Bytes SineSamples16(uint32_t rate, uint32_t frames, double freq, double amplitude)
{
    Bytes b(size_t(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * freq * double(i) / double(rate));
        Put16(b, size_t(i) * 2, uint16_t(int16_t(std::lround(v * 32767.0))));
    }
    return b;
}

Bytes EncodeOgg(int channels, long rate, long frames, double freq, double amplitude)
{
    CTempDir dir;
    const std::string out = (dir / "tone.ogg");
    const std::string args[] = {VELTRIX_TEST_OGGENC,      out,
                                std::to_string(channels), std::to_string(rate),
                                std::to_string(frames),   std::to_string(freq),
                                std::to_string(amplitude)};
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return ReadFile(out);
}

bool SetLastGranule(Bytes& ogg, int64_t granule)
{
    static const unsigned char capture[4] = {'O', 'g', 'g', 'S'};
    size_t last = ogg.size();
    for (size_t i = ogg.size() >= 27 ? ogg.size() - 27 : 0;; --i) {
        if (std::memcmp(&ogg[i], capture, 4) == 0) {
            last = i;
            break;
        }
        if (i == 0)
            break;
    }
    if (last == ogg.size())
        return false;
    for (int k = 0; k < 8; ++k)
        ogg[last + 6 + size_t(k)] = uint8_t(uint64_t(granule) >> (8 * k));
    std::memset(&ogg[last + 22], 0, 4);
    const uint32_t crc = OggCrc(&ogg[last], ogg.size() - last);
    for (int k = 0; k < 4; ++k)
        ogg[last + 22 + size_t(k)] = uint8_t(crc >> (8 * k));
    return true;
}

bool WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakePack(const std::string& dir, const std::string& packPath, const std::vector<SEntry>& entries)
{
    std::string command =
        "cd '" + dir + "' && rm -f '" + packPath + "' && zip -q -P 4mq7x2kd91vbz0hw '" + packPath + "'";
    for (const SEntry& e : entries) {
        const std::filesystem::path file = std::filesystem::path(dir) / e.m_Name;
        std::filesystem::create_directories(file.parent_path());
        if (!WriteFile(file.string(), e.m_Data))
            return false;
        command += " '" + e.m_Name + "'";
    }
    return std::system(command.c_str()) == 0;
}

bool LoadRecording(const std::string& path, SRecording& out)
{
    const Bytes b = ReadFile(path);
    if (b.size() < 12 || std::memcmp(&b[0], "RIFF", 4) != 0 || std::memcmp(&b[8], "WAVE", 4) != 0)
        return false;
    int bits = 0;
    bool isFloat = false;
    size_t at = 12;
    out = SRecording();
    while (at + 8 <= b.size()) {
        const uint32_t length = Get32(&b[at + 4]);
        const unsigned char* body = &b[at + 8];
        // The writer may leave the data length unset while it is still recording.
        const size_t available = std::min<size_t>(length, b.size() - at - 8);
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && available >= 16) {
            const uint16_t format = Get16(body);
            out.m_nChannels = Get16(body + 2);
            out.m_nRate = int(Get32(body + 4));
            bits = Get16(body + 14);
            isFloat = format == 3 || (format == 0xFFFE && available >= 26 && Get16(body + 24) == 3);
        } else if (std::memcmp(&b[at], "data", 4) == 0 && bits != 0) {
            const size_t width = size_t(bits) / 8;
            for (size_t i = 0; i + width <= available; i += width) {
                if (isFloat && bits == 32) {
                    float v;
                    std::memcpy(&v, body + i, 4);
                    out.m_Samples.push_back(v);
                } else if (bits == 16) {
                    out.m_Samples.push_back(float(int16_t(Get16(body + i))) / 32768.0f);
                } else {
                    return false;
                }
            }
            return out.m_nChannels > 0;
        }
        at += 8 + length + (length & 1);
    }
    return false;
}

double Rms(const SRecording& rec, size_t begin, size_t end)
{
    const size_t ch = size_t(rec.m_nChannels);
    end = std::min(end, rec.Frames());
    if (begin >= end)
        return 0.0;
    double sum = 0.0;
    for (size_t i = begin * ch; i < end * ch; ++i)
        sum += double(rec.m_Samples[i]) * rec.m_Samples[i];
    return std::sqrt(sum / double((end - begin) * ch));
}

double ToneLevel(const SRecording& rec, size_t begin, size_t end, double freq)
{
    const size_t ch = size_t(rec.m_nChannels);
    end = std::min(end, rec.Frames());
    if (begin >= end)
        return 0.0;
    const double w = 2.0 * M_PI * freq / double(rec.m_nRate);
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = begin; i < end; ++i) {
        double x = 0.0;
        for (size_t c = 0; c < ch; ++c)
            x += rec.m_Samples[i * ch + c];
        x /= double(ch);
        const double s = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    // Peak amplitude of a sine at that frequency.
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(end - begin);
}

} // namespace soundtest
