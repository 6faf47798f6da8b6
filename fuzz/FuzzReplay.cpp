// Runs a fuzz target's entry once per input without libFuzzer, for builds
// whose compiler has none. Arguments are files or folders of files; a folder
// that does not exist holds nothing (regressions/<target> appears with the
// first finding). Each input sits in an allocation of exactly its size, so a
// sanitizer sees any read past its end. Exit 1 when a file cannot be read or
// no input was found at all.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        std::error_code error;
        if (!std::filesystem::exists(argv[i], error))
            continue;
        if (std::filesystem::is_directory(argv[i], error)) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[i], error))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
        } else
            files.push_back(argv[i]);
        for (const auto& file : files) {
            if (!Replay(file)) {
                std::fprintf(stderr, "veltrix: cannot read %s\n", file.c_str());
                return 1;
            }
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    if (replayed == 0)
        std::fprintf(stderr, "veltrix: no inputs to replay\n");
    return replayed > 0 ? 0 : 1;
}
