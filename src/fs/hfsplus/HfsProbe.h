#pragma once
// Recognises an HFS+ volume header (1024 bytes into its volume).
#include "fs/FileSystemKind.h"

namespace quarvell {

// "HFS+" for a sector starting with "H+" and a version whose high byte is 0; the volume starts
// two sectors before it and holds block size × total blocks bytes.
ProbeMatch probeHfsPlus(const uint8_t* sector, ProbeUse use);

}  // namespace quarvell
