// The built pack holds exactly the saver's entries, the generator makes them identically every time, and
// the generator fails cleanly when it cannot write.
#include "tests/media/MediaPack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {
const char* const kEntries[] = {
    "cameras/camera01.path", "cameras/camera01m.path", "cameras/camera02.path", "cameras/camera02m.path",
    "cameras/camera03.path", "cameras/camera03m.path", "cameras/camera04.path", "cameras/camera04m.path",
    "cameras/camera05.path", "cameras/camera05m.path", "music/theme1.ogg",      "music/theme2.ogg",
    "textures/envmap.jpg",   "textures/envmap2.jpg",   "textures/err.png",      "textures/flare/f0.jpg",
    "textures/font.png",     "textures/flare/f1.jpg",  "textures/flare/f2.jpg", "textures/flare/f3.jpg",
    "textures/flare/f4.jpg", "textures/galaxy.jpg",    "textures/light.jpg",
};

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Generator()
{
    return VELTRIX_BINARY_DIR "/veltrix-mediagen";
}
} // namespace

TEST(MediaPack, HoldsExactlyTheSaversEntries)
{
    std::vector<std::string> names = media_test::ListEntries();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected(std::begin(kEntries), std::end(kEntries));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST(MediaPack, EveryEntryLoadsThroughThePackReaderAndFitsTheBudget)
{
    for (const char* name : kEntries) {
        std::unique_ptr<IData> blob = media_test::Load(name);
        ASSERT_TRUE(blob) << name;
        EXPECT_GT(blob->GetSize(), 0) << name;
    }
    EXPECT_LT(fs::file_size(media_test::PackPath()), 8u * 1024 * 1024);
}

TEST(MediaGenerator, WritesTheSameBytesAsTheBuildDid)
{
    const fs::path fresh = fs::path(VELTRIX_BINARY_DIR) / "media-test-rerun";
    fs::remove_all(fresh);
    ASSERT_EQ(std::system((Generator() + " " + fresh.string()).c_str()), 0);
    for (const char* name : kEntries) {
        std::unique_ptr<IData> packed = media_test::Load(name);
        ASSERT_TRUE(packed) << name;
        const std::string again = ReadAll(fresh / name);
        ASSERT_EQ(again.size(), size_t(packed->GetSize())) << name;
        EXPECT_TRUE(std::equal(again.begin(), again.end(), reinterpret_cast<const char*>(packed->GetData()))) << name;
    }
    fs::remove_all(fresh);
}

TEST(MediaGenerator, FailsWithOneLineNamingTheFolderItCannotMake)
{
    const fs::path blocker = fs::path(VELTRIX_BINARY_DIR) / "media-test-blocker";
    std::ofstream(blocker) << "a file where the output folder should go";
    const fs::path log = fs::path(VELTRIX_BINARY_DIR) / "media-test-blocker.log";
    const std::string command = Generator() + " " + (blocker / "out").string() + " 2>" + log.string();
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    const std::string message = ReadAll(log);
    EXPECT_EQ(message.rfind("veltrix-mediagen: ", 0), 0u) << message;
    EXPECT_NE(message.find("media-test-blocker"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    fs::remove(blocker);
    fs::remove(log);
}
