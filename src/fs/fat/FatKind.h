#pragma once
// The FAT32, FAT16 and FAT12 lines of the file-system table.
#include "fs/FileSystemKind.h"

namespace quarvell {

FileSystemKind fat32Kind();
FileSystemKind fat16Kind();
FileSystemKind fat12Kind();

}  // namespace quarvell
