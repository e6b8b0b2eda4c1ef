#pragma once
// Recognises an exFAT boot sector.
#include "fs/FileSystemKind.h"

namespace quarvell {

// "FAT64" for a boot sector with a FAT jump and "EXFA" at byte 3; the length is the volume
// length scaled from its own sector size to 512-byte sectors.
ProbeMatch probeExfat(const uint8_t* sector, ProbeUse use);

}  // namespace quarvell
