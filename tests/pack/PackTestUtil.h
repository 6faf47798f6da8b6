// Helpers for the pack tests: a scratch folder, file I/O, shell commands,
// and just enough ZIP layout knowledge to damage a pack on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

using Bytes = std::vector<uint8_t>;

inline constexpr const char* PackPassword = "4mq7x2kd91vbz0hw";

void WriteFile(const std::string& path, const Bytes& bytes); // creates parent folders
void WriteFile(const std::string& path, const std::string& text);
Bytes ReadFile(const std::string& path);
Bytes RandomBytes(size_t size, uint32_t seed);
Bytes TextBytes(size_t size); // compresses well
std::string NameOfLength(size_t length); // "long/aaa.../bbb", every part under 256 bytes
std::string Quote(const std::string& s); // for /bin/sh
int Shell(const std::string& command); // exit status of sh -c
std::string PackTool(); // path of the built veltrix-pack

// Offsets of one entry's records inside a ZIP image.
struct SZipEntry
{
    std::string name;
    size_t central; // central directory record
    size_t local; // local header
    size_t data; // first byte after the local header
};
std::vector<SZipEntry> ZipEntries(const Bytes& zip); // empty if the layout is not plain
const SZipEntry& FindEntry(const std::vector<SZipEntry>& entries, const std::string& name);
uint32_t Get32(const Bytes& b, size_t at);
void Put32(Bytes& b, size_t at, uint32_t v);
void Put16(Bytes& b, size_t at, uint16_t v);

// Field offsets within the two headers.
inline constexpr size_t LocalMethod = 8, LocalCrc = 14, LocalCompressed = 18, LocalSize = 22;
inline constexpr size_t CentralMethod = 10, CentralCrc = 16, CentralCompressed = 20, CentralSize = 24;
