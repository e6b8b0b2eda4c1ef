#pragma once
// The counting operation of the save walk and the search: the files below a folder at every
// depth (folders are not counted), cycle-safe and depth-bounded.
#include <cstddef>
#include <cstdint>

#include "scan/EntryAdapter.h"

namespace quarvell {

// Deeper than any real hierarchy; a guard against damaged ones.
inline constexpr size_t kMaxFolderDepth = 4096;

uint64_t countFiles(const EntryAdapter& adapter, EntryKey folder);

}  // namespace quarvell
