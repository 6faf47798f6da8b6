// The veltrix program's recording mode: options, summary line, and the
// built executable's exit status, error lines and frames.
#include "tests/render/RenderTestSupport.h"

#include "host/app/Options.h"
#include "host/record/Recorder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sys/wait.h>

using namespace rendertest;

namespace {

struct SRun
{
    int status = -1;
    std::string out;
    std::string err;
};

// prefix: a command that runs the program given after it ("$0" "$@").
SRun RunVeltrix(const std::string& args, const CTempDir& scratch, const std::string& prefix = "")
{
    const std::string errFile = scratch / "stderr.txt";
    const std::string command =
        "ALSOFT_DRIVERS=null " + prefix + " " VELTRIX_BINARY_DIR "/veltrix " + args + " 2>" + errFile;
    SRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 512> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        run.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

int Lines(const std::string& text)
{
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// Names of the files in a folder, sorted. Every frame among them must be a
// whole PNG (its end chunk last), and none may be half written.
std::vector<std::string> WholeFrames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (name.starts_with("frame-0") && name.ends_with(".png")) {
            EXPECT_EQ(bytes.substr(bytes.size() - std::min<size_t>(bytes.size(), 8), 4), "IEND") << name;
        }
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Parse(std::initializer_list<const char*> args, SOptions& options, std::string& error)
{
    std::vector<const char*> argv = {"veltrix"};
    argv.insert(argv.end(), args);
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

} // namespace

TEST(HostOptions, DefaultsAndEveryOption)
{
    SOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--headless"}, o, error));
    EXPECT_EQ(o.m_nWidth, 1280);
    EXPECT_EQ(o.m_nHeight, 720);
    EXPECT_EQ(o.m_nFrames, 300);
    EXPECT_EQ(o.m_Output, "out");
    EXPECT_TRUE(o.m_bPacing);

    SOptions p;
    ASSERT_TRUE(Parse({"--headless", "--size", "640x360", "--frames=12", "--output", "x/y", "--preview", "--secondary",
                       "--pack", "m.dat", "--no-pacing", "--audio", "a.wav", "--volume", "75", "--no-sound"},
                      p, error))
        << error;
    EXPECT_EQ(p.m_nWidth, 640);
    EXPECT_EQ(p.m_nHeight, 360);
    EXPECT_EQ(p.m_nFrames, 12);
    EXPECT_EQ(p.m_Output, "x/y");
    EXPECT_TRUE(p.m_bPreview);
    EXPECT_TRUE(p.m_bSecondary);
    EXPECT_EQ(p.m_Pack, "m.dat");
    EXPECT_FALSE(p.m_bPacing);
    EXPECT_EQ(p.m_Audio, "a.wav");
    EXPECT_EQ(p.m_nVolume, 75);
    EXPECT_TRUE(p.m_bNoSound);
    EXPECT_EQ(o.m_nVolume, -1); // unset: the stored setting holds
    EXPECT_TRUE(o.m_Audio.empty());
}

TEST(HostOptions, BadArgumentsGiveAReason)
{
    for (auto args : std::vector<std::vector<const char*>>{{"--size", "640"},
                                                           {"--size", "0x10"},
                                                           {"--size", "64x-1"},
                                                           {"--size", "99999x10"},
                                                           {"--frames", "ten"},
                                                           {"--frames", "0"},
                                                           {"--frames"},
                                                           {"--bogus"},
                                                           {"--volume", "101"},
                                                           {"--volume", "-1"},
                                                           {"--audio"},
                                                           {"--headless=yes"}}) {
        std::vector<const char*> argv = {"veltrix"};
        argv.insert(argv.end(), args.begin(), args.end());
        SOptions o;
        std::string error;
        EXPECT_FALSE(ParseOptions(static_cast<int>(argv.size()), argv.data(), o, error)) << args[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(HostSummary, ReportsMedianP95MaxAndTheRateOfALateRecording)
{
    SRecordResult r;
    r.m_nFrames = 20;
    r.m_nWidth = 640;
    r.m_nHeight = 360;
    for (int i = 1; i <= 20; ++i)
        r.m_RenderMs.push_back(i); // 1 .. 20 ms
    r.m_bPaced = true;
    r.m_dAchievedFps = 30.0;
    EXPECT_EQ(FormatSummary(r), "veltrix: 20 frames 640x360, render median 10.0 ms, p95 19.0 ms, max 20.0 ms");
    r.m_RenderMs.push_back(25000.0); // beyond the histogram: still the maximum
    EXPECT_EQ(FormatSummary(r), "veltrix: 20 frames 640x360, render median 11.0 ms, p95 20.0 ms, max 25000.0 ms");
    r.m_dAchievedFps = 14.25;
    EXPECT_EQ(FormatSummary(r),
              "veltrix: 20 frames 640x360, render median 11.0 ms, p95 20.0 ms, max 25000.0 ms, achieved 14.2 fps");
}

TEST(HostProgram, RecordsNumberedFramesAndPrintsTheSummary)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    const std::string out = dir / "frames";
    const SRun run =
        RunVeltrix("--headless --no-pacing --size 64x40 --frames 3 --pack " + pack + " --output " + out, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("veltrix: 3 frames 64x40, render median [0-9.]+ ms, "
                                                     "p95 [0-9.]+ ms, max [0-9.]+ ms\n")))
        << run.out;
    for (const char* name : {"frame-00001.png", "frame-00002.png", "frame-00003.png"})
        EXPECT_GT(std::filesystem::file_size(std::filesystem::path(out) / name), 0u) << name;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(out) / "frame-00004.png"));
}

TEST(HostProgram, UnpacedRecordingsAreTheSameOnEveryRun)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    std::string frames[2];
    for (int run = 0; run < 2; ++run) {
        const std::string out = dir / ("run" + std::to_string(run));
        ASSERT_EQ(RunVeltrix("--headless --no-pacing --size 64x40 --frames 12 --pack " + pack + " --output " + out, dir)
                      .status,
                  0);
        std::ifstream in(out + "/frame-00012.png", std::ios::binary);
        frames[run].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_GT(frames[0].size(), 100u);
    EXPECT_EQ(frames[0], frames[1]);
}

TEST(HostProgram, AFrameThatCannotBeWrittenStopsTheRecording)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    const std::string out = dir / "frames";
    std::filesystem::create_directories(std::filesystem::path(out) / "frame-00002.png"); // in the way
    const SRun run =
        RunVeltrix("--headless --no-pacing --size 64x40 --frames 30 --pack " + pack + " --output " + out, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("frame-00002.png"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(out) / "frame-00001.png"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(out) / "frame-00030.png"));
}

TEST(HostProgram, AFullDiskLeavesOnlyWholeFramesOrFailsTheSoundAndSaysWhy)
{
    // A 200 KB file system in a mount namespace of the run's own, so nothing
    // stays mounted; the frames are copied out for checking before it goes.
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "no private mount namespace here";
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    const std::string out = dir / "small";
    const std::string kept = dir / "kept";
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(kept);
    auto smallDisk = [&](const char* size) {
        return "unshare -rm sh -c 'mount -t tmpfs -o size=" + std::string(size) + " none " + out +
               " && \"$0\" \"$@\"; status=$?; cp " + out + "/* " + kept + "; exit $status'";
    };
    const SRun run = RunVeltrix("--headless --no-pacing --size 640x360 --frames 40 --pack " + pack + " --output " + out,
                                dir, smallDisk("200k"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    const std::vector<std::string> frames = WholeFrames(kept);
    EXPECT_GT(frames.size(), 0u);
    EXPECT_LT(frames.size(), 40u);

    // The sound runs out of room after about a third of a second of the second.
    std::filesystem::remove_all(kept);
    std::filesystem::create_directories(kept);
    const SRun sound = RunVeltrix("--headless --size 32x20 --frames 30 --pack " + pack + " --output " +
                                      (dir / "frames") + " --audio " + out + "/a.wav",
                                  dir, smallDisk("64k"));
    EXPECT_EQ(sound.status, 1);
    EXPECT_EQ(Lines(sound.err), 1) << sound.err;
    EXPECT_NE(sound.err.find("a.wav"), std::string::npos) << sound.err;
    EXPECT_NE(sound.err.find("No space left on device"), std::string::npos) << sound.err;
}

TEST(HostProgram, FailuresGiveOneLineAndStatusOne)
{
    unsetenv("DISPLAY"); // without --headless the program wants one
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    std::ofstream(dir / "file") << "not a folder";

    struct SCase
    {
        std::string args;
        std::string mention;
    };
    const SCase cases[] = {
        {"--headless --bogus", "--bogus"},
        {"--size 64x40", "display"},
        {"--headless --frames 1 --pack " + pack + " --output " + (dir / "file") + "/sub", dir / "file"},
        {"--headless --frames 1 --pack " + (dir / "missing.dat") + " --output " + (dir / "o"), "missing.dat"},
    };
    for (const SCase& c : cases) {
        const SRun run = RunVeltrix(c.args, dir);
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_EQ(Lines(run.err), 1) << run.err;
        EXPECT_EQ(run.err.rfind("veltrix: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.mention), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

namespace {

// The samples of a 16-bit WAVE file (any format chunk), or nullopt when the
// file is not a complete RIFF WAVE.
std::optional<std::vector<int16_t>> WaveSamples(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
    };
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = u32(at + 4);
        if (b.compare(at, 4, "data") == 0) {
            if (at + 8 + size > b.size())
                return std::nullopt;
            std::vector<int16_t> samples(size / 2);
            if (!samples.empty())
                std::memcpy(samples.data(), b.data() + at + 8, samples.size() * 2);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

const std::string RealPack = VELTRIX_BINARY_DIR "/Veltrix.saver/Contents/Resources/media.dat";

// A RunVeltrix prefix that sends the signal once the file exists (or after
// 20 s, for a run that never gets there).
std::string SignalOnceWritten(const std::string& file, const char* signal, const std::string& setUp = "")
{
    return " sh -c '" + setUp + "\"$0\" \"$@\" & pid=$!; n=0; while [ ! -e " + file +
           " ] && [ $n -lt 400 ]; do sleep 0.05; n=$((n+1)); done; kill -" + signal + " $pid; wait $pid'";
}

} // namespace

TEST(HostProgram, AudioRecordsTheMusicUnlessSoundIsOff)
{
    if (!std::filesystem::exists(RealPack))
        GTEST_SKIP() << "no media pack in this build";
    CTempDir dir;
    const std::string base = "--headless --size 32x20 --frames 45 --pack " + RealPack + " --output " + (dir / "f");

    // A '$' in the name is no variable to expand.
    const SRun on = RunVeltrix(base + " --volume 100 --audio '" + (dir / "on$HOME.wav") + "'", dir);
    ASSERT_EQ(on.status, 0) << on.err;
    const auto music = WaveSamples(dir / "on$HOME.wav");
    ASSERT_TRUE(music.has_value());
    int loud = 0;
    for (int16_t s : *music)
        loud += std::abs(static_cast<int>(s)) > 64;
    EXPECT_GT(loud, 1000); // the first track fading in over the first 1.5 s

    const SRun off = RunVeltrix(base + " --no-sound --audio " + (dir / "off.wav"), dir);
    ASSERT_EQ(off.status, 0) << off.err;
    const auto silence = WaveSamples(dir / "off.wav");
    ASSERT_TRUE(silence.has_value());
    for (int16_t s : *silence)
        ASSERT_EQ(s, 0);

    const SRun bad = RunVeltrix(base + " --audio " + (dir / "missing") + "/a.wav", dir);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(Lines(bad.err), 1) << bad.err;
    EXPECT_NE(bad.err.find("missing/a.wav"), std::string::npos) << bad.err;
}

TEST(HostProgram, StopSignalsEndTheRecordingLikeItsLastFrame)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    for (const char* signal : {"INT", "TERM"}) {
        const std::string out = dir / signal;
        const std::string wav = out + ".wav";
        const std::string prefix = "TMPDIR=" + dir.Path() + SignalOnceWritten(out + "/frame-00010.png", signal);
        const SRun run =
            RunVeltrix("--headless --size 64x40 --frames 3000 --pack " + pack + " --output " + out + " --audio " + wav,
                       dir, prefix);
        EXPECT_EQ(run.status, 0) << signal << run.err;
        const size_t frames = WholeFrames(out).size();
        EXPECT_GE(frames, 10u);
        EXPECT_NE(run.out.find("veltrix: " + std::to_string(frames) + " frames"), std::string::npos) << run.out;
        EXPECT_TRUE(WaveSamples(wav).has_value()) << signal; // sizes in the header match the data
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            EXPECT_NE(entry.path().filename().string().rfind("veltrix-alsoft-", 0), 0u) << entry.path();
    }
}

TEST(HostProgram, AHugeFrameCountNeedsNoMemoryForItsFramesAndNumbersThemInOrder)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs more address space than the limit allows";
#endif
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    const std::string out = dir / "frames";
    const SRun run =
        RunVeltrix("--headless --no-pacing --size 64x40 --frames 2147483647 --pack " + pack + " --output " + out, dir,
                   SignalOnceWritten(out + "/frame-0000000010.png", "TERM", "ulimit -v 4000000; "));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(" frames 64x40"), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::exists(out + "/frame-0000000001.png"));
}

TEST(HostProgram, FramesOfAnEarlierRecordingAreRemovedAndNothingElse)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    const std::string out = dir / "frames";
    std::filesystem::create_directories(out);
    for (const char* name : {"frame-.png", "frame-00007.png", "frame-00008.png.part", "frame-00009.png.bak",
                             "frame-00123.png", "frame-1a.jpg", "notes.txt"})
        std::ofstream(out + "/" + name) << "old";
    const SRun run =
        RunVeltrix("--headless --no-pacing --size 32x20 --frames 2 --pack " + pack + " --output " + out, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "veltrix: removed 3 frames of an earlier recording from " + out + "\n");
    EXPECT_EQ(WholeFrames(out), (std::vector<std::string>{"frame-.png", "frame-00001.png", "frame-00002.png",
                                                          "frame-00009.png.bak", "frame-1a.jpg", "notes.txt"}));
}

TEST(HostProgram, OnlyARecordingWritesTheAudioFile)
{
    CTempDir dir;
    const std::string pack = BuildPack(dir, "media.dat", FullMedia());
    const std::string keep = dir / "keep.wav";
    std::ofstream(keep) << "an earlier recording";
    const std::string base = "--headless --size 32x20 --frames 1 --output " + (dir / "f");
    for (const std::string& args : {base + " --pack " + (dir / "nosuch.dat") + " --audio " + keep,
                                    base + " --pack " + pack + " --audio " + pack}) {
        const SRun run = RunVeltrix(args, dir);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(Lines(run.err), 1) << run.err;
    }
    EXPECT_EQ(std::filesystem::file_size(keep), 20u);
    EXPECT_GT(std::filesystem::file_size(pack), 1000u);
}

// A pack the scene cannot fully use, on a machine without a sound card: the
// recording goes ahead, with one line of ours for each and nothing else.
TEST(HostProgram, AnIncompletePackAndNoSoundCardGetOneLineEach)
{
    if (std::filesystem::exists("/dev/snd"))
        GTEST_SKIP() << "this machine has a sound card";
    CTempDir dir;
    Entries media = FullMedia();
    media.erase("textures/galaxy.jpg");
    const std::string pack = BuildPack(dir, "media.dat", media);
    const std::string noCard = "HOME=" + dir.Path() + " XDG_CONFIG_HOME=" + dir.Path() + " ALSOFT_DRIVERS=alsa,oss";
    const SRun run = RunVeltrix(
        "--headless --no-pacing --size 32x20 --frames 2 --pack " + pack + " --output " + (dir / "f"), dir, noCard);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "veltrix: warning: the scene cannot load textures/galaxy.jpg from " + pack +
                           "; recording what the saver shows anyway\n"
                           "veltrix: no audio device; running without music\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "f/frame-00002.png"));
}
