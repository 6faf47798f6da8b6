// The checksum of an Ogg page (CRC-32, polynomial 0x04c11db7, not reflected),
// computed over the whole page with its checksum field zeroed. Tests and fuzz
// targets that edit pages set it again so the decoder does not drop them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline uint32_t OggCrc(const unsigned char* data, size_t size)
{
    // A byte at a time: the fuzz target checksums every page of every input.
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t crc = i << 24;
            for (int k = 0; k < 8; ++k)
                crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
            t[i] = crc;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xffu];
    return crc;
}
