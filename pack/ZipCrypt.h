// Traditional PKWARE stream cipher: three 32-bit keys seeded from a password,
// one keystream byte per data byte, the keys advanced by each plain byte.
// Shared by the pack reader (decrypt) and the pack tool (encrypt).
#pragma once

#include <cstddef>
#include <cstdint>

#include <zlib.h>

class CZipCrypt
{
public:
    static constexpr int HeaderSize = 12; // encryption header in front of the entry's data

    explicit CZipCrypt(const char* password)
    { // zero-terminated
        Keys k = m_Keys;
        for (const char* p = password; *p != '\0'; ++p)
            _Update(k, static_cast<uint8_t>(*p));
        m_Keys = k;
    }

    // In place. The keys live in locals inside the loops: the data pointer may
    // alias anything, and keeping them in members costs a reload per byte.
    void Decrypt(uint8_t* data, size_t size)
    {
        Keys k = m_Keys;
        for (size_t i = 0; i < size; ++i) {
            const uint8_t plain = data[i] ^ _Keystream(k);
            _Update(k, plain);
            data[i] = plain;
        }
        m_Keys = k;
    }

    void Encrypt(uint8_t* data, size_t size)
    {
        Keys k = m_Keys;
        for (size_t i = 0; i < size; ++i) {
            const uint8_t plain = data[i];
            data[i] = plain ^ _Keystream(k);
            _Update(k, plain);
        }
        m_Keys = k;
    }

private:
    struct Keys
    {
        uint32_t a, b, c;
        const z_crc_t* crc;
    };

    static uint8_t _Keystream(const Keys& k)
    {
        const uint32_t t = (k.c & 0xffff) | 2;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }

    static void _Update(Keys& k, uint8_t plain)
    {
        k.a = k.crc[(k.a ^ plain) & 0xff] ^ (k.a >> 8);
        k.b = (k.b + (k.a & 0xff)) * 134775813u + 1;
        k.c = k.crc[(k.c ^ (k.b >> 24)) & 0xff] ^ (k.c >> 8);
    }

    Keys m_Keys{305419896u, 591751049u, 878082192u, get_crc_table()};
};
