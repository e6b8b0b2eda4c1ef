#pragma once
// The exFAT line of the file-system table.
#include "fs/FileSystemKind.h"

namespace quarvell {

FileSystemKind exfatKind();

}  // namespace quarvell
