#pragma once
// One directory entry found on a FAT12/16/32 volume, as the parser keeps it.
#include <cstdint>
#include <string>

namespace quarvell {

inline constexpr uint32_t kFatNoEntry = UINT32_MAX;  // end of a first-child / next-sibling chain
inline constexpr uint32_t kFatRootIndex = 0;         // "DUMMY ENTRY", the volume's root
inline constexpr uint32_t kFatOrphanIndex = 1;       // "ORPHAN ENTRY" of the rebuilt tree

struct FatEntry {
    uint8_t attribute = 0;         // offset 11
    uint8_t creationTenths = 0;    // offset 13
    uint16_t creationTime = 0;     // DOS time, offset 14
    uint16_t creationDate = 0;     // DOS date, offset 16
    uint16_t accessDate = 0;       // DOS date, offset 18
    uint16_t firstClusterHigh = 0; // offset 20 (FAT32 only)
    uint16_t writeTime = 0;        // DOS time, offset 22
    uint16_t writeDate = 0;        // DOS date, offset 24
    uint16_t firstClusterLow = 0;  // offset 26
    uint32_t size = 0;             // offset 28
    uint8_t deleted = 0;           // the short entry began with 0xE5
    std::string name;              // UTF-8: the long name when one belonged to it, else the short name
    uint32_t parent = kFatRootIndex;
    uint32_t index = 0;
    uint32_t firstChild = kFatNoEntry;
    uint32_t nextSibling = kFatNoEntry;

    bool insideDeleted = false;  // found in the content of a deleted folder
    uint64_t slot = 0;           // byte offset of its 32-byte short entry on the volume
    uint32_t firstCluster = 0;   // (high << 16) | low on FAT32, low elsewhere

    bool isFolder() const { return (attribute & 0x10) != 0 && (attribute & 0x08) == 0; }
};

}  // namespace quarvell
