#pragma once
// The file list beside the result tree: the files of the folder last clicked, or search hits.
#include <string>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"

namespace quarvell {

// One row: "File(s) List", "Creation Time", "Access Time", "Modification Time", "Size",
// "Attribute". A row filled from the tree carries its tree item; a search hit carries the entry.
struct FileListRow {
    std::string name;
    EntryTexts texts;
    std::string size;
    TreeItem item = kNoItem;
    EntryKey entry = kNoData;
    bool checked = false;
};

struct FileList {
    std::vector<FileListRow> rows;
    bool showsSearchResults = false;
};

}  // namespace quarvell
