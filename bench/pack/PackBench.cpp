// Loading every entry of a pack of a few megabytes: CPackReader against
// Info-ZIP's unzip extracting the same entries to /dev/null, in one run.
// Both open the pack afresh each iteration; unzip also pays its process start.
// After the runs the ratio of the medians (reader / unzip) is printed.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "pack/PackReader.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct SBenchPack
{
    std::string dir;
    std::string path;
    std::vector<std::string> names;
    int64_t bytes = 0;
};

void WriteEntry(SBenchPack& pack, const std::string& name, const std::string& content)
{
    const fs::path file = fs::path(pack.dir) / "in" / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    pack.names.push_back(name);
    pack.bytes += static_cast<int64_t>(content.size());
}

std::string Noise(size_t size, uint32_t seed)
{ // like JPEG or Ogg data: deflate cannot shrink it
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

std::string Text(size_t size, int seed)
{ // compresses about 4:1 to 8:1
    std::string s;
    for (int i = 0; s.size() < size; ++i)
        s += "key " + std::to_string(i * 7919 % (1000 + seed)) + " at " + std::to_string(i * 0.0417) + "\n";
    s.resize(size);
    return s;
}

// About 4.6 MB: textures and music that stay stored, camera paths that deflate.
const SBenchPack& Pack()
{
    static SBenchPack pack = [] {
        SBenchPack p;
        char pattern[] = "/tmp/veltrix-pack-bench.XXXXXX";
        p.dir = mkdtemp(pattern);
        p.path = p.dir + "/media.dat";
        for (int i = 0; i < 8; ++i)
            WriteEntry(p, "textures/t" + std::to_string(i) + ".jpg", Noise(250000, i));
        for (int i = 0; i < 10; ++i)
            WriteEntry(p, "cameras/camera" + std::to_string(i) + ".path", Text(120000, i));
        for (int i = 0; i < 2; ++i)
            WriteEntry(p, "music/theme" + std::to_string(i) + ".ogg", Noise(700000, 100 + i));
        const std::string command =
            std::string(VELTRIX_BINARY_DIR) + "/veltrix-pack create " + p.path + " " + p.dir + "/in";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "bench: %s: cannot create the pack\n", p.path.c_str());
            std::exit(1);
        }
        return p;
    }();
    return pack;
}

void BM_PackReader_LoadAll(benchmark::State& state)
{
    const SBenchPack& pack = Pack();
    for (auto _ : state) {
        if (!CPackReader::Init(pack.path.c_str()))
            state.SkipWithError("cannot open the pack");
        for (const std::string& name : pack.names) {
            std::unique_ptr<IData> blob = CPackReader::LoadData(name.c_str());
            if (!blob)
                state.SkipWithError(("cannot load " + name).c_str());
            benchmark::DoNotOptimize(blob->GetData());
        }
        CPackReader::Done();
    }
    state.SetBytesProcessed(state.iterations() * pack.bytes);
}
BENCHMARK(BM_PackReader_LoadAll)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InfoZipUnzip_ExtractAll(benchmark::State& state)
{
    const SBenchPack& pack = Pack();
    std::vector<std::string> args = {"unzip", "-qq", "-P", CPackReader::PackPassword, "-p", pack.path};
    args.insert(args.end(), pack.names.begin(), pack.names.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid;
        int status = 0;
        if (posix_spawnp(&pid, "unzip", &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("unzip failed");
    }
    posix_spawn_file_actions_destroy(&actions);
    state.SetBytesProcessed(state.iterations() * pack.bytes);
}
BENCHMARK(BM_InfoZipUnzip_ExtractAll)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the console output and remembers each benchmark's median (or its
// single time when not repeated) for the closing ratio.
class CRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_Median[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration && !m_Median.count(name))
                m_Single[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio() const
    {
        const double reader = Time("BM_PackReader_LoadAll"), unzip = Time("BM_InfoZipUnzip_ExtractAll");
        if (reader > 0 && unzip > 0)
            std::printf("pack load time ratio, CPackReader / unzip: %.3f (goal <= 1.0)\n", reader / unzip);
    }

private:
    double Time(const std::string& name) const
    {
        if (auto it = m_Median.find(name); it != m_Median.end())
            return it->second;
        if (auto it = m_Single.find(name); it != m_Single.end())
            return it->second;
        return 0;
    }
    std::map<std::string, double> m_Median, m_Single;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.PrintRatio();
    fs::remove_all(Pack().dir);
    return 0;
}
