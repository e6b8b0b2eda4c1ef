#include "scan/ResultBrowser.h"

#include "scan/LazyTree.h"

namespace quarvell {

FileListRow ResultBrowser::rowFor(TreeItem item) const {
    FileListRow row;
    const EntryKey key = tree_.itemData(item);
    row.name = tree_.itemText(item);
    row.texts = adapter_.texts(key);
    row.size = adapter_.sizeText(key);
    row.item = item;
    row.entry = key;
    return row;
}

void ResultBrowser::labelClicked(TreeItem item) {
    if (item == kNoItem) return;
    const EntryKey key = tree_.itemData(item);
    if (!adapter_.isEntry(key)) return;
    if (adapter_.isFolder(key)) {
        expandFolder(tree_, adapter_, item, true);
        if (tree_.firstChild(item) == kNoItem) return;
        list_.rows.clear();
        list_.showsSearchResults = false;
        for (TreeItem c = tree_.firstChild(item); c != kNoItem; c = tree_.nextSibling(c)) {
            const EntryKey child = tree_.itemData(c);
            if (adapter_.isEntry(child) && !adapter_.isFolder(child)) list_.rows.push_back(rowFor(c));
        }
        return;
    }
    list_.rows.clear();
    list_.showsSearchResults = false;
    list_.rows.push_back(rowFor(item));
}

void ResultBrowser::itemExpanding(TreeItem item) {
    if (item == kNoItem || !adapter_.isFolder(tree_.itemData(item))) return;
    expandFolder(tree_, adapter_, item, false);
    if (adapter_.clearsListOnExpand() && tree_.firstChild(item) != kNoItem) list_.rows.clear();
}

void ResultBrowser::doubleClicked(TreeItem item, const std::function<void(TreeItem)>& quickSave) {
    if (item == kNoItem) return;
    const EntryKey key = tree_.itemData(item);
    if (!adapter_.isEntry(key)) return;
    if (!adapter_.isFolder(key)) {
        if (quickSave) quickSave(item);
        return;
    }
    expandFolder(tree_, adapter_, item, false);
    if (tree_.firstChild(item) == kNoItem) return;
    list_.rows.clear();
    for (TreeItem c = tree_.firstChild(item); c != kNoItem; c = tree_.nextSibling(c)) {
        if (tree_.itemImage(c) == kIconFolder) continue;
        FileListRow row;
        row.name = tree_.itemText(c);
        row.item = c;
        row.entry = tree_.itemData(c);
        list_.rows.push_back(row);
    }
}

void ResultBrowser::rowCheckClicked(size_t row, bool wasChecked) {
    if (list_.showsSearchResults || row >= list_.rows.size()) return;
    FileListRow& r = list_.rows[row];
    r.checked = !wasChecked;
    if (r.item != kNoItem) tree_.setCheck(r.item, !wasChecked);
}

}  // namespace quarvell
