// The fixture of the program's tests on private headless Wayland
// compositors: the compositor, the program started on it, what it reports
// and what the compositor shows.
#pragma once

#include "tests/support/Child.h"
#include "tests/support/Compositor.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <vector>

// Two outputs of different sizes, the second at scale 2 to the right of the first.
const char TwoOutputs[] = "output HEADLESS-1 mode --custom 1280x720 position 0 0\n"
                          "output HEADLESS-2 mode --custom 1600x900 position 1280 0 scale 2\n";

struct SChild
{
    pid_t pid = -1;
    std::string errPath;
};

struct SViewReport
{
    long frames = 0;
    std::string size;
};

class WaylandHost : public testing::Test
{
protected:
    // Starts the compositor, or skips the test when it is not installed.
    bool StartCompositor(ECompositor kind, const std::string& config = "", int outputs = 1)
    {
        if (m_Compositor.Start(kind, config, outputs))
            return true;
        if (m_Compositor.Missing())
            m_bSkip = true;
        return false;
    }

    // prepare runs in the child, its environment set, just before the exec.
    SChild Spawn(const std::vector<std::string>& args, void (*prepare)(void*) = nullptr, void* context = nullptr)
    {
        SChild child;
        child.errPath = m_Scratch / ("stderr-" + std::to_string(m_nChildren++) + ".txt");
        child.pid = fork();
        if (child.pid == 0) {
            freopen(child.errPath.c_str(), "w", stderr);
            m_Compositor.SetClientEnvironment();
            setenv("ALSOFT_DRIVERS", "null", 1);
            if (prepare)
                prepare(context);
            std::vector<std::string> argv = {VELTRIX_BINARY_DIR "/veltrix"};
            argv.insert(argv.end(), args.begin(), args.end());
            ExecArgv(argv);
        }
        return child;
    }

    // Waits (generously: a loaded machine) until the child's stderr holds text.
    static bool WaitFor(const SChild& child, const std::string& text)
    {
        for (int i = 0; i < 1200; ++i) {
            if (ReadWholeFile(child.errPath).find(text) != std::string::npos)
                return true;
            int status = 0;
            if (waitpid(child.pid, &status, WNOHANG) == child.pid)
                return ReadWholeFile(child.errPath).find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The child's exit status; -1 if it had to be killed after 60 s.
    static int WaitForExit(const SChild& child) { return ::WaitForExit(child.pid, 60.0); }

    // What every view drew so far, by output, as a --verbose run reports it on SIGUSR1.
    static std::map<std::string, SViewReport> Report(const SChild& child)
    {
        const size_t before = ReadWholeFile(child.errPath).size();
        kill(child.pid, SIGUSR1);
        std::map<std::string, SViewReport> views;
        const std::regex line("veltrix: (.+) drew (\\d+) frames, (\\d+x\\d+) pixels\n");
        for (int i = 0; i < 400 && views.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::string text = ReadWholeFile(child.errPath).substr(before);
            for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it)
                views[(*it)[1]] = {std::stol((*it)[2]), (*it)[3]};
        }
        return views;
    }

    // Waits until the view on output has drawn more than `than` frames.
    static bool DrawsOn(const SChild& child, const std::string& output, long than)
    {
        for (int i = 0; i < 60; ++i) {
            const auto views = Report(child);
            if (views.count(output) && views.at(output).frames > than)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    }

    // Types text until the child is gone (false: still there after a minute).
    // The virtual keyboard wtype makes is new to the seat each time, and a
    // busy client may bind it only after the keys went by, so wtype waits
    // a little before typing.
    bool TypeUntilGone(const SChild& child, const std::string& text)
    {
        for (int i = 0; i < 15; ++i) {
            m_Compositor.Run({"wtype", "-s", "1500", text});
            for (int k = 0; k < 40; ++k) {
                siginfo_t info{};
                if (waitid(P_PID, child.pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child.pid)
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        return false;
    }

    // A screen copy of one output: its size, and how many different colours
    // and how many lit pixels a grid of samples found.
    struct SPicture
    {
        int width = 0, height = 0;
        size_t colours = 0;
        int lit = 0;
        int reddish = 0; // the colour of the bolts' ends: red well above green and blue
    };

    SPicture Grab(const std::string& output)
    {
        SPicture picture;
        const std::string path = m_Scratch / (output + ".ppm");
        if (m_Compositor.Run({"grim", "-t", "ppm", "-o", output, path}) != 0)
            return picture;
        const std::string ppm = ReadWholeFile(path);
        int maxval = 0, offset = 0;
        if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &picture.width, &picture.height, &maxval, &offset) != 3)
            return picture;
        const size_t pixels = static_cast<size_t>(offset + 1);
        std::map<uint32_t, int> seen;
        for (int y = 0; y < picture.height; y += 4) {
            for (int x = 0; x < picture.width; x += 4) {
                const size_t at = pixels + 3 * (static_cast<size_t>(y) * picture.width + x);
                if (at + 2 >= ppm.size())
                    continue;
                const auto* p = reinterpret_cast<const unsigned char*>(ppm.data() + at);
                seen[(p[0] << 16) | (p[1] << 8) | p[2]]++;
                picture.lit += p[0] + p[1] + p[2] > 30;
                picture.reddish += p[0] > p[1] + 25 && p[0] > p[2] && p[0] > 50;
            }
        }
        picture.colours = seen.size();
        return picture;
    }

    static size_t WaveDataBytes(const std::string& wave, uint32_t* riff = nullptr)
    {
        const size_t data = wave.find("data", 12);
        uint32_t bytes = 0;
        if (data == std::string::npos || data + 8 > wave.size())
            return 0;
        std::memcpy(&bytes, wave.data() + data + 4, 4);
        if (riff)
            std::memcpy(riff, wave.data() + 4, 4);
        return bytes == wave.size() - data - 8 ? bytes : 0;
    }

    // The root mean square of a 16-bit PCM WAVE file's samples (0 to 1); -1 when it is not one.
    static double WaveRms(const std::string& wave)
    {
        const size_t bytes = WaveDataBytes(wave);
        if (bytes == 0 || wave.size() < 36 || static_cast<unsigned char>(wave[34]) != 16)
            return -1.0;
        const size_t data = wave.find("data", 12) + 8;
        double sum = 0.0;
        const size_t count = bytes / 2;
        for (size_t i = 0; i < count; ++i) {
            int16_t sample = 0;
            std::memcpy(&sample, wave.data() + data + 2 * i, 2);
            sum += (sample / 32768.0) * (sample / 32768.0);
        }
        return count ? std::sqrt(sum / count) : 0.0;
    }

    // Lines of a WAYLAND_DEBUG=client log that match pattern.
    static std::vector<std::smatch> Requests(const std::string& log, const std::string& pattern)
    {
        static std::string kept; // the matches point into it
        kept = log;
        std::vector<std::smatch> found;
        const std::regex re(pattern);
        for (auto it = std::sregex_iterator(kept.begin(), kept.end(), re); it != std::sregex_iterator(); ++it)
            found.push_back(*it);
        return found;
    }

    void SetUp() override { m_bSkip = false; }

    CCompositor m_Compositor;
    CTempDir m_Scratch;
    int m_nChildren = 0;
    bool m_bSkip = false;
};

#define START_OR_SKIP(...)                                                                                             \
    do {                                                                                                               \
        if (!StartCompositor(__VA_ARGS__)) {                                                                           \
            if (m_bSkip)                                                                                               \
                GTEST_SKIP() << "compositor not installed";                                                            \
            FAIL() << "the compositor did not start";                                                                  \
        }                                                                                                              \
    } while (0)
