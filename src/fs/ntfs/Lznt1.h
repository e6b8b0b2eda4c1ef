#pragma once
// LZNT1, the compression of NTFS compression units: a sequence of chunks, each decoding to at
// most 4096 bytes.
#include <cstddef>
#include <cstdint>

namespace quarvell {

struct Lznt1Result {
    size_t produced = 0;  // bytes written to the output
    bool ok = true;       // false: a chunk ran past the input, a reference pointed before the
                          // chunk's start, or the output would have passed its capacity
};

Lznt1Result decompressLznt1(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity);

}  // namespace quarvell
