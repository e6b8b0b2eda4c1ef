#pragma once
// Bounds-checked little- and big-endian loads from on-disk buffers.
// Every load that could run past the buffer returns 0 instead.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quarvell {

inline uint64_t loadLE(const uint8_t* buf, size_t size, size_t off, unsigned width) {
    if (off > size || width > size - off) return 0;
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= uint64_t(buf[off + i]) << (8 * i);
    return v;
}
inline uint64_t loadBE(const uint8_t* buf, size_t size, size_t off, unsigned width) {
    if (off > size || width > size - off) return 0;
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v = (v << 8) | buf[off + i];
    return v;
}

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }
inline uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]); }
inline uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }

}  // namespace quarvell
