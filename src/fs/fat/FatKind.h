#pragma once
// The FAT32 and FAT12/FAT16 lines of the file-system table.
#include "fs/FileSystemKind.h"

namespace quarvell {

FileSystemKind fat32Kind();
FileSystemKind fat16Kind();

}  // namespace quarvell
