#include "fs/hfsplus/HfsProbe.h"

#include "common/Bytes.h"

namespace quarvell {

namespace {
// The whole-drive scan takes no header claiming 20 TiB or more: such a find is noise.
constexpr uint64_t kMaxSearchSectors = uint64_t(20971520) * 2048;
}  // namespace

ProbeMatch probeHfsPlus(const uint8_t* s, ProbeUse use) {
    ProbeMatch m;
    if (s[0] != 'H' || s[1] != '+' || s[2] != 0) return m;
    const uint64_t sectors = uint64_t(be32(s + 40)) * be32(s + 44) / 512;
    if (use == ProbeUse::EverySector && sectors >= kMaxSearchSectors) return m;
    m.label = "HFS+";
    m.sectors = sectors;
    m.sectorsBefore = 2;
    return m;
}

}  // namespace quarvell
