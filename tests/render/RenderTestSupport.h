// Shared by the renderer tests: a scratch folder, small packs made with
// Info-ZIP under the pack password, generated textures and camera paths, a
// small headless context, a virtual clock for GetTime, and pixel helpers.
#pragma once

#include "platform/HeadlessGL.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace rendertest {

constexpr int Width = 160;
constexpr int Height = 100;

using Entries = std::map<std::string, std::string>; // pack entry name -> bytes

// PNG file bytes of top-down RGBA pixels.
std::string PngBytes(int width, int height, const std::vector<unsigned char>& rgba);
std::string SolidPng(int width, int height, unsigned char r, unsigned char g, unsigned char b);

// A camera path entry: one key frame per position (metres, converted to the
// file's inches), all looking along -z with +y up.
std::string CameraPathBytes(const std::vector<std::vector<float>>& positions);

// Every entry the drawer reads: nine textures, ten camera paths, the error
// picture (pure red). Path i flies from z = 3 + i/4 to 3.5 + i/4 along the
// z axis, looking at the ball, so a test can tell the paths apart.
Entries FullMedia();

// Writes the entries into folder/name with zip -P; returns the pack's path.
std::string BuildPack(const CTempDir& folder, const std::string& name, const Entries& entries);

// Opens the pack for CPackReader; fails the test when it cannot.
void OpenPack(const std::string& path);

// GetTime reads this while installed.
void InstallVirtualClock(double start);
void SetVirtualTime(double now);
void AdvanceVirtualTime(double seconds);
void RemoveVirtualClock();

struct SRgb
{
    int r, g, b;
};

// A small headless context made current for each test, torn down after it.
class GLTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<unsigned char> Pixels(); // top-down RGBA
    static SRgb At(const std::vector<unsigned char>& rgba, int x, int y); // y from the top

    CHeadlessGL m_GL;
};

} // namespace rendertest
