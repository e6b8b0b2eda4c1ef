#pragma once
// Saving recovered files: counting the files below a folder, the "Save selection" walk that
// recreates the folder's sub-folders under the output folder and saves every file through the
// run writer, and the quick save of one file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "fs/SaveReport.h"

namespace quarvell {

struct SaveTotals {
    bool ran = false;              // the walk or the quick save went ahead
    uint64_t filesSaved = 0;       // complete or incomplete
    uint64_t filesFailed = 0;      // nothing left under a final name
    uint64_t filesIncomplete = 0;  // saved with zeros for unreadable or missing bytes
    uint64_t leftOutTooDeep = 0;   // entries below the folder-depth cap, not visited
    uint64_t leftOutCycles = 0;    // folders met again inside themselves, not entered again
};

// One saved (or failed) file: its names from the walk's start down, and what the writer did.
using SavedFileHandler = std::function<void(const std::vector<std::string>& names, const SaveReport& report)>;

// The same file with what reports of the whole save need besides: the entry, its deleted mark
// (below the folder it was saved from) and the data the writer was given.
struct SavedFile {
    const std::vector<std::string>& names;
    EntryKey key;
    bool deleted;
    const FileData& data;
    const SaveReport& report;
};
using SavedFileDetailHandler = std::function<void(const SavedFile& file)>;

class SaveWalk {
public:
    SaveWalk(const ResultTree& tree, EntryAdapter& adapter, UiSink& sink, WorkerControl& control)
        : tree_(tree), adapter_(adapter), sink_(sink), control_(control) {}

    // Called for every file the walk or the quick save tries; with sha256 its report carries
    // the hash of the bytes written.
    void onFile(SavedFileHandler handler, bool sha256 = false) {
        onFile_ = std::move(handler);
        sha256_ = sha256;
    }

    // Called after the onFile handler for every file tried, with the detail; with sha256 the
    // report carries the hash of the bytes written.
    void onFileDetail(SavedFileDetailHandler handler, bool sha256 = true) {
        onDetail_ = std::move(handler);
        detailSha256_ = sha256;
    }

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
              std::vector<std::string>& names, SaveTotals& totals);
    SaveReport saveOne(EntryKey file, EntryKey parent, const std::string& folder, std::vector<std::string>& names,
                       SaveTotals& totals);
    void reportLeftOut(const SaveTotals& totals);
    // A file the adapter keeps out of saves: its status line and size, nothing written.
    void showUnsaved(EntryKey file, const std::string& folder, const std::string& name);

    const ResultTree& tree_;
    EntryAdapter& adapter_;
    UiSink& sink_;
    WorkerControl& control_;
    SavedFileHandler onFile_;
    bool sha256_ = false;
    SavedFileDetailHandler onDetail_;
    bool detailSha256_ = false;
};

}  // namespace quarvell
