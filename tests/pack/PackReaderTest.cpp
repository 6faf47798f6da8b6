// CPackReader against packs made by veltrix-pack and by Info-ZIP.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "pack/PackReader.h"
#include "tests/pack/PackTestUtil.h"

namespace {

// One folder of media and its pack, shared by the cases of a suite.
class PackReaderTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pDir = new CTempDir;
        s_Files = {
            {"textures/light.jpg", TextBytes(40000)}, // deflated
            {"music/theme1.ogg", RandomBytes(150000, 1)}, // stored: deflate cannot shrink it
            {"textures/empty.bin", {}},
            {"cameras/camera01.path", RandomBytes(24 * 7, 2)},
            {NameOfLength(255), TextBytes(100)},
        };
        for (const auto& [name, bytes] : s_Files)
            WriteFile(*s_pDir / ("in/" + name), bytes);
        ASSERT_EQ(0, Shell(Quote(PackTool()) + " create " + Quote(Pack()) + " " + Quote(*s_pDir / "in")));
    }
    static void TearDownTestSuite()
    {
        CPackReader::Done();
        delete s_pDir;
    }
    void SetUp() override { ASSERT_TRUE(CPackReader::Init(Pack().c_str())); }
    void TearDown() override { CPackReader::Done(); }

    static std::string Pack() { return *s_pDir / "media.dat"; }

    // Every file of the folder loads back byte for byte.
    static void ExpectAllEntriesLoad()
    {
        for (const auto& [name, bytes] : s_Files) {
            std::unique_ptr<IData> blob = CPackReader::LoadData(name.c_str());
            ASSERT_TRUE(blob) << name;
            ASSERT_EQ(static_cast<int32_t>(bytes.size()), blob->GetSize()) << name;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), blob->GetData())) << name;
        }
    }

    static inline CTempDir* s_pDir = nullptr;
    static inline std::map<std::string, Bytes> s_Files;
};

TEST_F(PackReaderTest, LoadData_ReadsEveryEntryWhole)
{
    ExpectAllEntriesLoad();
}

TEST_F(PackReaderTest, LoadData_FindsEntryIgnoringCaseAndBackslashes)
{
    for (const char* name : {"Textures\\Light.JPG", "TEXTURES/LIGHT.JPG", "textures\\light.jpg"}) {
        std::unique_ptr<IData> blob = CPackReader::LoadData(name);
        ASSERT_TRUE(blob) << name;
        EXPECT_EQ(40000, blob->GetSize());
    }
}

TEST_F(PackReaderTest, LoadData_ChangesNothingElseInTheName)
{
    for (const char* name : {"textures/light.jpg ", "/textures/light.jpg", "./textures/light.jpg",
                             "textures//light.jpg", "textures/light", "", "textures/light.jpg\\"})
        EXPECT_FALSE(CPackReader::LoadData(name)) << '"' << name << '"';
    EXPECT_FALSE(CPackReader::LoadData(nullptr));
}

TEST_F(PackReaderTest, LoadData_EmptyEntryGivesEmptyBlob)
{
    std::unique_ptr<IData> blob = CPackReader::LoadData("textures/empty.bin");
    ASSERT_TRUE(blob);
    EXPECT_EQ(0, blob->GetSize());
}

TEST_F(PackReaderTest, LoadData_NamesOf256BytesOrMoreAreNeverFound)
{
    EXPECT_TRUE(CPackReader::LoadData(NameOfLength(255).c_str()));
    // Longer than the reader's 1024-byte name buffer: must be refused, not copied.
    for (size_t length : {256u, 1023u, 1024u, 2000u, 100000u}) {
        std::string name = NameOfLength(255) + std::string(length - 255, 'x');
        EXPECT_FALSE(CPackReader::LoadData(name.c_str())) << length;
        std::replace(name.begin(), name.end(), '/', '\\');
        EXPECT_FALSE(CPackReader::LoadData(name.c_str())) << length;
    }
    ExpectAllEntriesLoad();
}

TEST_F(PackReaderTest, Lifecycle_NoPackMeansNoEntries)
{
    CPackReader::Done();
    CPackReader::Done(); // closing a closed reader does nothing
    EXPECT_FALSE(CPackReader::LoadData("textures/light.jpg"));

    ASSERT_TRUE(CPackReader::Init(Pack().c_str()));
    ASSERT_TRUE(CPackReader::Init(Pack().c_str())); // re-opening replaces the handle
    EXPECT_TRUE(CPackReader::LoadData("textures/light.jpg"));

    // A failed Init leaves the reader closed, even though a good pack was open.
    EXPECT_FALSE(CPackReader::Init((*s_pDir / "missing.dat").c_str()));
    EXPECT_FALSE(CPackReader::LoadData("textures/light.jpg"));
    ASSERT_TRUE(CPackReader::Init(Pack().c_str()));
    EXPECT_FALSE(CPackReader::Init(nullptr));
    EXPECT_FALSE(CPackReader::LoadData("textures/light.jpg"));
    EXPECT_FALSE(CPackReader::Init((*s_pDir / "in/textures/light.jpg").c_str())); // not a ZIP
}

// Info-ZIP is the independent peer: its packs read here, ours extract there.
TEST_F(PackReaderTest, InfoZip_PacksFromZipReadHere)
{
    const std::string in = *s_pDir / "in";
    for (const char* level : {"-0", "-6"}) {
        const std::string pack = *s_pDir / (std::string("infozip") + level + ".zip");
        ASSERT_EQ(0, Shell("cd " + Quote(in) + " && zip -q -X -D -r " + level + " -P " + PackPassword + " " +
                           Quote(pack) + " ."));
        ASSERT_TRUE(CPackReader::Init(pack.c_str()));
        ExpectAllEntriesLoad();
    }
}

TEST_F(PackReaderTest, InfoZip_OurPacksExtractThere)
{
    const std::string out = *s_pDir / "unzipped";
    ASSERT_EQ(0, Shell("unzip -qq -o -P " + std::string(PackPassword) + " " + Quote(Pack()) + " -d " + Quote(out)));
    for (const auto& [name, bytes] : s_Files)
        EXPECT_EQ(bytes, ReadFile(out + "/" + name)) << name;
    EXPECT_NE(0, Shell("unzip -qq -t -P wrongpassword " + Quote(Pack()) + " >/dev/null 2>&1"));
}

TEST_F(PackReaderTest, InfoZip_EntriesWithoutThePackPasswordAreRefused)
{
    const std::string in = *s_pDir / "in";
    const std::string mixed = *s_pDir / "mixed.zip";
    // Encrypted under the pack password, under another one, and in the clear (stored and deflated).
    ASSERT_EQ(0, Shell("cd " + Quote(in) + " && zip -q -X -P " + PackPassword + " " + Quote(mixed) +
                       " cameras/camera01.path && zip -q -X -P otherpassword " + Quote(mixed) +
                       " textures/light.jpg && zip -q -X -0 " + Quote(mixed) + " music/theme1.ogg && zip -q -X " +
                       Quote(mixed) + " textures/empty.bin " + Quote(NameOfLength(255))));
    ASSERT_TRUE(CPackReader::Init(mixed.c_str()));
    EXPECT_FALSE(CPackReader::LoadData("textures/light.jpg"));
    EXPECT_FALSE(CPackReader::LoadData("music/theme1.ogg"));
    EXPECT_FALSE(CPackReader::LoadData("textures/empty.bin"));
    EXPECT_FALSE(CPackReader::LoadData(NameOfLength(255).c_str()));
    EXPECT_TRUE(CPackReader::LoadData("cameras/camera01.path"));
}

// Entries with long names can be in a pack; they are still never found, not
// even by a prefix that fits the limit.
TEST_F(PackReaderTest, InfoZip_LongStoredNamesAreNeverFound)
{
    const std::string in = *s_pDir / "long";
    WriteFile(in + "/" + NameOfLength(256), TextBytes(10));
    WriteFile(in + "/" + NameOfLength(300), TextBytes(20));
    const std::string pack = *s_pDir / "long.zip";
    ASSERT_EQ(0, Shell("cd " + Quote(in) + " && zip -q -X -D -r -P " + PackPassword + " " + Quote(pack) + " ."));
    ASSERT_TRUE(CPackReader::Init(pack.c_str()));
    EXPECT_FALSE(CPackReader::LoadData(NameOfLength(256).c_str()));
    EXPECT_FALSE(CPackReader::LoadData(NameOfLength(300).c_str()));
    EXPECT_FALSE(CPackReader::LoadData(NameOfLength(300).substr(0, 255).c_str()));
}

} // namespace
