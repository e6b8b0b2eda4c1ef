#pragma once
// Item paths of a result tree as the commands print and accept them: item texts from "ROOT"
// joined with "/", each text escaped ("%" -> "%25", "/" -> "%2F", control characters -> "%XX";
// names show theirs as control pictures, which a path may give as such or as "%XX").
#include <string>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"

namespace quarvell::cli {

std::string escapePathText(const std::string& text);
std::string joinPath(const std::vector<std::string>& escapedParts);

// The first item in tree order whose path equals `path` (escaped form, starting at the top
// item's text), opening folders through the lazy expansion on the way. kNoItem when none.
TreeItem findItemByPath(ResultTree& tree, const EntryAdapter& adapter, const std::string& path);

}  // namespace quarvell::cli
