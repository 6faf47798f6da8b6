// The resource pack: one ZIP archive whose entries are encrypted under the
// pack password; CPackReader hands out whole entries by name as blobs.
// A blob belongs solely to whoever holds the pointer. Every failure (no pack
// open, unknown name, damaged entry, wrong password) is an empty pointer;
// nothing is logged. Main thread only: loads must not overlap.
#pragma once

#include <cstdint>
#include <memory>

#include <minizip/unzip.h>

// One loaded entry.
class IData
{
public:
    virtual const uint8_t* GetData() const = 0; // first byte; valid while the blob lives
    virtual int32_t GetSize() const = 0; // bytes
    virtual ~IData() = default;
};

class CPackReader
{
public:
    // Every entry of a pack is encrypted under this password (zero-terminated):
    // the reader decrypts with it and the pack tool encrypts with it.
    static constexpr const char* PackPassword = "4mq7x2kd91vbz0hw";

    // Closes any open pack, then opens `path` (null allowed); true when open.
    static bool Init(const char* path);
    // Closes the pack if open. Safe to repeat.
    static void Done();
    // Entry by name: "\" counts as "/", ASCII letter case is ignored, nothing
    // else is changed; names of 256 bytes or more are never found.
    static std::unique_ptr<IData> LoadData(const char* name);

private:
    static std::unique_ptr<IData> _LoadFromPack(const char* name);
    static std::unique_ptr<IData> _LoadFromDisk(const char* name); // no second source: always empty

    static unzFile m_Zip; // shared by every view; null while closed
};
