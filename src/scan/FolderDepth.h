#pragma once
// How deep the tree, the save walk and the search follow folders: deeper than real hierarchies
// go, shallow enough that a damaged or hostile one cannot exhaust memory with its paths.
#include <cstddef>

namespace quarvell {

inline constexpr size_t kMaxFolderDepth = 512;

}  // namespace quarvell
