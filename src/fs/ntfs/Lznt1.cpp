#include "fs/ntfs/Lznt1.h"

#include <cstring>

namespace quarvell {

namespace {
constexpr size_t kChunkBytes = 4096;

// One compressed chunk into out[0 .. room). Returns false on a malformed token or overflow.
bool decodeChunk(const uint8_t* in, size_t length, uint8_t* out, size_t room, size_t& produced) {
    size_t ip = 0, op = 0;
    while (ip < length) {
        const uint8_t flags = in[ip++];
        for (int bit = 0; bit < 8 && ip < length; ++bit) {
            if (!(flags & (1 << bit))) {
                if (op >= room || op >= kChunkBytes) return produced = op, false;
                out[op++] = in[ip++];
                continue;
            }
            if (ip + 2 > length) return produced = op, false;
            const uint16_t token = uint16_t(in[ip] | (in[ip + 1] << 8));
            ip += 2;
            // The split between offset and length bits moves with the position in the chunk.
            unsigned k = 0;
            for (size_t p = op - 1; p >= 16 && op > 0; p >>= 1) ++k;
            if (op == 0 || k > 12) return produced = op, false;
            const size_t distance = size_t(token >> (12 - k)) + 1;
            const size_t count = size_t(token & (0xFFF >> k)) + 3;
            if (distance > op) return produced = op, false;
            for (size_t i = 0; i < count; ++i) {
                if (op >= room || op >= kChunkBytes) return produced = op, false;
                out[op] = out[op - distance];
                ++op;
            }
        }
    }
    produced = op;
    return true;
}
}  // namespace

Lznt1Result decompressLznt1(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity) {
    Lznt1Result r;
    size_t ip = 0;
    while (ip + 2 <= inLength) {
        const uint16_t header = uint16_t(in[ip] | (in[ip + 1] << 8));
        if (header == 0) break;
        const size_t dataLength = size_t(header & 0xFFF) + 1;
        ip += 2;
        if (dataLength > inLength - ip) {
            r.ok = false;
            break;
        }
        const size_t room = capacity - r.produced;
        if (!(header & 0x8000)) {
            // A stored chunk: its bytes as they are (4096 of them when the size field is full).
            const size_t n = dataLength;
            const size_t take = n < room ? n : room;
            std::memcpy(out + r.produced, in + ip, take);
            r.produced += take;
            if (take < n) {
                r.ok = false;
                break;
            }
        } else {
            size_t produced = 0;
            const bool ok = decodeChunk(in + ip, dataLength, out + r.produced, room, produced);
            r.produced += produced;
            if (!ok) {
                r.ok = false;
                break;
            }
        }
        ip += dataLength;
    }
    return r;
}

}  // namespace quarvell
