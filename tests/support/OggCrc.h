// The checksum of an Ogg page (CRC-32, polynomial 0x04c11db7, not reflected),
// computed over the whole page with its checksum field zeroed. Tests and fuzz
// targets that edit pages set it again so the decoder does not drop them.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint32_t OggCrc(const unsigned char* data, size_t size)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i)
    {
        crc ^= uint32_t(data[i]) << 24;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}
