#include "tests/pack/PackTestUtil.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const Bytes& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::string& text)
{
    WriteFile(path, Bytes(text.begin(), text.end()));
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes RandomBytes(size_t size, uint32_t seed)
{
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<uint8_t>(x >> 24);
    }
    return b;
}

Bytes TextBytes(size_t size)
{
    std::string s;
    for (int line = 0; s.size() < size; ++line)
        s += "frame " + std::to_string(line) + " of the camera flight\n";
    s.resize(size);
    return Bytes(s.begin(), s.end());
}

std::string NameOfLength(size_t length)
{
    std::string name = "long/";
    while (name.size() < length) {
        const size_t part = std::min<size_t>(length - name.size(), 200);
        name += std::string(part, static_cast<char>('a' + name.size() % 26));
        if (name.size() < length)
            name += "/";
    }
    return name;
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int Shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string PackTool()
{
    return std::string(VELTRIX_BINARY_DIR) + "/veltrix-pack";
}

uint32_t Get32(const Bytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

static uint16_t Get16(const Bytes& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<SZipEntry> ZipEntries(const Bytes& zip)
{
    std::vector<SZipEntry> entries;
    if (zip.size() < 22)
        return entries;
    const size_t end = zip.size() - 22; // no archive comment in our packs
    if (Get32(zip, end) != 0x06054b50)
        return entries;
    size_t at = Get32(zip, end + 16);
    for (unsigned i = 0; i < Get16(zip, end + 10); ++i) {
        const size_t nameLength = Get16(zip, at + 28);
        SZipEntry e;
        e.name.assign(zip.begin() + at + 46, zip.begin() + at + 46 + nameLength);
        e.central = at;
        e.local = Get32(zip, at + 42);
        e.data = e.local + 30 + Get16(zip, e.local + 26) + Get16(zip, e.local + 28);
        entries.push_back(e);
        at += 46 + nameLength + Get16(zip, at + 30) + Get16(zip, at + 32);
    }
    return entries;
}

const SZipEntry& FindEntry(const std::vector<SZipEntry>& entries, const std::string& name)
{
    for (const SZipEntry& e : entries)
        if (e.name == name)
            return e;
    throw std::runtime_error("no entry " + name);
}
