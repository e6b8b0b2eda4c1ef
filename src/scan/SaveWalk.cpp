#include "scan/SaveWalk.h"

#include <algorithm>

#include "common/TextFormat.h"
#include "fs/OutputPath.h"
#include "fs/RunWriter.h"
#include "scan/FileCount.h"
#include "scan/FolderDepth.h"

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
    std::vector<std::string> names;
    walk(folder, outputFolder, counter, path, names, totals);
    sink_.setProgressPos(int64_t(n));
    if (totals.filesFailed > 0)
        sink_.setStatus(format("%llu files could not be saved", static_cast<unsigned long long>(totals.filesFailed)));
    reportLeftOut(totals);
    sink_.messageBox("work done", kCaption, MsgIcon::Information);
    return totals;
}

void SaveWalk::walk(EntryKey folder, const std::string& target, uint64_t& counter, std::vector<EntryKey>& path,
                    std::vector<std::string>& names, SaveTotals& totals) {
    path.push_back(folder);
    for (EntryKey child : adapter_.children(folder)) {
        if (control_.poll()) break;
        sink_.setProgressPos(int64_t(counter));
        if (!adapter_.isWalked(child)) continue;
        const std::string shown = adapter_.name(child);
        const std::string name = trim(shown);
        if (adapter_.isFolder(child)) {
            if (onPath(path, child)) {
                // The volume root listing itself (its ".") is no loss.
                const bool rootDot = child == folder && tree_.rootItem() != kNoItem &&
                                     child == tree_.itemData(tree_.rootItem());
                if (!rootDot) ++totals.leftOutCycles;
                continue;
            }
            if (path.size() >= kMaxFolderDepth) {
                totals.leftOutTooDeep += 1 + countFiles(child);
                continue;
            }
            std::string problem;
            const std::string sub = ensureSubfolder(target, name, problem);
            if (sub.empty()) {
                totals.filesFailed += countFiles(child);
                sink_.setStatus(problem);
                continue;
            }
            names.push_back(shown);
            walk(child, sub, counter, path, names, totals);
            names.pop_back();
        } else if (!adapter_.isSaved(child)) {
            showUnsaved(child, target, name);
            ++counter;
        } else {
            names.push_back(shown);
            saveOne(child, folder, target, names, totals);
            names.pop_back();
            ++counter;
        }
    }
    path.pop_back();
}

void SaveWalk::showUnsaved(EntryKey file, const std::string& folder, const std::string& name) {
    sink_.setStatus("saving File  " + childPath(folder, safeComponent(name)));
    sink_.setDetail(format("File size: %ld kb", long(adapter_.sizeInBytes(file) / 1024)));
    sink_.setDetail("");
}

SaveReport SaveWalk::saveOne(EntryKey file, EntryKey parent, const std::string& folder,
                             std::vector<std::string>& names, SaveTotals& totals) {
    const std::string name = trim(names.empty() ? adapter_.name(file) : names.back());
    sink_.setStatus("saving File  " + childPath(folder, safeComponent(name)));
    sink_.setDetail(format("File size: %ld kb", long(adapter_.sizeInBytes(file) / 1024)));
    RunWriter writer(control_, sha256_ || (onDetail_ && detailSha256_));
    const FileData data = adapter_.fileData(file);
    const SaveReport report = writer.save(data, folder, name);
    sink_.setDetail("");
    if (onFile_) onFile_(names, report);
    if (onDetail_) onDetail_(SavedFile{names, file, adapter_.isDeleted(file, parent), data, report});
    if (!report.saved()) {
        ++totals.filesFailed;
        sink_.setStatus("could not save " + childPath(folder, safeComponent(name)) + ": " + report.problem);
        return report;
    }
    ++totals.filesSaved;
    if (report.status == SaveStatus::Incomplete) {
        ++totals.filesIncomplete;
        sink_.setStatus(report.outputPath + ": " + report.problem);
    }
    return report;
}

void SaveWalk::reportLeftOut(const SaveTotals& totals) {
    if (totals.leftOutTooDeep > 0)
        sink_.setStatus(format("%llu entries below the folder-depth limit of %zu were left out",
                               static_cast<unsigned long long>(totals.leftOutTooDeep), kMaxFolderDepth));
    if (totals.leftOutCycles > 0)
        sink_.setStatus(format("%llu folders that contain themselves were not entered again",
                               static_cast<unsigned long long>(totals.leftOutCycles)));
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
    if (!adapter_.isSaved(key)) {
        const std::string name = trim(adapter_.name(key));
        showUnsaved(key, folder, name);
        sink_.setStatus(name + " is left out of saves");
        return totals;
    }
    std::vector<std::string> names{adapter_.name(key)};
    const TreeItem parentItem = tree_.parentItem(fileItem);
    const EntryKey parent = parentItem != kNoItem ? tree_.itemData(parentItem) : kNoData;
    const SaveReport report = saveOne(key, parent, folder, names, totals);
    if (report.saved())
        sink_.messageBox(format("file is dumped in path  :  %s   ", report.outputPath.c_str()), kCaption,
                         MsgIcon::Information);
    else
        sink_.messageBox("could not save " + childPath(folder, safeComponent(trim(names.back()))), kCaption,
                         MsgIcon::Warning);
    return totals;
}

}  // namespace quarvell
