#include "tools/pack/PackWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include <minizip/zip.h>
#include <zlib.h>

#include "pack/ZipCrypt.h"

namespace fs = std::filesystem;

namespace {

// 1980-01-01 00:00:00, the earliest DOS date: keeps the output independent of the clock.
constexpr uLong FixedDosDate = (0u << 25) | (1u << 21) | (1u << 16);
constexpr size_t MaxNameLength = 255; // longer names are never found by the reader

struct SSource
{
    std::string name; // entry name
    fs::path path;
};

bool Fail(SPackError& error, const std::string& file, const std::string& reason)
{
    error.file = file;
    error.reason = reason;
    return false;
}

std::string ErrnoText()
{
    return std::strerror(errno);
}

// Real directories only: a symbolic link to a folder could lead back up the tree.
bool Collect(const fs::path& dir, const std::string& prefix, std::vector<SSource>& out, SPackError& error)
{
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return Fail(error, dir.string(), ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return Fail(error, dir.string(), ec.message());
        const fs::directory_entry& entry = *it;
        const std::string name = prefix + entry.path().filename().string();
        if (fs::is_directory(entry.symlink_status(ec))) {
            if (!Collect(entry.path(), name + "/", out, error))
                return false;
        } else if (entry.is_regular_file(ec)) {
            out.push_back({name, entry.path()});
        }
    }
    if (ec)
        return Fail(error, dir.string(), ec.message());
    return true;
}

std::string Upper(const std::string& s)
{
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return u;
}

// Names the reader could never hand out are refused here rather than packed silently.
bool CheckNames(const std::vector<SSource>& sources, SPackError& error)
{
    std::map<std::string, const std::string*> seen;
    for (const SSource& s : sources) {
        if (s.name.size() > MaxNameLength)
            return Fail(error, s.path.string(), "name of 256 bytes or more cannot be loaded from a pack");
        if (s.name.find('\\') != std::string::npos)
            return Fail(error, s.path.string(), "a backslash in the name cannot be loaded from a pack");
        const auto [it, added] = seen.emplace(Upper(s.name), &s.name);
        if (!added)
            return Fail(error, s.path.string(), "name differs from " + *it->second + " only in letter case");
    }
    return true;
}

bool ReadWhole(const fs::path& path, std::vector<uint8_t>& bytes, SPackError& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return Fail(error, path.string(), ErrnoText());
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes.size() + got > static_cast<size_t>(INT32_MAX)) {
            std::fclose(f);
            return Fail(error, path.string(), "2 GiB or more does not fit a pack entry");
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        return Fail(error, path.string(), "read error");
    return true;
}

// Raw deflate at the best level; false when it saves less than a sixteenth:
// an entry that hardly shrinks (a JPEG, an Ogg track) is read faster as it
// is than inflated, and the music's tracks are read at every start.
bool Deflate(const std::vector<uint8_t>& in, std::vector<uint8_t>& out)
{
    z_stream s{};
    if (deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&s, static_cast<uLong>(in.size())));
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return result == Z_STREAM_END && out.size() < in.size() - in.size() / 16;
}

// The eleven filler bytes only need to differ between entries; drawing them
// from the name and the content keeps the pack reproducible.
void EncryptionHeader(const std::string& name, uint32_t crc, uint8_t header[CZipCrypt::HeaderSize])
{
    const uint32_t nameCrc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(name.data()), static_cast<uInt>(name.size())));
    uint64_t state = (uint64_t{nameCrc} << 32) | crc;
    for (int i = 0; i < CZipCrypt::HeaderSize - 1; ++i) {
        state += 0x9e3779b97f4a7c15ull; // splitmix64
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        header[i] = static_cast<uint8_t>(z ^ (z >> 31));
    }
    // Readers check the last byte against the CRC's high byte to spot a wrong password.
    header[CZipCrypt::HeaderSize - 1] = static_cast<uint8_t>(crc >> 24);
}

bool AddEntry(zipFile zip, const SSource& source, const char* password, SPackError& error)
{
    std::vector<uint8_t> plain;
    if (!ReadWhole(source.path, plain, error))
        return false;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, plain.data(), static_cast<uInt>(plain.size())));

    std::vector<uint8_t> packed;
    const bool deflated = Deflate(plain, packed);
    const std::vector<uint8_t>& payload = deflated ? packed : plain;

    std::vector<uint8_t> data(CZipCrypt::HeaderSize + payload.size());
    EncryptionHeader(source.name, crc, data.data());
    std::copy(payload.begin(), payload.end(), data.begin() + CZipCrypt::HeaderSize);
    CZipCrypt(password).Encrypt(data.data(), data.size());

    zip_fileinfo info{};
    info.dosDate = FixedDosDate;
    const int method = deflated ? Z_DEFLATED : 0;
    const int level = deflated ? Z_BEST_COMPRESSION : 0;
    // Raw mode: minizip writes our bytes as they are; flag bit 0 marks them encrypted.
    if (zipOpenNewFileInZip4(zip, source.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, level, 1,
                             -MAX_WBITS, 9, Z_DEFAULT_STRATEGY, nullptr, 0, 20, 1) != ZIP_OK)
        return Fail(error, source.path.string(), "cannot add the entry");
    const bool written = zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
    const bool closed = zipCloseFileInZipRaw(zip, plain.size(), crc) == ZIP_OK;
    if (!written || !closed)
        return Fail(error, source.path.string(), "write error");
    return true;
}

} // namespace

bool WritePack(const std::string& packPath, const std::string& dir, const char* password, SPackError& error)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return Fail(error, dir, "not a directory");

    std::vector<SSource> sources;
    if (!Collect(dir, "", sources, error))
        return false;
    std::sort(sources.begin(), sources.end(), [](const SSource& a, const SSource& b) { return a.name < b.name; });
    if (!CheckNames(sources, error))
        return false;

    std::string temp = packPath + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return Fail(error, packPath, ErrnoText());
    close(fd);

    zipFile zip = zipOpen(temp.c_str(), APPEND_STATUS_CREATE);
    bool ok = zip != nullptr;
    if (!ok)
        Fail(error, packPath, "cannot write");
    for (size_t i = 0; ok && i < sources.size(); ++i)
        ok = AddEntry(zip, sources[i], password, error);
    if (zip != nullptr && zipClose(zip, nullptr) != ZIP_OK && ok)
        ok = Fail(error, packPath, "write error");

    if (ok) {
        const mode_t mask = umask(0); // mkstemp made it private; a pack is as readable as any new file
        umask(mask);
        if (chmod(temp.c_str(), 0666 & ~mask) != 0 || std::rename(temp.c_str(), packPath.c_str()) != 0)
            ok = Fail(error, packPath, ErrnoText());
    }
    if (!ok)
        std::remove(temp.c_str());
    return ok;
}
