// Little- and big-endian integers from raw bytes, for the readers' header
// layouts.
#pragma once

#include <cstdint>

inline uint16_t LE16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LE32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LE64(const unsigned char* p) { return uint64_t(LE32(p)) | (uint64_t(LE32(p + 4)) << 32); }

inline uint16_t BE16(const unsigned char* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t BE24(const unsigned char* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
inline uint32_t BE32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint64_t BE64(const unsigned char* p) { return (uint64_t(BE32(p)) << 32) | BE32(p + 4); }
