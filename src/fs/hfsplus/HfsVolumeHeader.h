#pragma once
// The HFS+ volume header (512 bytes at byte 1024 of the volume, and its alternate copy 1024
// bytes before the volume's end), converted from big-endian.
#include <array>
#include <cstdint>

#include "fs/hfsplus/HfsRecords.h"

namespace quarvell {

struct HfsForkData {
    uint64_t logicalSize = 0;
    uint32_t clumpSize = 0;
    uint32_t totalBlocks = 0;
    std::array<HfsExtent, 8> extents{};
};

struct HfsVolumeHeader {
    uint16_t signature = 0;
    uint16_t version = 0;
    uint32_t attributes = 0;
    uint32_t createDate = 0, modifyDate = 0, backupDate = 0, checkedDate = 0;
    uint32_t fileCount = 0, folderCount = 0;
    uint32_t blockSize = 0;
    uint32_t totalBlocks = 0, freeBlocks = 0;
    uint32_t nextCatalogId = 0;
    HfsForkData allocationFile, extentsFile, catalogFile, attributesFile;

    // Reads the fields from 512 stored bytes.
    static HfsVolumeHeader fromBytes(const uint8_t* bytes);
    // "H+" or "HX" with a power-of-two block size the parser can work with.
    // Without looking at the signature: a block size that is a power of two from 512, the
    // blocks fitting the volume and the catalog's first extent inside them.
    bool geometryUsable(uint64_t volumeBytes) const;
    bool blockSizeValid() const;
    bool usable() const;
};

// Reads one fork description (80 bytes) from big-endian bytes.
HfsForkData hfsForkFromBytes(const uint8_t* bytes);

}  // namespace quarvell
