#pragma once
// The ext2/ext3/ext4 line of the file-system table.
#include "fs/FileSystemKind.h"

namespace quarvell {

FileSystemKind extKind();

}  // namespace quarvell
