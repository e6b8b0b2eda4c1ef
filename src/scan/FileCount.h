#pragma once
// The counting operation of the save walk and the search: the files below a folder at every
// depth (folders are not counted), cycle-safe and depth-bounded.
#include <cstdint>

#include "fs/EntryAdapter.h"
#include "scan/FolderDepth.h"

namespace quarvell {

uint64_t countFiles(const EntryAdapter& adapter, EntryKey folder);

}  // namespace quarvell
