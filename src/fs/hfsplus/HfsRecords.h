#pragma once
// In-memory records of an HFS+ parse: B-tree nodes kept by the walks, extents overflow records,
// and the catalog entries the result tree shows.
#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace quarvell {

struct HfsExtent {
    uint32_t startBlock = 0;
    uint32_t blockCount = 0;
};

// One B-tree node that a walk or the deep scan kept.
struct HfsNodeRecord {
    uint64_t byteOffset = 0;  // where the node starts, from the volume's first byte
    uint32_t forwardLink = 0;
    int8_t kind = 0;          // -1 leaf, 0 index, 1 header, 2 map
    uint8_t height = 0;
    uint16_t recordCount = 0;
    std::vector<uint16_t> recordOffsets;  // record 0 first
};

inline constexpr uint8_t kHfsDataFork = 0x00;
inline constexpr uint8_t kHfsResourceFork = 0xFF;

// Extents overflow records are looked up by file, fork and the file-relative start block.
struct HfsExtentKey {
    uint32_t fileId = 0;
    uint8_t forkType = 0;
    uint32_t startBlock = 0;
    bool operator<(const HfsExtentKey& o) const {
        return std::tie(fileId, forkType, startBlock) < std::tie(o.fileId, o.forkType, o.startBlock);
    }
};

struct HfsExtentRecord {
    uint64_t nodeOffset = 0;  // byte offset of the extents node holding the record
    uint32_t recordOffset = 0;
    std::array<HfsExtent, 8> extents{};
};

inline constexpr uint16_t kHfsFolder = 1;
inline constexpr uint16_t kHfsFile = 2;

// One folder or file record of the catalog.
struct HfsCatalogEntry {
    uint16_t kind = 0;       // kHfsFolder or kHfsFile
    uint64_t parentId = 0;   // from the record's key; rewritten by deep linking
    uint64_t id = 0;         // folder or file ID, equal to the map key
    int64_t firstChild = -1; // first entry of this folder's child chain; below 1 = none
    int64_t nextSibling = -1;
    uint32_t totalBlocks = 0;
    std::string name;        // UTF-8
    uint64_t nodeOffset = 0; // byte offset of the leaf node that holds the record
    uint32_t recordOffset = 0;
    bool inLinkedLeaf = false;  // the node is on the catalog's live leaf chain
    uint64_t logicalSize = 0;
    std::vector<HfsExtent> extents;  // data fork extents with a start block other than 0
    // Record fields the file list and the saved file's times need (HFS+ dates).
    uint32_t createDate = 0, contentModDate = 0, attributeModDate = 0, accessDate = 0;
    uint16_t fileMode = 0;
};

}  // namespace quarvell
