// A damaged pack never crashes, hangs, leaks or hands out wrong bytes: each
// load gives either the original entry or nothing, and the reader stays usable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <new>

#include "pack/PackReader.h"
#include "tests/pack/PackTestUtil.h"

// Records the largest request the reader makes for a blob, so a lying size
// field can be shown to be refused before anything that large is allocated.
static size_t g_nLargestBlobRequest = 0;

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    g_nLargestBlobRequest = std::max(g_nLargestBlobRequest, size);
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

class DamagedPackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteFile(m_Dir / "good/x.txt", TextBytes(50));
        ASSERT_EQ(0, Shell(Quote(PackTool()) + " create " + Quote(m_Dir / "good.dat") + " " + Quote(m_Dir / "good")));
        MakePack(500);
    }

    // A deflated entry, then a stored one of `noiseSize` bytes.
    void MakePack(size_t noiseSize)
    {
        m_Files = {{"a/text.txt", TextBytes(3000)}, {"b/noise.bin", RandomBytes(noiseSize, 7)}};
        for (const auto& [name, bytes] : m_Files)
            WriteFile(m_Dir / ("in/" + name), bytes);
        ASSERT_EQ(0, Shell(Quote(PackTool()) + " create " + Quote(m_Dir / "media.dat") + " " + Quote(m_Dir / "in")));
        m_Pack = ReadFile(m_Dir / "media.dat");
        m_Entries = ZipEntries(m_Pack);
        ASSERT_EQ(2u, m_Entries.size());
        g_nLargestBlobRequest = 0;
    }
    void TearDown() override { CPackReader::Done(); }

    // Loads every entry of `damaged`; returns how many came back. A blob that
    // comes back must be the original, and a good pack must load afterwards.
    int LoadAll(const Bytes& damaged)
    {
        WriteFile(m_Dir / "damaged.dat", damaged);
        int loaded = 0;
        if (CPackReader::Init((m_Dir / "damaged.dat").c_str())) {
            for (const auto& [name, bytes] : m_Files) {
                std::unique_ptr<IData> blob = CPackReader::LoadData(name.c_str());
                if (!blob)
                    continue;
                ++loaded;
                EXPECT_EQ(bytes, Bytes(blob->GetData(), blob->GetData() + blob->GetSize())) << name;
            }
        }
        EXPECT_TRUE(CPackReader::Init((m_Dir / "good.dat").c_str()));
        EXPECT_TRUE(CPackReader::LoadData("x.txt"));
        return loaded;
    }

    const SZipEntry& Entry(const std::string& name) { return FindEntry(m_Entries, name); }

    CTempDir m_Dir;
    std::map<std::string, Bytes> m_Files;
    Bytes m_Pack;
    std::vector<SZipEntry> m_Entries;
};

TEST_F(DamagedPackTest, EveryFlippedByteGivesOriginalOrNothing)
{
    int failures = 0;
    for (size_t at = 0; at < m_Pack.size(); ++at) {
        Bytes damaged = m_Pack;
        damaged[at] ^= 0xA5;
        failures += 2 - LoadAll(damaged);
    }
    EXPECT_GT(failures, 0);
}

TEST_F(DamagedPackTest, EveryTruncationGivesOriginalOrNothing)
{
    for (size_t length = 0; length < m_Pack.size(); ++length)
        LoadAll(Bytes(m_Pack.begin(), m_Pack.begin() + static_cast<std::ptrdiff_t>(length)));
}

TEST_F(DamagedPackTest, DamagedDataFailsOnlyItsEntry)
{
    for (const char* name : {"a/text.txt", "b/noise.bin"}) {
        const SZipEntry& e = Entry(name);
        for (size_t offset : {size_t{0}, size_t{11}, size_t{12}, size_t{40}}) { // header, its check byte, data
            Bytes damaged = m_Pack;
            damaged[e.data + offset] ^= 0x01;
            EXPECT_EQ(1, LoadAll(damaged)) << name << " +" << offset;
        }
    }
}

TEST_F(DamagedPackTest, MismatchedCrcFailsThenNextLoadWorks)
{
    Bytes damaged = m_Pack;
    const SZipEntry& e = Entry("a/text.txt");
    Put32(damaged, e.local + LocalCrc, Get32(damaged, e.local + LocalCrc) ^ 1);
    Put32(damaged, e.central + CentralCrc, Get32(damaged, e.central + CentralCrc) ^ 1);
    EXPECT_EQ(1, LoadAll(damaged));
}

// Sizes are written into both headers, so minizip's consistency check passes
// and the lie reaches the decoder.
TEST_F(DamagedPackTest, LyingSizesAreRefusedWithoutLargeAllocations)
{
    struct SLie
    {
        bool compressed; // the compressed size, else the uncompressed one
        uint32_t value;
    };
    for (const char* name : {"a/text.txt", "b/noise.bin"}) {
        const SZipEntry& e = Entry(name);
        const uint32_t size = Get32(m_Pack, e.central + CentralSize);
        const uint32_t compressed = Get32(m_Pack, e.central + CentralCompressed);
        for (const SLie& lie : {SLie{false, size + 1}, SLie{false, size - 1}, SLie{false, 0}, SLie{false, 0x7fffffffu},
                                SLie{false, 0x80000000u}, SLie{false, 0xffffffffu}, SLie{true, compressed - 1},
                                SLie{true, 11}, SLie{true, 0}, SLie{true, compressed + 100}, SLie{true, 0xfffffff0u}}) {
            Bytes damaged = m_Pack;
            Put32(damaged, e.central + (lie.compressed ? CentralCompressed : CentralSize), lie.value);
            Put32(damaged, e.local + (lie.compressed ? LocalCompressed : LocalSize), lie.value);
            g_nLargestBlobRequest = 0;
            LoadAll(damaged);
            EXPECT_LE(g_nLargestBlobRequest, 1u << 20)
                << name << (lie.compressed ? " compressed " : " size ") << lie.value;
        }
    }
}

TEST_F(DamagedPackTest, NegativeSizeIsNeverAllocated)
{
    // Enough data behind the deflated entry and a compressed size that could
    // inflate to 2 GiB, so only the sign stands in the way of the allocation.
    MakePack(40000);
    const SZipEntry& e = Entry("a/text.txt");
    Bytes damaged = m_Pack;
    for (size_t at : {e.central + CentralSize, e.local + LocalSize})
        Put32(damaged, at, 0x80000010u);
    for (size_t at : {e.central + CentralCompressed, e.local + LocalCompressed})
        Put32(damaged, at, 0x00200000u);
    EXPECT_EQ(1, LoadAll(damaged));
    EXPECT_LE(g_nLargestBlobRequest, 1u << 20);
}

// Names are compared as C strings, so a stored name with a zero byte inside
// must not answer for the part before it.
TEST_F(DamagedPackTest, NameWithZeroByteIsNotFoundByItsPrefix)
{
    const SZipEntry& e = Entry("a/text.txt");
    Bytes damaged = m_Pack;
    damaged[e.central + 46 + 3] = 0;
    damaged[e.local + 30 + 3] = 0;
    WriteFile(m_Dir / "damaged.dat", damaged);
    ASSERT_TRUE(CPackReader::Init((m_Dir / "damaged.dat").c_str()));
    EXPECT_FALSE(CPackReader::LoadData("a/t"));
    EXPECT_TRUE(CPackReader::LoadData("b/noise.bin"));
}

// minizip's raw mode hands over any method; only stored and deflated are
// ours to read, even where the bytes would pass as stored.
TEST_F(DamagedPackTest, UnknownMethodIsRefused)
{
    Bytes damaged = m_Pack;
    const SZipEntry& e = Entry("b/noise.bin");
    Put16(damaged, e.central + CentralMethod, 12);
    Put16(damaged, e.local + LocalMethod, 12);
    EXPECT_EQ(1, LoadAll(damaged));
}

} // namespace
