#pragma once
// Recognises an NTFS boot sector.
#include "fs/FileSystemKind.h"

namespace quarvell {

// "NTFS" for a boot sector with the NTFS jump and 512 bytes per sector (the whole-drive scan
// also wants "NTFS" at bytes 3..6); the length is the boot sector's total sectors.
ProbeMatch probeNtfs(const uint8_t* sector, ProbeUse use);

}  // namespace quarvell
