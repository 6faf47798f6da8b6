// veltrix-mediagen OUTDIR: writes every picture, camera flight and music track of the saver's pack into OUTDIR.
// The output is the same, byte for byte, on every run. Fails with one line on stderr and exit status 1.
#include "tools/mediagen/Assets.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {
bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
        std::fprintf(stderr, "veltrix-mediagen: %s: %s\n", path.parent_path().c_str(), ec.message().c_str());
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "veltrix-mediagen: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        std::fprintf(stderr, "veltrix-mediagen: %s: write failed\n", path.c_str());
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: veltrix-mediagen OUTDIR\n");
        return 2;
    }
    const std::filesystem::path outDir = argv[1];
    // Making the folder first turns an unusable OUTDIR into an error before seconds of synthesis.
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "veltrix-mediagen: %s: %s\n", outDir.c_str(), ec.message().c_str());
        return 1;
    }

    // The two tracks cost most of the time; each is made on its own thread while the pictures are drawn.
    AssetList music1, music2, assets;
    std::thread t1([&music1] { MakeMusicTrack(1, music1); });
    std::thread t2([&music2] { MakeMusicTrack(2, music2); });
    MakeGlowTextures(assets);
    MakeFlareTextures(assets);
    MakeGalaxy(assets);
    MakeErrorPicture(assets);
    MakeFontTexture(assets);
    MakeCameraPaths(assets);
    t1.join();
    t2.join();
    assets.insert(assets.end(), music1.begin(), music1.end());
    assets.insert(assets.end(), music2.begin(), music2.end());

    for (const SAsset& a : assets) {
        if (a.m_Bytes.empty()) {
            std::fprintf(stderr, "veltrix-mediagen: %s: encoding failed\n", a.m_Name.c_str());
            return 1;
        }
        if (!WriteFile(outDir / a.m_Name, a.m_Bytes))
            return 1;
    }
    return 0;
}
