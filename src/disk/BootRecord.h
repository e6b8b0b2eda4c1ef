#pragma once
// Names the file system of a volume from its first sectors by asking every kind of the
// file-system table (src/fs/FileSystems.cpp) for its probe.
#include <cstdint>
#include <string>

namespace quarvell {

struct BootRecordMatch {
    std::string label;          // "NTFS", "FAT32", "FAT16", "FAT12", "FAT64", "HFS+", "extX"; empty: no match
    uint64_t sectors = 0;       // the volume's length in 512-byte sectors as its boot record gives it
    uint64_t sectorsBefore = 0; // the volume starts this many sectors before the classified sector
};

// Classifies one 512-byte sector. Without advancedScan only boot records that are a volume's
// first sector answer (NTFS, FAT, exFAT). The advanced (whole-drive) scan asks the kinds' strict
// probes and also takes structures that lie inside a volume (an HFS+ header or ext superblock
// 1024 bytes in, an ext backup superblock), with the distance back to the volume's start.
BootRecordMatch classifyBootRecord(const uint8_t* sector, bool advancedScan);

// The file system that starts at a volume whose first 2048 bytes are given: a boot record in
// its first sector, else a superblock or volume header 1024 bytes in.
BootRecordMatch classifyVolumeStart(const uint8_t* first2048);

// An ext2/3/4 superblock at byte 1024 of the volume whose first 2048 bytes are given.
bool extSuperblock(const uint8_t* first2048, uint64_t* sectors = nullptr);

}  // namespace quarvell
