#include "fs/hfsplus/HfsVolumeHeader.h"

#include "common/Bytes.h"

namespace quarvell {

namespace {
constexpr uint32_t kMaxBlockSize = 1u << 20;
}

HfsForkData hfsForkFromBytes(const uint8_t* p) {
    HfsForkData f;
    f.logicalSize = be64(p);
    f.clumpSize = be32(p + 8);
    f.totalBlocks = be32(p + 12);
    for (size_t i = 0; i < 8; ++i) {
        f.extents[i].startBlock = be32(p + 16 + 8 * i);
        f.extents[i].blockCount = be32(p + 20 + 8 * i);
    }
    return f;
}

HfsVolumeHeader HfsVolumeHeader::fromBytes(const uint8_t* p) {
    HfsVolumeHeader h;
    h.signature = be16(p);
    h.version = be16(p + 2);
    h.attributes = be32(p + 4);
    h.createDate = be32(p + 16);
    h.modifyDate = be32(p + 20);
    h.backupDate = be32(p + 24);
    h.checkedDate = be32(p + 28);
    h.fileCount = be32(p + 32);
    h.folderCount = be32(p + 36);
    h.blockSize = be32(p + 40);
    h.totalBlocks = be32(p + 44);
    h.freeBlocks = be32(p + 48);
    h.nextCatalogId = be32(p + 64);
    h.allocationFile = hfsForkFromBytes(p + 112);
    h.extentsFile = hfsForkFromBytes(p + 192);
    h.catalogFile = hfsForkFromBytes(p + 272);
    h.attributesFile = hfsForkFromBytes(p + 352);
    return h;
}

bool HfsVolumeHeader::usable() const {
    const bool signatureOk = signature == 0x482B || signature == 0x4858;  // "H+", "HX"
    return signatureOk && blockSizeValid();
}

bool HfsVolumeHeader::blockSizeValid() const {
    return blockSize >= 512 && blockSize <= kMaxBlockSize && (blockSize & (blockSize - 1)) == 0;
}

bool HfsVolumeHeader::geometryUsable(uint64_t volumeBytes) const {
    if (!blockSizeValid() || totalBlocks == 0 || uint64_t(totalBlocks) * blockSize > volumeBytes) return false;
    const HfsExtent& catalog = catalogFile.extents[0];
    return catalog.startBlock != 0 && catalog.blockCount != 0 &&
           uint64_t(catalog.startBlock) + catalog.blockCount <= totalBlocks;
}

}  // namespace quarvell
