#include "scan/SaveWalk.h"

#include <algorithm>

#include "common/TextFormat.h"
#include "scan/FileCount.h"
#include "scan/OutputPath.h"

namespace quarvell {

namespace {
bool onPath(const std::vector<EntryKey>& path, EntryKey key) {
    return std::find(path.begin(), path.end(), key) != path.end();
}
}  // namespace

uint64_t SaveWalk::countFiles(EntryKey folder) const { return quarvell::countFiles(adapter_, folder); }

SaveTotals SaveWalk::saveSelection(TreeItem selected, const std::string& outputFolder) {
    SaveTotals totals;
    if (outputFolder.empty()) {
        sink_.messageBox("select output folder", kCaption, MsgIcon::Information);
        return totals;
    }
    if (selected == kNoItem) return totals;
    const EntryKey folder = tree_.itemData(selected);
    if (!adapter_.isFolder(folder)) return totals;
    const uint64_t n = countFiles(folder);
    sink_.setProgressRange(0, int64_t(n & 0xFFFFFFFFu));
    const std::string question =
        format("number of files found inside this folder = %lld .do u want to continue dumping these files..?",
               static_cast<long long>(n));
    if (sink_.messageBox(question, kCaption, MsgIcon::None, MsgButtons::YesNo) != MsgResult::Yes) return totals;
    control_.clear();  // a Stop pressed during an earlier parse or search does not end this save
    totals.ran = true;
    uint64_t counter = 0;
    std::vector<EntryKey> path;
    walk(folder, outputFolder, counter, path, totals);
    sink_.setProgressPos(int64_t(n));
    if (totals.filesFailed > 0)
        sink_.setStatus(format("%llu files could not be saved", static_cast<unsigned long long>(totals.filesFailed)));
    sink_.messageBox("work done", kCaption, MsgIcon::Information);
    return totals;
}

void SaveWalk::walk(EntryKey folder, const std::string& target, uint64_t& counter, std::vector<EntryKey>& path,
                    SaveTotals& totals) {
    if (path.size() >= kMaxFolderDepth || onPath(path, folder)) return;
    path.push_back(folder);
    for (EntryKey child : adapter_.children(folder)) {
        if (control_.poll()) break;
        sink_.setProgressPos(int64_t(counter));
        if (!adapter_.isWalked(child)) continue;
        const std::string name = trim(adapter_.name(child));
        if (adapter_.isFolder(child)) {
            std::string problem;
            const std::string sub = ensureSubfolder(target, name, problem);
            if (sub.empty()) {
                const uint64_t lost = countFiles(child);
                totals.filesFailed += lost;
                sink_.setStatus(problem);
                continue;
            }
            walk(child, sub, counter, path, totals);
        } else {
            saveOne(child, freeFilePath(target, name), totals);
            ++counter;
        }
    }
    path.pop_back();
}

void SaveWalk::saveOne(EntryKey file, const std::string& target, SaveTotals& totals) {
    sink_.setStatus("saving File  " + target);
    sink_.setDetail(format("File size: %ld kb", long(adapter_.sizeInBytes(file) / 1024)));
    const SaveReport report = adapter_.saveFile(file, target);
    sink_.setDetail("");
    if (!report.saved) {
        ++totals.filesFailed;
        sink_.setStatus("could not save " + target + ": " + report.problem);
        return;
    }
    ++totals.filesSaved;
    if (report.unreadableBlocks > 0 || report.missingBytes > 0) {
        ++totals.filesIncomplete;
        sink_.setStatus(target + ": " + report.problem);
    }
}

SaveTotals SaveWalk::quickSave(TreeItem fileItem, const std::string& outputFolder,
                               const std::function<std::string()>& chooseFolder) {
    SaveTotals totals;
    const EntryKey key = tree_.itemData(fileItem);
    if (!adapter_.isEntry(key) || adapter_.isFolder(key)) return totals;
    std::string folder = outputFolder;
    if (folder.empty() && chooseFolder) folder = chooseFolder();
    if (folder.empty()) return totals;
    control_.clear();
    totals.ran = true;
    const std::string target = freeFilePath(folder, adapter_.name(key));
    saveOne(key, target, totals);
    if (totals.filesSaved == 1)
        sink_.messageBox(format("file is dumped in path  :  %s   ", target.c_str()), kCaption, MsgIcon::Information);
    else
        sink_.messageBox("could not save " + target, kCaption, MsgIcon::Warning);
    return totals;
}

}  // namespace quarvell
