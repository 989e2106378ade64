// byte_order.h - GVAR entries and the markers are little-endian in a save
// file on every host, so they are assembled and split byte by byte.
#pragma once

#include <cstdint>
#include <string>

inline uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void WriteLittleEndian32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint64_t ReadLittleEndian64(const uint8_t* bytes) {
    return static_cast<uint64_t>(ReadLittleEndian32(bytes)) |
           static_cast<uint64_t>(ReadLittleEndian32(bytes + 4)) << 32;
}

inline void WriteLittleEndian64(uint8_t* bytes, uint64_t value) {
    WriteLittleEndian32(bytes, static_cast<uint32_t>(value));
    WriteLittleEndian32(bytes + 4, static_cast<uint32_t>(value >> 32));
}

// The four bytes of value as they stand in the file.
inline std::string LittleEndianBytes(uint32_t value) {
    uint8_t bytes[4];
    WriteLittleEndian32(bytes, value);
    return std::string(reinterpret_cast<const char*>(bytes), 4);
}
