#include "tests/render/RenderTestSupport.h"

#include "core/Util.h"
#include "host/record/PngWriter.h"
#include "pack/PackReader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace rendertest {

namespace {

constexpr const char* PackPassword = "4mq7x2kd91vbz0hw";
double g_Now = 0.0;
double VirtualClock()
{
    return g_Now;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void PutFloat(std::string& out, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF)); // little-endian on any host
}

// Mesa unloads its driver with the last context, and what the driver keeps
// then shows under LeakSanitizer as leaks from a nameless module that no
// suppression can match. One small context lives from the first test to the
// last, and the leak check runs before it goes, with the driver loaded.
class CLeakCheckBeforeExit : public ::testing::Environment
{
public:
    void SetUp() override { m_Keeper.Create(1, 1); }

    void TearDown() override
    {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_do_leak_check();
#endif
        m_Keeper.Destroy();
    }

private:
    CHeadlessGL m_Keeper;
};

const ::testing::Environment* const g_pLeakCheck = ::testing::AddGlobalTestEnvironment(new CLeakCheckBeforeExit);

} // namespace

std::string SolidPng(int width, int height, unsigned char r, unsigned char g, unsigned char b)
{
    std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = r;
        rgba[i + 1] = g;
        rgba[i + 2] = b;
        rgba[i + 3] = 255;
    }
    return PngBytes(width, height, rgba);
}

std::string PngBytes(int width, int height, const std::vector<unsigned char>& rgba)
{
    CTempDir dir;
    const std::string path = dir / "image.png";
    std::string error;
    EXPECT_TRUE(WritePng(path, width, height, rgba.data(), error)) << error;
    return ReadAll(path);
}

std::string CameraPathBytes(const std::vector<std::vector<float>>& positions)
{
    std::string out;
    for (const std::vector<float>& p : positions) {
        for (int i = 0; i < 3; ++i)
            PutFloat(out, p[static_cast<size_t>(i)] / 0.0254f);
        for (int i = 0; i < 3; ++i)
            PutFloat(out, 0.0f);
    }
    return out;
}

Entries FullMedia()
{
    Entries e;
    e["textures/light.jpg"] = SolidPng(8, 8, 255, 255, 255);
    e["textures/envmap.jpg"] = SolidPng(8, 8, 200, 180, 160);
    e["textures/envmap2.jpg"] = SolidPng(8, 8, 120, 120, 200);
    e["textures/galaxy.jpg"] = SolidPng(8, 8, 90, 90, 140);
    for (int i = 0; i < 5; ++i)
        e["textures/flare/f" + std::to_string(i) + ".jpg"] = SolidPng(4, 4, 80, 80, 80);
    e["textures/err.png"] = SolidPng(8, 8, 255, 0, 0);
    const char* paths[] = {"01", "01m", "02", "02m", "03", "03m", "04", "04m", "05", "05m"};
    for (int i = 0; i < 10; ++i) {
        const float z = 3.0f + static_cast<float>(i) * 0.25f;
        e[std::string("cameras/camera") + paths[i] + ".path"] =
            CameraPathBytes({{0.0f, 0.0f, z}, {0.0f, 0.0f, z + 0.5f}});
    }
    return e;
}

std::string BuildPack(const CTempDir& folder, const std::string& name, const Entries& entries)
{
    const std::string tree = folder / (name + ".in");
    for (const auto& [entry, bytes] : entries) {
        const std::filesystem::path file = std::filesystem::path(tree) / entry;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    const std::string pack = folder / name;
    const std::string command = "cd '" + tree + "' && zip -q -X -D -r -P " + PackPassword + " '" + pack + "' .";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return pack;
}

void OpenPack(const std::string& path)
{
    ASSERT_TRUE(CPackReader::Init(path.c_str())) << path;
}

void InstallVirtualClock(double start)
{
    g_Now = start;
    SetTimeSourceForTesting(&VirtualClock);
}

void SetVirtualTime(double now)
{
    g_Now = now;
}
void AdvanceVirtualTime(double seconds)
{
    g_Now += seconds;
}
void RemoveVirtualClock()
{
    SetTimeSourceForTesting(nullptr);
}

void GLTest::SetUp()
{
    ASSERT_TRUE(m_GL.Create(Width, Height)) << m_GL.Error();
}

void GLTest::TearDown()
{
    RemoveVirtualClock();
    CPackReader::Done();
    m_GL.Destroy();
}

std::vector<unsigned char> GLTest::Pixels()
{
    std::vector<unsigned char> rgba;
    EXPECT_TRUE(m_GL.ReadPixels(rgba));
    return rgba;
}

SRgb GLTest::At(const std::vector<unsigned char>& rgba, int x, int y)
{
    const size_t i = (static_cast<size_t>(y) * Width + static_cast<size_t>(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

} // namespace rendertest
