#pragma once
// The HFS+ line of the file-system table.
#include "fs/FileSystemKind.h"

namespace quarvell {

FileSystemKind hfsPlusKind();

}  // namespace quarvell
