#pragma once
// Placeholders and lazy expansion: a folder's children enter the tree only when it is opened;
// until then a folder with children carries one placeholder child so it can be opened.
#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"

namespace quarvell {

inline constexpr const char* kPlaceholderText = "..DUMY..";

bool isPlaceholder(const ResultTree& tree, TreeItem item);

// After a parse: a placeholder under every top-level folder item that has children.
void addPlaceholders(ResultTree& tree, const EntryAdapter& adapter);

// Inserts the children of a folder item unless it already has real ones. With deletedMarks
// (the label-click path) children the adapter marks as deleted get red text. A folder whose
// entry already appears among its item's ancestors (a damaged, looping hierarchy) gets no
// children. Returns true when children were inserted.
// Whether a folder item may be opened: not when its entry is among its ancestors' (a loop) or
// when it lies deeper than the folder-depth cap.
enum class FolderReach { Open, Loop, TooDeep };
FolderReach folderReach(const ResultTree& tree, TreeItem item);

bool expandFolder(ResultTree& tree, const EntryAdapter& adapter, TreeItem folder, bool deletedMarks);

}  // namespace quarvell
