#include "fs/ext/ExtProbe.h"

#include <cstdint>

#include "common/Bytes.h"

namespace quarvell {

namespace {
constexpr uint32_t kIncompat64Bit = 0x80;
}  // namespace

ProbeMatch probeExt(const uint8_t* sb, ProbeUse) {
    ProbeMatch m;
    if (sb[56] != 0x53 || sb[57] != 0xEF) return m;
    const uint32_t logBlock = le32(sb + 24);
    if (logBlock > 6) return m;
    const uint64_t blockSize = uint64_t(1024) << logBlock;
    const uint64_t inodes = le32(sb + 0);
    uint64_t blocks = le32(sb + 4);
    if (le32(sb + 96) & kIncompat64Bit) blocks |= uint64_t(le32(sb + 336)) << 32;
    const uint32_t firstDataBlock = le32(sb + 20);
    const uint32_t blocksPerGroup = le32(sb + 32);
    const uint32_t inodesPerGroup = le32(sb + 40);
    if (inodes == 0 || blocks == 0 || firstDataBlock != (logBlock == 0 ? 1u : 0u)) return m;
    if (blocksPerGroup == 0 || blocksPerGroup > 8 * blockSize || inodesPerGroup == 0) return m;
    if (blocks <= firstDataBlock || blocks > UINT64_MAX / blockSize) return m;
    const uint64_t groups = (blocks - firstDataBlock + blocksPerGroup - 1) / blocksPerGroup;
    if (inodes != groups * inodesPerGroup) return m;
    const uint16_t group = le16(sb + 90);
    if (group >= groups) return m;
    m.label = "extX";
    m.sectors = blocks * blockSize / 512;
    // Group 0's copy lies 1024 bytes in; a backup starts its group's first block.
    m.sectorsBefore = group == 0 ? 2 : (uint64_t(group) * blocksPerGroup + firstDataBlock) * blockSize / 512;
    return m;
}

}  // namespace quarvell
