#include "disk/SalvagingRead.h"

#include <algorithm>
#include <cstring>

#include "disk/readWriteInterface.h"

namespace quarvell {

uint64_t readSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit) {
    if (count == 0) return 0;
    if (offset < 0) {
        std::memset(buf, 0, count);
        return count;
    }
    // No zeroing first: a full read overwrites everything, and a failed one is redone below.
    if (reader.seek(offset) && reader.read(buf, count)) return 0;
    if (unit == 0) unit = 512;
    std::memset(buf, 0, count);
    uint64_t lost = 0;
    for (uint32_t off = 0; off < count; off += unit) {
        const uint32_t n = std::min(unit, count - off);
        // A unit that comes short keeps what came (the reader zero-fills the rest) and counts as lost.
        if (!reader.seek(offset + int64_t(off)) || !reader.read(buf + off, n)) lost += n;
    }
    return lost;
}

}  // namespace quarvell
