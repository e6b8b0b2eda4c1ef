#pragma once
// One found volume, carried from the partition scan and the drive listing to the pages, the
// parsers and raw recovery.
#include <cstdint>
#include <string>

namespace quarvell {

struct VolumeEntry {
    std::string fileSystem;  // "NTFS", "FAT12", "FAT16", "FAT32", "FAT64", "extX", "HFS+", "Unknown", a GPT name...
    std::string displayName;
    std::string volumeName;  // running number as text
    std::string sizeText;    // leading decimal number = size in MiB, then a unit ("100   MB", "100  MB", "100")
    int64_t startSector = 0;
    // Exact length in 512-byte sectors when the table or boot record gives it; 0 when unknown.
    uint64_t sectorCount = 0;
    // The table or file system gave a length past the medium's end: sectorCount is cut to it.
    bool clipped = false;

    // The volume's length in 512-byte sectors: sectorCount when known, else the MiB of sizeText.
    uint64_t lengthInSectors() const;
    uint64_t lengthInBytes() const { return lengthInSectors() * 512; }
};

}  // namespace quarvell
