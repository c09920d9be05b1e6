// Little-endian access to the host's calibration record at fixed offsets.
#pragma once

#include <cstdint>
#include <cstring>

namespace calrec {

inline uint16_t ReadU16(const void* record, int offset) {
    const unsigned char* p = static_cast<const unsigned char*>(record) + offset;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline int16_t ReadS16(const void* record, int offset) {
    return static_cast<int16_t>(ReadU16(record, offset));
}

inline int32_t ReadS32(const void* record, int offset) {
    const unsigned char* p = static_cast<const unsigned char*>(record) + offset;
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(v);
}

inline void WriteU16(void* record, int offset, uint16_t value) {
    unsigned char* p = static_cast<unsigned char*>(record) + offset;
    p[0] = static_cast<unsigned char>(value & 0xFF);
    p[1] = static_cast<unsigned char>(value >> 8);
}

} // namespace calrec
