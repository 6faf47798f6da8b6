// The two Vorbis decoders Debian offers, side by side in one process, with
// oggdec (the reference decoder's own command-line program) as the peer:
//  - every input (the media pack's tracks, the fuzz corpus) is decoded by
//    Tremor and by libvorbis; lengths and the largest sample difference are
//    printed, and for the tracks also the difference to oggdec's raw output;
//  - the tracks' decoding CPU time, in interleaved repetitions: Tremor,
//    libvorbis, oggdec (the child's user + system time), median of each and
//    the ratios.
// Both libraries export the same names, so neither is linked: each is opened
// with dlopen in its own namespace of symbols and called through pointers.
// Usage: veltrix_bench_decoders [repetitions] [extra .ogg files...]
#include "pack/PackReader.h"
#include "tests/sound/SoundTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// The part of the file API both libraries share; the decoder state is opaque
// here and given more room than either needs.
struct SCallbacks
{
    size_t (*read)(void*, size_t, size_t, void*);
    int (*seek)(void*, int64_t, int);
    int (*close)(void*);
    long (*tell)(void*);
};
struct SInfo
{
    int version;
    int channels;
    long rate;
};
using OpenFn = int (*)(void*, void*, const char*, long, SCallbacks);
using InfoFn = SInfo* (*)(void*, int);
using TotalFn = int64_t (*)(void*, int);
using ClearFn = int (*)(void*);
using TremorReadFn = long (*)(void*, void*, int, int*);
using VorbisReadFn = long (*)(void*, char*, int, int, int, int, int*);

struct SDecoder
{
    const char* m_pName = "";
    OpenFn m_Open = nullptr;
    InfoFn m_Info = nullptr;
    TotalFn m_Total = nullptr;
    ClearFn m_Clear = nullptr;
    TremorReadFn m_TremorRead = nullptr;
    VorbisReadFn m_VorbisRead = nullptr;

    bool Load(const char* name, const char* library)
    {
        m_pName = name;
        void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!handle)
            return false;
        m_Open = reinterpret_cast<OpenFn>(dlsym(handle, "ov_open_callbacks"));
        m_Info = reinterpret_cast<InfoFn>(dlsym(handle, "ov_info"));
        m_Total = reinterpret_cast<TotalFn>(dlsym(handle, "ov_pcm_total"));
        m_Clear = reinterpret_cast<ClearFn>(dlsym(handle, "ov_clear"));
        void* read = dlsym(handle, "ov_read");
        if (std::strcmp(name, "tremor") == 0)
            m_TremorRead = reinterpret_cast<TremorReadFn>(read);
        else
            m_VorbisRead = reinterpret_cast<VorbisReadFn>(read);
        return m_Open && m_Info && m_Total && m_Clear && read;
    }

    long Read(void* vf, char* out, int bytes) const
    {
        int stream = 0;
        if (m_TremorRead)
            return m_TremorRead(vf, out, bytes, &stream);
        return m_VorbisRead(vf, out, bytes, 0, 2, 1, &stream); // little-endian signed 16-bit
    }
};

struct SMem
{
    const unsigned char* m_pData;
    size_t m_nSize;
    size_t m_nPos;
};

size_t MemRead(void* dst, size_t size, size_t count, void* src)
{
    SMem* m = static_cast<SMem*>(src);
    if (size == 0 || m->m_nPos >= m->m_nSize)
        return 0;
    count = std::min(count, (m->m_nSize - m->m_nPos) / size);
    std::memcpy(dst, m->m_pData + m->m_nPos, count * size);
    m->m_nPos += count * size;
    return count;
}

int MemSeek(void* src, int64_t offset, int whence)
{
    SMem* m = static_cast<SMem*>(src);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(m->m_nPos) : int64_t(m->m_nSize);
    if (base + offset < 0 || base + offset > int64_t(m->m_nSize))
        return -1;
    m->m_nPos = size_t(base + offset);
    return 0;
}

int MemClose(void*)
{
    return 0;
}

long MemTell(void* src)
{
    return long(static_cast<SMem*>(src)->m_nPos);
}

struct SResult
{
    bool m_bOk = false; // opened and decoded to the predicted length
    std::vector<int16_t> m_Samples;
};

// The saver's way: one block sized from the predicted length, filled by ov_read.
SResult Decode(const SDecoder& d, const soundtest::Bytes& image)
{
    SResult r;
    SMem mem = {image.data(), image.size(), 0};
    alignas(16) static char vf[1 << 16];
    if (d.m_Open(&mem, vf, nullptr, 0, {MemRead, MemSeek, MemClose, MemTell}) < 0)
        return r;
    const SInfo* info = d.m_Info(vf, -1);
    const int64_t frames = d.m_Total(vf, -1);
    if (info && info->channels > 0 && frames >= 0 && frames < (int64_t(1) << 28)) {
        r.m_Samples.resize(size_t(frames) * size_t(info->channels));
        const int64_t bytes = int64_t(r.m_Samples.size()) * 2;
        int64_t filled = 0;
        char* out = reinterpret_cast<char*>(r.m_Samples.data());
        while (filled < bytes) {
            const long got = d.Read(vf, out + filled, int(std::min<int64_t>(bytes - filled, 1 << 30)));
            if (got <= 0)
                break;
            filled += got;
        }
        r.m_bOk = filled == bytes;
    }
    d.m_Clear(vf);
    return r;
}

double CpuSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs oggdec; the child's CPU seconds, or a negative value on failure.
double Oggdec(const std::string& in, const std::string& out, bool raw)
{
    std::vector<const char*> argv = {"oggdec", "-Q"};
    if (raw)
        argv.push_back("-R");
    argv.insert(argv.end(), {"-o", out.c_str(), in.c_str(), nullptr});
    pid_t pid = 0;
    if (posix_spawnp(&pid, "oggdec", nullptr, nullptr, const_cast<char**>(argv.data()), environ) != 0)
        return -1.0;
    int status = 0;
    rusage usage = {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1.0;
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

int MaxDiff(const std::vector<int16_t>& a, const std::vector<int16_t>& b)
{
    int worst = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void PrintLoad(const char* when)
{
    double load[3] = {};
    if (getloadavg(load, 3) == 3)
        std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

struct SInput
{
    std::string m_Name;
    std::string m_File;
    soundtest::Bytes m_Image;
    bool m_bTrack;
};

} // namespace

int main(int argc, char** argv)
{
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    SDecoder tremor, vorbis;
    if (!tremor.Load("tremor", "libvorbisidec.so.1") || !vorbis.Load("libvorbis", "libvorbisfile.so.3")) {
        std::fprintf(stderr, "veltrix: cannot open libvorbisidec.so.1 and libvorbisfile.so.3\n");
        return 1;
    }
    CTempDir dir;
    std::vector<SInput> inputs;
    if (std::filesystem::exists(VELTRIX_MEDIA_PACK) && CPackReader::Init(VELTRIX_MEDIA_PACK)) {
        for (const char* name : {"music/theme1.ogg", "music/theme2.ogg"}) {
            std::unique_ptr<IData> data = CPackReader::LoadData(name);
            if (data)
                inputs.push_back(
                    {name, "", soundtest::Bytes(data->GetData(), data->GetData() + data->GetSize()), true});
        }
        CPackReader::Done();
    }
    if (inputs.empty())
        std::printf("no media pack at %s: corpus only\n", VELTRIX_MEDIA_PACK);
    std::vector<std::string> files;
    for (const char* corpus : {VELTRIX_OGG_CORPUS, VELTRIX_OGG_REGRESSIONS})
        for (const auto& entry : std::filesystem::directory_iterator(corpus))
            files.push_back(entry.path());
    for (int i = 2; i < argc; ++i)
        files.push_back(argv[i]);
    for (const std::string& file : files)
        inputs.push_back({file, file, soundtest::ReadFile(file), false});
    for (SInput& in : inputs)
        if (in.m_File.empty()) {
            in.m_File = dir / std::filesystem::path(in.m_Name).filename();
            soundtest::WriteFile(in.m_File, in.m_Image);
        }

    PrintLoad("at start");
    // Samples decoded (refused: not opened or short of the predicted length),
    // the largest difference between the two, and libvorbis against oggdec:
    // oggdec's sample count / largest difference.
    std::printf("\n%-40s %10s %10s %8s %16s\n", "input", "tremor", "libvorbis", "max|d|", "oggdec: n/max|d|");
    for (const SInput& in : inputs) {
        const SResult t = Decode(tremor, in.m_Image);
        const SResult v = Decode(vorbis, in.m_Image);
        std::string reference = "-";
        if (in.m_bTrack) {
            const std::string raw = dir / "reference.raw";
            if (Oggdec(in.m_File, raw, true) >= 0.0) {
                const soundtest::Bytes bytes = soundtest::ReadFile(raw);
                std::vector<int16_t> ref(bytes.size() / 2);
                std::memcpy(ref.data(), bytes.data(), ref.size() * 2);
                char text[64];
                std::snprintf(text, sizeof text, "%zu/%d", ref.size(), MaxDiff(v.m_Samples, ref));
                reference = text;
            }
        }
        auto cell = [](const SResult& r) {
            return r.m_bOk ? std::to_string(r.m_Samples.size()) : std::string("refused");
        };
        std::printf("%-40s %10s %10s %8d %16s\n", in.m_Name.c_str(), cell(t).c_str(), cell(v).c_str(),
                    t.m_bOk && v.m_bOk ? MaxDiff(t.m_Samples, v.m_Samples) : -1, reference.c_str());
    }

    std::printf("\ndecode CPU, %d interleaved repetitions, medians in ms\n", reps);
    std::printf("%-20s %10s %10s %10s %12s %12s\n", "track", "tremor", "libvorbis", "oggdec", "tremor/ogg",
                "libvorbis/ogg");
    for (const SInput& in : inputs) {
        if (!in.m_bTrack)
            continue;
        std::vector<double> ct, cv, co;
        for (int r = 0; r < reps; ++r) {
            double t0 = CpuSeconds();
            Decode(tremor, in.m_Image);
            ct.push_back(CpuSeconds() - t0);
            t0 = CpuSeconds();
            Decode(vorbis, in.m_Image);
            cv.push_back(CpuSeconds() - t0);
            co.push_back(Oggdec(in.m_File, "/dev/null", false));
        }
        const double t = Median(ct) * 1e3, v = Median(cv) * 1e3, o = Median(co) * 1e3;
        std::printf("%-20s %10.1f %10.1f %10.1f %12.2f %12.2f\n", in.m_Name.c_str(), t, v, o, t / o, v / o);
    }
    PrintLoad("at end");
    return 0;
}
