#pragma once
// The NTFS line of the file-system table.
#include "fs/FileSystemKind.h"

namespace quarvell {

FileSystemKind ntfsKind();

}  // namespace quarvell
