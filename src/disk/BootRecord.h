#pragma once
// Names the file system of a volume from its first sector(s).
#include <cstdint>
#include <string>

namespace quarvell {

struct BootRecordMatch {
    std::string label;     // "NTFS", "FAT32", "FAT16", "FAT12", "FAT64", "HFS+"; empty: no match
    uint64_t sectors = 0;  // the volume's length in 512-byte sectors as its boot record gives it
};

// Classifies one 512-byte sector. The advanced (whole-drive) scan also requires "NTFS" at
// bytes 3..6 of an NTFS boot sector and accepts an HFS+ volume header ("H+", version byte 0)
// found 1024 bytes into a volume.
BootRecordMatch classifyBootRecord(const uint8_t* sector, bool advancedScan);

// "FAT32", "FAT16" or "FAT12" for a sector with FAT jump bytes and a valid BIOS parameter
// block; empty otherwise. sectors receives the volume's length in 512-byte sectors.
std::string fatLabel(const uint8_t* sector, uint64_t* sectors = nullptr);

// An ext2/ext3 superblock at byte 1024 of the volume whose first 2048 bytes are given:
// magic 0xEF53, a block size of 1, 2 or 4 KiB, non-zero inode and block counts.
bool extSuperblock(const uint8_t* first2048, uint64_t* sectors = nullptr);

}  // namespace quarvell
