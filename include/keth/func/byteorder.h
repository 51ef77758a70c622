#pragma once
#include <cstdint>
#include <cstring>

// Fixed-order integers from byte buffers, whatever the host's own order.
namespace NKeth
{
inline uint16_t ReadLE16(const unsigned char* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t ReadLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline uint64_t ReadLE64(const unsigned char* p)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t value;
    memcpy(&value, p, sizeof value);
    return value;
#else
    return uint64_t(ReadLE32(p)) | (uint64_t(ReadLE32(p + 4)) << 32);
#endif
}

inline uint16_t ReadBE16(const unsigned char* p)
{
    return uint16_t((p[0] << 8) | p[1]);
}

inline uint32_t ReadBE32(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline void WriteLE16(unsigned char* p, uint32_t value)
{
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

inline void WriteBE16(unsigned char* p, uint32_t value)
{
    p[0] = (unsigned char)(value >> 8);
    p[1] = (unsigned char)value;
}
} // namespace NKeth
