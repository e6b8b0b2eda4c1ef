#pragma once
// What the scan page does when the user browses the result tree: label clicks, the expand
// button and double clicks open folders lazily and fill the file list; ticking a row's box
// ticks its file in the tree.
#include <functional>

#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "scan/FileList.h"

namespace quarvell {

class ResultBrowser {
public:
    ResultBrowser(ResultTree& tree, const EntryAdapter& adapter, FileList& list)
        : tree_(tree), adapter_(adapter), list_(list) {}

    // A click on an item's label: a folder is opened with deleted marks and its files are
    // listed; a file is listed alone. A folder without children leaves the list as it was.
    void labelClicked(TreeItem item);
    // The expand button: opens the folder without deleted marks.
    void itemExpanding(TreeItem item);
    // A double click: a folder is opened and its non-folder children listed by name; a file is
    // handed to quickSave.
    void doubleClicked(TreeItem item, const std::function<void(TreeItem)>& quickSave);
    // A click on a row's check box, whose box showed `wasChecked` before the click.
    void rowCheckClicked(size_t row, bool wasChecked);

private:
    FileListRow rowFor(TreeItem item) const;

    ResultTree& tree_;
    const EntryAdapter& adapter_;
    FileList& list_;
};

}  // namespace quarvell
