#include "pack/ZipEntryDecoder.h"

#include <algorithm>
#include <climits>

#include "pack/ZipCrypt.h"

namespace {

constexpr uint32_t InputChunk = 64 * 1024;

// Deflate never expands more than 1032:1 (a 258-byte match in two bits), so a
// larger declared size is a lie and must not reach the allocation.
constexpr uint64_t MaxDeflateRatio = 1032;

} // namespace

CZipEntryDecoder::CZipEntryDecoder(unzFile zip)
    : m_Zip(zip)
{}

CZipEntryDecoder::~CZipEntryDecoder()
{
    _Release();
}

int CZipEntryDecoder::Open(const char* password)
{
    if (m_Zip == nullptr || m_bOpen || password == nullptr)
        return UNZ_PARAMERROR;

    unz_file_info64 info;
    int result = unzGetCurrentFileInfo64(m_Zip, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (result != UNZ_OK)
        return result;
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
        return UNZ_BADZIPFILE;
    if (info.compressed_size < static_cast<uint64_t>(CZipCrypt::HeaderSize))
        return UNZ_BADZIPFILE;
    const uint64_t payload = info.compressed_size - CZipCrypt::HeaderSize;
    const bool deflated = info.compression_method == Z_DEFLATED;
    if (!deflated && info.uncompressed_size > payload)
        return UNZ_BADZIPFILE;
    if (deflated && (info.uncompressed_size + MaxDeflateRatio - 1) / MaxDeflateRatio > payload)
        return UNZ_BADZIPFILE;

    int method = 0;
    int level = 0;
    result = unzOpenCurrentFile2(m_Zip, &method, &level, 1);
    if (result != UNZ_OK)
        return result;
    m_bOpen = true;

    uint8_t header[CZipCrypt::HeaderSize];
    if (unzReadCurrentFile(m_Zip, header, sizeof header) != CZipCrypt::HeaderSize) {
        _Release();
        return UNZ_BADZIPFILE;
    }
    // The header's last byte would tell a wrong password early; the CRC-32 at
    // Close tells it anyway, and for every entry writer alike.
    m_pCrypt = std::make_unique<CZipCrypt>(password);
    m_pCrypt->Decrypt(header, sizeof header);

    if (deflated) {
        m_pIn.reset(new uint8_t[InputChunk]);
        m_Stream = z_stream{};
        if (inflateInit2(&m_Stream, -MAX_WBITS) != Z_OK) {
            _Release();
            return UNZ_INTERNALERROR;
        }
    }
    m_bDeflated = deflated;
    m_bStreamEnd = false;
    m_nCrc = static_cast<uint32_t>(info.crc);
    m_nCrcSoFar = 0;
    m_nSize = info.uncompressed_size;
    m_nProduced = 0;
    return UNZ_OK;
}

int32_t CZipEntryDecoder::Read(uint8_t* out, uint32_t size)
{
    if (!m_bOpen || (out == nullptr && size != 0))
        return UNZ_PARAMERROR;
    const uint64_t want = std::min<uint64_t>({size, m_nSize - m_nProduced, INT32_MAX});
    if (want == 0)
        return 0;
    const int32_t got =
        m_bDeflated ? _ReadDeflated(out, static_cast<uint32_t>(want)) : _ReadStored(out, static_cast<uint32_t>(want));
    if (got > 0) {
        m_nCrcSoFar = static_cast<uint32_t>(crc32(m_nCrcSoFar, out, static_cast<uInt>(got)));
        m_nProduced += static_cast<uint64_t>(got);
    }
    return got;
}

int32_t CZipEntryDecoder::_ReadStored(uint8_t* out, uint32_t size)
{
    const int got = unzReadCurrentFile(m_Zip, out, size);
    if (got > 0)
        m_pCrypt->Decrypt(out, static_cast<size_t>(got));
    return got;
}

int32_t CZipEntryDecoder::_ReadDeflated(uint8_t* out, uint32_t size)
{
    m_Stream.next_out = out;
    m_Stream.avail_out = size;
    while (m_Stream.avail_out > 0 && !m_bStreamEnd) {
        if (m_Stream.avail_in == 0) {
            const int filled = _Fill();
            if (filled < 0)
                return filled;
            if (filled == 0)
                break; // compressed data ran out: a short read
        }
        const int result = inflate(&m_Stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            m_bStreamEnd = true;
        else if (result != Z_OK && result != Z_BUF_ERROR)
            return Z_DATA_ERROR;
    }
    return static_cast<int32_t>(size - m_Stream.avail_out);
}

int CZipEntryDecoder::_Fill()
{
    const int got = unzReadCurrentFile(m_Zip, m_pIn.get(), InputChunk);
    if (got <= 0)
        return got;
    m_pCrypt->Decrypt(m_pIn.get(), static_cast<size_t>(got));
    m_Stream.next_in = m_pIn.get();
    m_Stream.avail_in = static_cast<uInt>(got);
    return got;
}

int CZipEntryDecoder::Close()
{
    if (!m_bOpen)
        return UNZ_PARAMERROR;
    const bool complete = m_nProduced == m_nSize;
    const bool crcMatches = m_nCrcSoFar == m_nCrc;
    const int result = unzCloseCurrentFile(m_Zip);
    m_bOpen = false;
    _Release();
    if (result != UNZ_OK)
        return result;
    return complete && !crcMatches ? UNZ_CRCERROR : UNZ_OK;
}

void CZipEntryDecoder::_Release()
{
    if (m_bDeflated)
        inflateEnd(&m_Stream);
    m_bDeflated = false;
    if (m_bOpen)
        unzCloseCurrentFile(m_Zip);
    m_bOpen = false;
    m_pCrypt.reset();
    m_pIn.reset();
}
