#include "scan/FileSearch.h"

#include <algorithm>

#include "common/TextFormat.h"
#include "scan/FileCount.h"

namespace quarvell {

std::string SearchRow::displayPath() const {
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
        if (i) out.push_back('\\');
        out += path[i];
    }
    return out;
}

FileSearch::Outcome FileSearch::run(const std::string& pattern, const std::function<void(const SearchRow&)>& onRow) {
    hits_ = 0;
    tooComplex_ = 0;
    onRow_ = &onRow;
    if (!pattern.empty()) {
        expression_ = compile(pattern);
        if (!expression_) {
            sink_.messageBox(kInvalidPatternText, kCaption, MsgIcon::Information);
            return Outcome::InvalidPattern;
        }
        const TreeItem top = tree_.rootItem();
        for (TreeItem x = top == kNoItem ? kNoItem : tree_.firstChild(top); x != kNoItem; x = tree_.nextSibling(x)) {
            if (control_.poll()) break;
            const EntryKey key = tree_.itemData(x);
            std::vector<std::string> path{tree_.itemText(top), tree_.itemText(x)};
            if (tree_.firstChild(x) != kNoItem) {
                if (!adapter_.isFolder(key)) continue;
                const uint64_t count = countFiles(adapter_, key);
                sink_.setProgressRange(0, int64_t(count));
                std::vector<EntryKey> onPath;
                searchFolder(key, path, onPath);
                sink_.setProgressPos(int64_t(count));
            } else if (adapter_.isEntry(key)) {
                addRow(key, {tree_.itemText(top)}, adapter_.name(key));
            }
        }
    }
    control_.clear();
    if (tooComplex_ > 0)
        sink_.setStatus(format("%llu names could not be matched within the pattern's step limit and count as no match",
                               static_cast<unsigned long long>(tooComplex_)));
    sink_.messageBox("Searching Finished", kCaption, MsgIcon::Information);
    sink_.setStatus("Searching Finished");
    return Outcome::Finished;
}

void FileSearch::addRow(EntryKey entry, const std::vector<std::string>& folderPath, const std::string& name) {
    const NamePattern::Result result = expression_->search(name);
    if (result == NamePattern::Result::TooComplex) ++tooComplex_;
    if (result != NamePattern::Result::Match) return;
    SearchRow row;
    row.path = folderPath;
    row.path.push_back(name);
    row.entry = entry;
    row.texts = adapter_.texts(entry);
    row.size = adapter_.sizeText(entry);
    ++hits_;
    (*onRow_)(row);
    sink_.setStatus(format("searched file %lld", static_cast<long long>(hits_)));
}

void FileSearch::searchFolder(EntryKey folder, std::vector<std::string>& path, std::vector<EntryKey>& onPath) {
    if (std::find(onPath.begin(), onPath.end(), folder) != onPath.end()) {
        // The volume root listing itself (its ".") is no loss.
        if (onPath.back() != folder || onPath.size() > 1) ++leftOutLoops_;
        return;
    }
    if (onPath.size() >= kMaxFolderDepth) {
        ++leftOutTooDeep_;
        return;
    }
    onPath.push_back(folder);
    for (EntryKey child : adapter_.children(folder)) {
        if (control_.poll()) break;
        if (!adapter_.isWalked(child)) continue;
        if (adapter_.isFolder(child)) {
            path.push_back(trim(adapter_.name(child)));
            searchFolder(child, path, onPath);
            path.pop_back();
        } else if (adapter_.countsAsFile(child)) {
            addRow(child, path, adapter_.name(child));
        }
    }
    onPath.pop_back();
}

}  // namespace quarvell
