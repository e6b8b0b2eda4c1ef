#include "scan/LazyTree.h"

#include "scan/FolderDepth.h"

namespace quarvell {

FolderReach folderReach(const ResultTree& tree, TreeItem item) {
    const EntryKey key = tree.itemData(item);
    size_t depth = 0;
    for (TreeItem a = tree.parentItem(item); a != kNoItem; a = tree.parentItem(a)) {
        if (tree.itemData(a) == key) return FolderReach::Loop;
        if (++depth > kMaxFolderDepth) return FolderReach::TooDeep;
    }
    return FolderReach::Open;
}

bool isPlaceholder(const ResultTree& tree, TreeItem item) {
    return item != kNoItem && tree.itemData(item) == kNoData && tree.itemText(item) == kPlaceholderText;
}

void addPlaceholders(ResultTree& tree, const EntryAdapter& adapter) {
    TreeItem root = tree.rootItem();
    if (root == kNoItem) return;
    for (TreeItem c = tree.firstChild(root); c != kNoItem; c = tree.nextSibling(c)) {
        if (tree.itemImage(c) == kIconNone) continue;
        const EntryKey key = tree.itemData(c);
        if (adapter.isFolder(key) && adapter.hasChildren(key)) tree.insertItem(kPlaceholderText, kIconPlaceholder, c);
    }
}

bool expandFolder(ResultTree& tree, const EntryAdapter& adapter, TreeItem folder, bool deletedMarks) {
    const EntryKey key = tree.itemData(folder);
    if (!adapter.isFolder(key)) return false;
    TreeItem first = tree.firstChild(folder);
    if (isPlaceholder(tree, first)) tree.deleteItem(first);
    if (tree.firstChild(folder) != kNoItem) return false;
    if (folderReach(tree, folder) != FolderReach::Open) return false;
    bool inserted = false;
    for (EntryKey child : adapter.children(key)) {
        if (!adapter.isShown(child)) continue;
        const bool isFolder = adapter.isFolder(child);
        TreeItem item = tree.insertItem(adapter.name(child), isFolder ? kIconFolder : kIconFile, folder, child);
        if (item == kNoItem) continue;
        inserted = true;
        if (isFolder && adapter.hasChildren(child)) tree.insertItem(kPlaceholderText, kIconPlaceholder, item);
        if (deletedMarks && adapter.isDeleted(child, key)) tree.setTextColor(item, kColorRed);
    }
    return inserted;
}

}  // namespace quarvell
