// veltrix-pack's command line: what it writes, what it refuses, how it fails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include <minizip/unzip.h>

#include "pack/PackReader.h"
#include "tests/pack/PackTestUtil.h"

namespace {

struct SRun
{
    int status;
    std::string out;
    std::string err;
};

class PackToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteFile(In("textures/light.jpg"), TextBytes(20000));
        WriteFile(In("music/theme1.ogg"), RandomBytes(30000, 3));
        WriteFile(In("Cameras/camera01.path"), RandomBytes(48, 4));
        WriteFile(In("z.bin"), Bytes{});
    }

    std::string In(const std::string& name) const { return m_Dir / ("in/" + name); }

    SRun Run(const std::string& args) const
    {
        const std::string out = m_Dir / "stdout", err = m_Dir / "stderr";
        const int status = Shell(Quote(PackTool()) + " " + args + " >" + Quote(out) + " 2>" + Quote(err));
        const Bytes o = ReadFile(out), e = ReadFile(err);
        return {status, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
    }

    SRun Create(const std::string& pack) const { return Run("create " + Quote(pack) + " " + Quote(m_Dir / "in")); }

    bool NoTemporaryFilesLeft() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(m_Dir.Path()))
            if (entry.path().filename().string().find("media.dat.") == 0)
                return false;
        return true;
    }

    CTempDir m_Dir;
};

TEST_F(PackToolTest, Create_ListsEntriesSortedWithSizes)
{
    const std::string pack = m_Dir / "media.dat";
    const SRun create = Create(pack);
    ASSERT_EQ(0, create.status) << create.err;
    EXPECT_EQ("", create.err);
    const SRun list = Run("list " + Quote(pack));
    EXPECT_EQ(0, list.status);
    EXPECT_EQ("        48  Cameras/camera01.path\n"
              "     30000  music/theme1.ogg\n"
              "     20000  textures/light.jpg\n"
              "         0  z.bin\n",
              list.out);
}

TEST_F(PackToolTest, Create_DeflatesOnlyWhereItHelps)
{
    const std::string pack = m_Dir / "media.dat";
    ASSERT_EQ(0, Create(pack).status);
    unzFile zip = unzOpen(pack.c_str());
    ASSERT_NE(nullptr, zip);
    for (const auto& [name, method] :
         {std::pair<const char*, uLong>{"textures/light.jpg", Z_DEFLATED}, {"music/theme1.ogg", 0}, {"z.bin", 0}}) {
        ASSERT_EQ(UNZ_OK, unzLocateFile(zip, name, 1));
        unz_file_info info;
        ASSERT_EQ(UNZ_OK, unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0));
        EXPECT_EQ(method, info.compression_method) << name;
        EXPECT_EQ(1u, info.flag & 1) << name; // encrypted
        EXPECT_EQ(1980u, info.tmu_date.tm_year) << name; // not the clock's time
    }
    unzClose(zip);
}

TEST_F(PackToolTest, Create_SameFolderGivesSameBytes)
{
    ASSERT_EQ(0, Create(m_Dir / "one.dat").status);
    // New modification times and a different creation order change nothing.
    std::filesystem::remove(In("music/theme1.ogg"));
    WriteFile(In("music/theme1.ogg"), RandomBytes(30000, 3));
    std::filesystem::last_write_time(In("z.bin"),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(50));
    ASSERT_EQ(0, Create(m_Dir / "two.dat").status);
    EXPECT_EQ(ReadFile(m_Dir / "one.dat"), ReadFile(m_Dir / "two.dat"));
}

TEST_F(PackToolTest, Create_RefusesNamesTheReaderCouldNotFindAndKeepsOldPack)
{
    const std::string pack = m_Dir / "media.dat";
    WriteFile(pack, "old pack");
    struct SCase
    {
        std::string added; // the file that makes the folder unpackable
        std::string named; // the file the error line names
        std::string reason;
    };
    for (const SCase& c :
         {SCase{NameOfLength(256), NameOfLength(256), "name of 256 bytes or more cannot be loaded from a pack"},
          SCase{"textures/Light.JPG", "textures/light.jpg", "name differs from textures/Light.JPG only in letter case"},
          SCase{"a\\b.txt", "a\\b.txt", "a backslash in the name cannot be loaded from a pack"}}) {
        WriteFile(In(c.added), TextBytes(5));
        const SRun create = Create(pack);
        EXPECT_EQ(1, create.status);
        EXPECT_EQ("veltrix-pack: " + In(c.named) + ": " + c.reason + "\n", create.err);
        std::filesystem::remove(In(c.added));
    }
    EXPECT_EQ(ReadFile(pack), Bytes({'o', 'l', 'd', ' ', 'p', 'a', 'c', 'k'}));
    EXPECT_TRUE(NoTemporaryFilesLeft());

    const SRun missing = Run("create " + Quote(pack) + " " + Quote(m_Dir / "nowhere"));
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("veltrix-pack: " + m_Dir / "nowhere" + ": not a directory\n", missing.err);
    const SRun unwritable = Run("create " + Quote(m_Dir / "nowhere/media.dat") + " " + Quote(m_Dir / "in"));
    EXPECT_EQ(1, unwritable.status);
    EXPECT_EQ(0u, unwritable.err.find("veltrix-pack: " + m_Dir / "nowhere/media.dat: "));
}

TEST_F(PackToolTest, Create_PackIsReadableByOthers)
{
    const std::string pack = m_Dir / "media.dat";
    ASSERT_EQ(0, Create(pack).status);
    struct stat st;
    ASSERT_EQ(0, stat(pack.c_str(), &st));
    EXPECT_NE(0u, st.st_mode & S_IRGRP); // umask 022 under ctest; mkstemp alone gives 0600
}

TEST_F(PackToolTest, Extract_FindsNamesAsTheSaverDoes)
{
    const std::string pack = m_Dir / "media.dat";
    ASSERT_EQ(0, Create(pack).status);
    const SRun toFile = Run("extract " + Quote(pack) + " 'Textures\\Light.JPG' " + Quote(m_Dir / "out.jpg"));
    EXPECT_EQ(0, toFile.status) << toFile.err;
    EXPECT_EQ(ReadFile(In("textures/light.jpg")), ReadFile(m_Dir / "out.jpg"));

    const SRun toStdout = Run("extract " + Quote(pack) + " cameras/CAMERA01.path");
    EXPECT_EQ(0, toStdout.status);
    EXPECT_EQ(ReadFile(In("Cameras/camera01.path")), Bytes(toStdout.out.begin(), toStdout.out.end()));

    const SRun missing = Run("extract " + Quote(pack) + " textures/x.jpg");
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("", missing.out);
    EXPECT_EQ("veltrix-pack: textures/x.jpg: not found in " + pack + "\n", missing.err);
    EXPECT_EQ(1, Run("extract " + Quote(pack) + " ' textures/light.jpg'").status);
}

TEST_F(PackToolTest, Extract_TellsDamagedEntriesFromMissingOnes)
{
    const std::string pack = m_Dir / "other.zip";
    ASSERT_EQ(0, Shell("cd " + Quote(m_Dir / "in") + " && zip -q -X -P otherpassword " + Quote(pack) +
                       " z.bin textures/light.jpg"));
    const SRun run = Run("extract " + Quote(pack) + " textures/light.jpg " + Quote(m_Dir / "out.jpg"));
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("veltrix-pack: textures/light.jpg: damaged or not encrypted with the pack password in " + pack + "\n",
              run.err);
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "out.jpg"));
}

TEST_F(PackToolTest, ErrorsNameTheFileAndUsageErrorsExitTwo)
{
    WriteFile(m_Dir / "notzip.dat", "this is not a zip archive at all, just text");
    for (const std::string& args : {"list " + Quote(m_Dir / "notzip.dat"), "list " + Quote(m_Dir / "missing.dat"),
                                    "extract " + Quote(m_Dir / "notzip.dat") + " a"}) {
        const SRun run = Run(args);
        EXPECT_EQ(1, run.status) << args;
        EXPECT_EQ(0u, run.err.find("veltrix-pack: " + m_Dir.Path() + "/")) << run.err;
        EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
    }
    for (const char* args :
         {"", "create", "create a", "create a b c", "list", "list a b", "extract a", "extract a b c d", "pack a b"}) {
        const SRun run = Run(args);
        EXPECT_EQ(2, run.status) << args;
        EXPECT_EQ(0u, run.err.find("usage: veltrix-pack create PACK DIR\n")) << args;
    }
    const SRun help = Run("--help");
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("usage:"));
}

} // namespace
