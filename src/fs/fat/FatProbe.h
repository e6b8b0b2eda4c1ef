#pragma once
// Recognises FAT12, FAT16 and FAT32 boot sectors by their BIOS parameter block.
#include <string>

#include "fs/FileSystemKind.h"

namespace quarvell {

// "FAT32", "FAT16" or "FAT12" for a sector with FAT jump bytes and a valid BIOS parameter
// block; empty otherwise. sectors receives the volume's length in 512-byte sectors.
std::string fatLabel(const uint8_t* sector, uint64_t* sectors = nullptr);

// The probes of the three FAT lines of the table: each answers for its own label only.
ProbeMatch probeFat32(const uint8_t* sector, ProbeUse use);
ProbeMatch probeFat16(const uint8_t* sector, ProbeUse use);
ProbeMatch probeFat12(const uint8_t* sector, ProbeUse use);

}  // namespace quarvell
