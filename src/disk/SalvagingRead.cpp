#include "disk/SalvagingRead.h"

#include <algorithm>
#include <cstring>

#include "disk/readWriteInterface.h"

namespace quarvell {

namespace {

// A failing range of at most this many units is read unit by unit; a longer one is halved first,
// so a few bad sectors in a large range cost a few dozen re-reads, not one per unit.
constexpr uint32_t kUnitByUnitLimit = 8;

// [offset, offset + count) has failed to read: finds the units in it that cannot be read, leaving
// them zero and the rest filled. Returns the bytes lost. Depth is bounded by log2(count / unit).
uint64_t narrow(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit,
                const LostStretch& onLost) {
    const uint32_t units = (count + unit - 1) / unit;
    if (units <= kUnitByUnitLimit) {
        uint64_t lost = 0;
        for (uint32_t off = 0; off < count; off += unit) {
            const uint32_t n = std::min(unit, count - off);
            // A unit that comes short keeps what came (the reader zero-fills the rest) and
            // counts as lost whole. Whatever an earlier, wider read left here came from these
            // very offsets, or is zero.
            if (!reader.reread(offset + int64_t(off), buf + off, n)) {
                lost += n;
                if (onLost) onLost(offset + int64_t(off), n);
            }
        }
        return lost;
    }
    const uint32_t half = units / 2 * unit;
    uint64_t lost = 0;
    const uint32_t parts[2][2] = {{0, half}, {half, count - half}};
    for (const auto& part : parts) {
        uint8_t* at = buf + part[0];
        const int64_t where = offset + int64_t(part[0]);
        if (reader.reread(where, at, part[1])) continue;
        lost += narrow(reader, where, at, part[1], unit, onLost);
    }
    return lost;
}

}  // namespace

uint64_t readSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit) {
    return readSalvaging(reader, offset, buf, count, unit, LostStretch());
}

uint64_t readSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit,
                       const LostStretch& onLost) {
    if (count == 0) return 0;
    if (offset < 0) {
        std::memset(buf, 0, count);
        if (onLost) onLost(offset, count);
        return count;
    }
    // No zeroing first: a full read overwrites everything, and a failed one is redone below.
    if (reader.seek(offset) && reader.read(buf, count)) return 0;
    if (unit == 0) unit = 512;
    std::memset(buf, 0, count);
    const uint64_t lost = narrow(reader, offset, buf, count, unit, onLost);
    // Callers that read on after this one find the position where a plain read would leave it.
    reader.seek(offset + int64_t(count));
    return lost;
}

uint64_t rereadSalvaging(readWriteInterface& reader, int64_t offset, uint8_t* buf, uint32_t count, uint32_t unit) {
    if (count == 0) return 0;
    std::memset(buf, 0, count);
    if (offset < 0) return count;
    if (reader.reread(offset, buf, count)) return 0;
    std::memset(buf, 0, count);
    return narrow(reader, offset, buf, count, unit == 0 ? 512 : unit, LostStretch());
}

}  // namespace quarvell
