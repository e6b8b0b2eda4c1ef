#pragma once
// One exFAT file or directory as the parser keeps it: the fields of its directory entry set
// (file entry, stream extension, file names) and its place in the first-child / next-sibling
// chains. Links are entry indices; 0 (the "DUMMY ENTRY" root, never anyone's child) ends a chain.
#include <cstdint>
#include <string>

namespace quarvell {

inline constexpr uint8_t kExfatFileLive = 0x85;
inline constexpr uint8_t kExfatFileDeleted = 0x05;
inline constexpr uint8_t kExfatStreamLive = 0xC0;
inline constexpr uint8_t kExfatStreamDeleted = 0x40;
inline constexpr uint8_t kExfatNameLive = 0xC1;
inline constexpr uint8_t kExfatNameDeleted = 0x41;
inline constexpr uint8_t kExfatBitmap = 0x81;
inline constexpr uint8_t kExfatUpcase = 0x82;
inline constexpr uint8_t kExfatLabel = 0x83;

inline constexpr uint16_t kExfatDirectoryBit = 0x10;
inline constexpr uint8_t kExfatNoFatChain = 0x02;  // general flags bit 1

inline constexpr const char* kExfatDummyName = "DUMMY ENTRY";
inline constexpr const char* kExfatOrphanName = "ORPHAN ENTRY";

struct ExfatEntry {
    uint8_t entryType = 0;
    uint16_t attributes = 0;
    uint32_t creationTimestamp = 0;
    uint32_t modificationTimestamp = 0;
    uint32_t accessTimestamp = 0;
    uint8_t creation10ms = 0;
    uint8_t modification10ms = 0;
    uint8_t creationUtcOffset = 0;
    uint8_t modificationUtcOffset = 0;
    uint8_t accessUtcOffset = 0;
    uint8_t streamEntryType = 0;
    uint8_t generalFlags = 0;
    uint8_t nameLength = 0;
    uint64_t validDataLength = 0;
    uint32_t firstCluster = 0;
    uint64_t dataLength = 0;
    std::string name;  // UTF-8
    uint32_t parent = 0;
    uint32_t ownIndex = 0;
    uint32_t firstChild = 0;
    uint32_t nextSibling = 0;

    // Where the file entry lies (bytes from the volume's start) and how it was found.
    uint64_t position = 0;
    // Found in a live directory of the live tree, itself live: its clusters are in use.
    bool liveContext = false;

    bool isDeleted() const { return entryType == kExfatFileDeleted; }
    bool isFolder() const { return (attributes & kExfatDirectoryBit) != 0; }
    bool fatChain() const { return (generalFlags & kExfatNoFatChain) == 0; }
};

}  // namespace quarvell
