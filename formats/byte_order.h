// Big-endian serialisation of 32-bit integers and IEEE-754 doubles, independent of
// the host byte order.
#pragma once

#include <cstdint>
#include <cstring>

inline void putBigEndian32(std::int32_t value, unsigned char* out) {
    std::uint32_t u;
    std::memcpy(&u, &value, sizeof u);
    for (int i = 3; i >= 0; --i, u >>= 8) out[i] = static_cast<unsigned char>(u & 0xFFu);
}

inline std::int32_t getBigEndian32(const unsigned char* in) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u = (u << 8) | in[i];
    std::int32_t value;
    std::memcpy(&value, &u, sizeof value);
    return value;
}

inline void putBigEndianDouble(double value, unsigned char* out) {
    std::uint64_t u;
    std::memcpy(&u, &value, sizeof u);
    for (int i = 7; i >= 0; --i, u >>= 8) out[i] = static_cast<unsigned char>(u & 0xFFu);
}

inline double getBigEndianDouble(const unsigned char* in) {
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u = (u << 8) | in[i];
    double value;
    std::memcpy(&value, &u, sizeof value);
    return value;
}
