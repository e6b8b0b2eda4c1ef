#pragma once
// The one way every long read copes with bad sectors: read the whole range at once, and only
// when that fails narrow the failure down into zeroed memory (halving the failing part, then unit
// by unit, each re-read through the reader's exact path), so that just the units that cannot be
// read stay zero and everything else keeps its bytes and offsets.
#include <cstdint>
#include <functional>

namespace quarvell {

class readWriteInterface;

// Reads `count` bytes at `offset` (relative to the reader's volume origin) into `buf`.
// Returns how many bytes could not be read (0 when everything came). `unit` is the re-read
// granularity: 512 for sectors, a block size for file-system blocks.
uint64_t readSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count,
                       uint32_t unit = 512);

// The same, telling `onLost` each stretch that could not be read (its offset, relative to the
// volume origin, and its length), in ascending order.
using LostStretch = std::function<void(int64_t offset, uint32_t count)>;
uint64_t readSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit,
                       const LostStretch& onLost);

// The same without the first plain read: every read goes the reader's exact path (uncached on
// a block device). For ranges known to lie beside bad sectors, where a plain read through the
// cache fails whole windows.
uint64_t rereadSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit);

}  // namespace quarvell
