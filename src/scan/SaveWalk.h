#pragma once
// Saving recovered files: counting the files below a folder, the "Save selection" walk that
// recreates the folder's sub-folders under the output folder and saves every file through the
// parser's adapter, and the quick save of one file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "controls/ResultTree.h"
#include "scan/EntryAdapter.h"

namespace quarvell {

struct SaveTotals {
    bool ran = false;             // the walk or the quick save went ahead
    uint64_t filesSaved = 0;
    uint64_t filesFailed = 0;     // no output file, or its writing failed
    uint64_t filesIncomplete = 0; // saved with zero-filled unreadable blocks or missing extents
};

class SaveWalk {
public:
    SaveWalk(const ResultTree& tree, EntryAdapter& adapter, UiSink& sink, WorkerControl& control)
        : tree_(tree), adapter_(adapter), sink_(sink), control_(control) {}

    // Files below a folder at every depth (folders are not counted).
    uint64_t countFiles(EntryKey folder) const;

    // "Save selection" on the selected folder item: asks the file-count question, then saves
    // the folder's children into outputFolder. A selected file, or nothing, does nothing.
    SaveTotals saveSelection(TreeItem selected, const std::string& outputFolder);

    // Saves one file item into outputFolder; without one, chooseFolder is asked for it.
    SaveTotals quickSave(TreeItem fileItem, const std::string& outputFolder,
                         const std::function<std::string()>& chooseFolder = {});

private:
    void walk(EntryKey folder, const std::string& target, uint64_t& counter, std::vector<EntryKey>& path,
              SaveTotals& totals);
    void saveOne(EntryKey file, const std::string& target, SaveTotals& totals);

    const ResultTree& tree_;
    EntryAdapter& adapter_;
    UiSink& sink_;
    WorkerControl& control_;
};

}  // namespace quarvell
