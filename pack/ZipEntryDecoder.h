// Reads the current entry of a minizip archive when that entry is encrypted
// with the traditional PKWARE scheme.
//
// Why this exists: Debian builds libminizip without decryption, so
// unzOpenCurrentFilePassword answers -102 there. This unit stands in for
// that call and for the unzReadCurrentFile / unzCloseCurrentFile that follow
// it: minizip still locates the entry and hands over its raw bytes
// (unzOpenCurrentFile2 with raw = 1); decryption, inflate and the CRC-32
// check happen here. Every entry is decrypted whatever its encryption flag
// says, so an entry stored in the clear cannot be read.
//
// Failure contract, step for step as minizip reports it:
//   Open  - UNZ_OK, or an error code; a method other than stored/deflated,
//           no room for the 12-byte header, or a declared size that the
//           compressed data cannot possibly produce (checked before the
//           caller allocates for it) is refused.
//   Read  - the number of bytes produced; fewer than asked means the entry
//           ended early (a short read), negative means damaged data.
//           Output never exceeds the buffer; input never exceeds the
//           entry's compressed size; memory use is one 64 KiB buffer.
//   Close - UNZ_OK, or UNZ_CRCERROR when all declared bytes were read and
//           their CRC-32 differs from the stored one (a wrong password or
//           damaged data). Dropping an open decoder closes the entry.
#pragma once

#include <cstdint>
#include <memory>

#include <minizip/unzip.h>
#include <zlib.h>

class CZipEntryDecoder
{
public:
    explicit CZipEntryDecoder(unzFile zip); // zip: open archive, current entry selected
    ~CZipEntryDecoder();
    CZipEntryDecoder(const CZipEntryDecoder&) = delete;
    CZipEntryDecoder& operator=(const CZipEntryDecoder&) = delete;

    int Open(const char* password); // zero-terminated
    int32_t Read(uint8_t* out, uint32_t size);
    int Close();

private:
    int32_t _ReadStored(uint8_t* out, uint32_t size);
    int32_t _ReadDeflated(uint8_t* out, uint32_t size);
    int _Fill(); // refills m_pIn; bytes read, 0 at end, <0 error
    void _Release();

    unzFile m_Zip;
    bool m_bOpen = false;
    bool m_bDeflated = false;
    bool m_bStreamEnd = false;
    uint32_t m_nCrc = 0; // stored CRC-32 of the plain bytes
    uint32_t m_nCrcSoFar = 0; // of the bytes handed out
    uint64_t m_nSize = 0; // declared uncompressed size
    uint64_t m_nProduced = 0;
    std::unique_ptr<class CZipCrypt> m_pCrypt;
    std::unique_ptr<uint8_t[]> m_pIn;
    z_stream m_Stream{};
};
