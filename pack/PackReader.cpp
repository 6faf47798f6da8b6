#include "pack/PackReader.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "pack/ZipEntryDecoder.h"

namespace {

constexpr size_t NameBufferSize = 1024;
constexpr size_t MaxNameLength = 255; // minizip's lookup limit

class _data final : public IData
{
public:
    _data() = default;
    _data(const _data&) = delete;
    _data& operator=(const _data&) = delete;
    ~_data() override
    {
        delete[] m_pData;
        m_pData = nullptr;
        m_nSize = 0;
    }

    const uint8_t* GetData() const override { return m_pData; }
    int32_t GetSize() const override { return m_nSize; }

    bool Allocate(int32_t size)
    {
        m_pData = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
        if (m_pData == nullptr)
            return false;
        m_nSize = size;
        return true;
    }
    uint8_t* Bytes() { return m_pData; }

private:
    uint8_t* m_pData = nullptr;
    int32_t m_nSize = 0;
};

} // namespace

unzFile CPackReader::m_Zip = nullptr;

bool CPackReader::Init(const char* path)
{
    Done();
    if (path != nullptr)
        m_Zip = unzOpen(path);
    return m_Zip != nullptr;
}

void CPackReader::Done()
{
    if (m_Zip != nullptr)
        unzClose(m_Zip);
    m_Zip = nullptr;
}

std::unique_ptr<IData> CPackReader::LoadData(const char* name)
{
    std::unique_ptr<IData> result;
    result = _LoadFromPack(name);
    return result;
}

std::unique_ptr<IData> CPackReader::_LoadFromPack(const char* name)
{
    if (name == nullptr || m_Zip == nullptr)
        return nullptr;

    // Too long to ever match: refused before the copy, so no name can overrun the buffer.
    const size_t length = strnlen(name, MaxNameLength + 1);
    if (length > MaxNameLength)
        return nullptr;
    char normalised[NameBufferSize];
    for (size_t i = 0; i < length; ++i)
        normalised[i] = name[i] == '\\' ? '/' : name[i];
    normalised[length] = '\0';

    if (unzLocateFile(m_Zip, normalised, 2) != UNZ_OK)
        return nullptr;

    unz_file_info info;
    if (unzGetCurrentFileInfo(m_Zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return nullptr;
    // minizip compares names as C strings: a stored name with a zero byte
    // inside would answer for the part before it.
    if (info.size_filename != length)
        return nullptr;
    // The size is a 32-bit signed integer: one of 2 GiB or more reads as
    // negative and is refused, never allocated.
    if (info.uncompressed_size > INT32_MAX)
        return nullptr;
    const int32_t size = static_cast<int32_t>(info.uncompressed_size);

    CZipEntryDecoder entry(m_Zip); // closes the entry on every early return
    if (entry.Open(PackPassword) != UNZ_OK)
        return nullptr;

    auto blob = std::make_unique<_data>();
    if (!blob->Allocate(size))
        return nullptr;
    if (entry.Read(blob->Bytes(), static_cast<uint32_t>(size)) != size)
        return nullptr;
    if (entry.Close() != UNZ_OK)
        return nullptr;
    return blob;
}

std::unique_ptr<IData> CPackReader::_LoadFromDisk(const char*)
{
    return nullptr;
}
