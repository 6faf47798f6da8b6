// Start-up cost of the music.
//  Decode/*: CreateBufferFromOggFileImage on each track against oggdec (a
//    separate program, the reference Vorbis decoder) on the same file.
//    (veltrix_bench_decoders sets Tremor and libvorbis side by side.)
//  Start/*: CScreenSaver::Init through the end of the first Draw, with the
//    music and without it, on a headless context.
//  Update/first_30s: the music player alone over the first 30 s of a run
//    (900 frames of a virtual 30 Hz clock, the gains as the first camera
//    cycle sets them): the longest Update (where the decoding slices run),
//    all of them together, the frame by which both tracks were whole, and
//    how much the resident set grew from before Init to then.
// The tracks come from the built media pack; without one, 90 s tracks and a
// small scene are generated. OpenAL plays into its wave backend writing to
// /dev/null.
#include "core/Config.h"
#include "core/ScreenSaver.h"
#include "pack/PackReader.h"
#include "platform/HeadlessGL.h"
#include "core/SoundGain.h"
#include "sound/AmbientSound.h"
#include "sound/Sound.h"
#include "sound/SoundDecode.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/sound/SoundTestSupport.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

struct STrack
{
    std::string m_Name;
    std::string m_File; // for oggdec
    soundtest::Bytes m_Image;
};

std::vector<STrack> g_Tracks;
std::string g_Pack;
ALCcontext* g_pContext = nullptr;

// Runs oggdec on the file; adds the child's CPU seconds (user + system) to *cpu.
bool RunOggdec(const std::string& file, double* cpu)
{
    const char* argv[] = {"oggdec", "-Q", "-o", "/dev/null", file.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "oggdec", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    rusage usage = {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    *cpu += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return true;
}

void BM_Ours(benchmark::State& state, const STrack* track)
{
    alcMakeContextCurrent(g_pContext);
    for (auto _ : state) {
        ALuint name = CreateBufferFromOggFileImage(track->m_Image.data(), uint32_t(track->m_Image.size()));
        if (name == 0) {
            state.SkipWithError("decode failed");
            break;
        }
        alDeleteBuffers(1, &name);
    }
}

// The CPU column counts only this process; the child's own CPU time per run
// is the counter, comparable with the CPU column of Decode/ours on a busy machine.
void BM_Oggdec(benchmark::State& state, const STrack* track)
{
    double cpu = 0.0;
    for (auto _ : state) {
        if (!RunOggdec(track->m_File, &cpu)) {
            state.SkipWithError("oggdec failed");
            break;
        }
    }
    state.counters["child_cpu_ms"] = benchmark::Counter(cpu * 1000.0, benchmark::Counter::kAvgIterations);
}

void BM_Start(benchmark::State& state, bool music)
{
    CHeadlessGL gl;
    if (!gl.Create(640, 360)) {
        state.SkipWithError(gl.Error().c_str());
        return;
    }
    if (!CPackReader::Init(g_Pack.c_str())) {
        state.SkipWithError("cannot open the pack");
        return;
    }
    SCONFIG config;
    config.m_nEnableSounds = music ? 1 : 0;
    for (auto _ : state) {
        CScreenSaver saver;
        saver.Init(&config);
        saver.Draw();
        glFinish();
        state.PauseTiming();
        saver.Done();
        state.ResumeTiming();
    }
    CPackReader::Done();
}

double ThreadCpuSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Resident set of this process, in bytes (VmRSS).
double ResidentBytes()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0.0;
    char line[256];
    double kib = 0.0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %lf kB", &kib) == 1)
            break;
    std::fclose(f);
    return kib * 1024.0;
}

void BM_Update(benchmark::State& state)
{
    if (!CPackReader::Init(g_Pack.c_str())) {
        state.SkipWithError("cannot open the pack");
        return;
    }
    double longest = 0.0, total = 0.0, grown = 0.0;
    int wholeAt = -1;
    for (auto _ : state) {
        CAmbientSound music;
        g_SoundGain[0] = g_SoundGain[1] = 0.0f;
        const double rssBefore = ResidentBytes();
        music.Init();
        longest = total = 0.0;
        wholeAt = -1;
        for (int frame = 0; frame < 900; ++frame) {
            const double t = frame / 30.0;
            g_SoundGain[0] = float(std::clamp(t < 20.0 ? t / 3.0 : 1.0 - (t - 20.0) / 3.0, 0.0, 1.0));
            g_SoundGain[1] = float(std::clamp((t - 20.0) / 3.0, 0.0, 1.0));
            const double before = ThreadCpuSeconds();
            music.Update();
            const double spent = ThreadCpuSeconds() - before;
            longest = std::max(longest, spent);
            total += spent;
            if (wholeAt < 0 && sndFramesAhead(music.m_nTheme1) == INT_MAX && sndFramesAhead(music.m_nTheme2) == INT_MAX)
                wholeAt = frame;
        }
        state.PauseTiming();
        grown = ResidentBytes() - rssBefore;
        music.Done();
        state.ResumeTiming();
    }
    g_SoundGain[0] = g_SoundGain[1] = 0.0f;
    // What the music holds once both tracks are whole (the first run's figure
    // includes the device's start; later runs reuse freed pages).
    state.counters["rss_growth_mb"] = grown / 1e6;
    state.counters["longest_update_ms"] = longest * 1e3;
    state.counters["all_updates_ms"] = total * 1e3;
    state.counters["whole_at_frame"] = wholeAt;
    CPackReader::Done();
}

// The media pack's tracks, or generated ones with a small scene around them.
bool PrepareMedia(const CTempDir& dir)
{
    const char* names[2] = {"music/theme1.ogg", "music/theme2.ogg"};
    if (std::filesystem::exists(VELTRIX_MEDIA_PACK) && CPackReader::Init(VELTRIX_MEDIA_PACK)) {
        g_Pack = VELTRIX_MEDIA_PACK;
        for (const char* name : names) {
            std::unique_ptr<IData> data = CPackReader::LoadData(name);
            if (!data)
                return false;
            g_Tracks.push_back({name, "", soundtest::Bytes(data->GetData(), data->GetData() + data->GetSize())});
        }
        CPackReader::Done();
        std::fprintf(stderr, "tracks from %s\n", VELTRIX_MEDIA_PACK);
    } else {
        std::vector<soundtest::SEntry> entries;
        for (const auto& [name, bytes] : rendertest::FullMedia())
            entries.push_back({name, soundtest::Bytes(bytes.begin(), bytes.end())});
        for (int i = 0; i < 2; ++i) {
            g_Tracks.push_back({names[i], "", soundtest::EncodeOgg(2, 44100, 44100 * 90, 220.0 * (i + 2))});
            if (g_Tracks.back().m_Image.empty())
                return false;
            entries.push_back({names[i], g_Tracks.back().m_Image});
        }
        g_Pack = (dir / "media.dat");
        if (!soundtest::MakePack((dir / "media"), g_Pack, entries))
            return false;
        std::fprintf(stderr, "no media pack at %s: generated 90 s tracks\n", VELTRIX_MEDIA_PACK);
    }
    for (STrack& track : g_Tracks) {
        track.m_File = (dir / std::filesystem::path(track.m_Name).filename().string());
        if (!soundtest::WriteFile(track.m_File, track.m_Image))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CTempDir dir;
    // Before the first OpenAL call: the configuration is read once.
    soundtest::UseWaveBackend((dir / "alsoft.conf"), "/dev/null");
    if (!PrepareMedia(dir)) {
        std::fprintf(stderr, "%s: cannot prepare the tracks\n", VELTRIX_MEDIA_PACK);
        return 1;
    }
    ALCdevice* device = alcOpenDevice(nullptr);
    g_pContext = device ? alcCreateContext(device, nullptr) : nullptr;
    if (g_pContext == nullptr) {
        std::fprintf(stderr, "no OpenAL device on the wave backend\n");
        return 1;
    }

    for (const STrack& track : g_Tracks) {
        const std::string leaf = std::filesystem::path(track.m_Name).stem().string();
        benchmark::RegisterBenchmark(("Decode/ours/" + leaf).c_str(), BM_Ours, &track)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(("Decode/oggdec/" + leaf).c_str(), BM_Oggdec, &track)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::RegisterBenchmark("Start/without_music", BM_Start, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark("Start/with_music", BM_Start, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);

    benchmark::RegisterBenchmark("Update/first_30s", BM_Update)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    alcMakeContextCurrent(nullptr);
    alcDestroyContext(g_pContext);
    alcCloseDevice(device);
    return 0;
}
