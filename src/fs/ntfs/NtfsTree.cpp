// ntfs: the parse pass, entries linked into folders by their parent, ORPHAN_ENTRY, and the top
// level of the result tree.
#include <algorithm>
#include <unordered_map>

#include "fs/ntfs/ntfs.h"

namespace quarvell {

namespace {
constexpr const char* kOrphanName = "ORPHAN_ENTRY";
constexpr size_t kDeepDirectoriesUnderOrphans = 100001;
}  // namespace

// Appends in constant time: the chain keeps its tail.
void ntfs::appendChild(int64_t parent, int64_t child) {
    MftEntry& p = entries_[size_t(parent)];
    entries_[size_t(child)].nextSibling = kNoLink;
    entries_[size_t(child)].parent = parent;
    if (p.firstChild == kNoLink) p.firstChild = child;
    else entries_[size_t(p.lastChild)].nextSibling = child;
    p.lastChild = child;
}

void ntfs::prependToOrphans(int64_t index) {
    MftEntry& o = entries_[size_t(orphanIndex_)];
    MftEntry& e = entries_[size_t(index)];
    e.parent = orphanIndex_;
    e.nextSibling = o.firstChild;
    if (o.firstChild == kNoLink) o.lastChild = index;
    o.firstChild = index;
}

// Hard links: each further long name becomes an entry of its own over the same record.
void ntfs::addHardLinkNames() {
    aliasBase_ = entries_.size();
    for (auto& [index, fn] : extraNames_) {
        MftEntry alias = entries_[size_t(index)];
        alias.name = fn.name;
        alias.parent = fn.parent;
        alias.firstChild = alias.lastChild = alias.nextSibling = kNoLink;
        alias.orphan = false;
        entries_.push_back(alias);
        aliasOf_.push_back(index);
    }
    extraNames_.clear();
}

// Folders whose parents lead back to themselves would be cut off from the root: every member
// of such a loop loses its parent (and becomes an orphan). Linear: each entry is walked once.
void ntfs::breakParentCycles(std::vector<int64_t>& parentOf) const {
    std::vector<uint8_t> state(parentOf.size(), 0);  // 0 unseen, 1 on the current path, 2 done
    std::vector<int64_t> path;
    for (size_t start = 0; start < parentOf.size(); ++start) {
        path.clear();
        int64_t at = int64_t(start);
        while (at != kNoLink && state[size_t(at)] == 0) {
            state[size_t(at)] = 1;
            path.push_back(at);
            at = parentOf[size_t(at)];
        }
        if (at != kNoLink && state[size_t(at)] == 1)
            for (auto it = std::find(path.begin(), path.end(), at); it != path.end(); ++it) parentOf[size_t(*it)] = kNoLink;
        for (int64_t p : path) state[size_t(p)] = 2;
    }
}

// A named entry goes below its parent when the parent is a folder other than itself; otherwise
// it is an orphan. Children follow their record order.
void ntfs::linkStandard() {
    const int64_t n = int64_t(entries_.size()) - 1;  // without ORPHAN_ENTRY
    std::vector<int64_t> parentOf(static_cast<size_t>(n), kNoLink);
    for (int64_t i = 0; i < n; ++i) {
        const MftEntry& e = entries_[size_t(i)];
        const int64_t p = e.parent;
        if (e.named && i != rootIndex_ && p >= 0 && p < n && p != i && uint64_t(p) < aliasBase_ &&
            entries_[size_t(p)].named && entries_[size_t(p)].kind == 'D')
            parentOf[size_t(i)] = p;
    }
    breakParentCycles(parentOf);
    for (int64_t i = 0; i < n; ++i) {
        MftEntry& e = entries_[size_t(i)];
        if (!e.named || i == rootIndex_) continue;
        if (parentOf[size_t(i)] != kNoLink) appendChild(parentOf[size_t(i)], i);
        else e.orphan = true;
    }
    for (int64_t i = 0; i < n; ++i)
        if (entries_[size_t(i)].orphan) prependToOrphans(i);
}

// Deep mode: a record whose header names its number links to the folder record of its parent
// number when the scan found that one; the rest hang, in disk order, below the folder record
// that precedes them, and folders without a found parent below ORPHAN_ENTRY.
void ntfs::linkDeep() {
    const int64_t n = int64_t(entries_.size()) - 1;
    std::unordered_map<int64_t, int64_t> folderByNumber;
    for (int64_t i = 0; i < n; ++i) {
        const MftEntry& e = entries_[size_t(i)];
        if (e.kind == 'D' && e.recordNumber >= 0 && uint64_t(i) < aliasBase_) folderByNumber.emplace(e.recordNumber, i);
    }
    // A root record the scan found: ORPHAN_ENTRY stands in for it, so its children sit at the top.
    int64_t deepRoot = kNoLink;
    for (int64_t i = 0; i < n && deepRoot == kNoLink; ++i) {
        const MftEntry& e = entries_[size_t(i)];
        if (e.named && e.name == "." && e.kind == 'D' && e.recordNumber >= 0) {
            deepRoot = i;
            folderByNumber[e.recordNumber] = orphanIndex_;
        }
    }
    for (int64_t i = 0; i < n; ++i) {
        MftEntry& e = entries_[size_t(i)];
        e.firstChild = e.lastChild = e.nextSibling = kNoLink;
    }
    auto ancestorOf = [&](int64_t folder, int64_t child) {
        // Would linking child below folder close a loop? Bounded by the entry count.
        for (int64_t a = folder, steps = 0; a >= 0 && a != orphanIndex_ && steps <= n; ++steps) {
            if (a == child) return true;
            a = entries_[size_t(a)].parent;
        }
        return false;
    };
    std::vector<int64_t> unplaced, parentNumber(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        parentNumber[size_t(i)] = entries_[size_t(i)].parent;
        entries_[size_t(i)].parent = kNoLink;
    }
    for (int64_t i = 0; i < n; ++i) {
        MftEntry& e = entries_[size_t(i)];
        if (!e.named || i == deepRoot) continue;
        auto it = folderByNumber.find(parentNumber[size_t(i)]);
        if (it != folderByNumber.end() && it->second != i && !ancestorOf(it->second, i)) appendChild(it->second, i);
        else unplaced.push_back(i);
    }
    int64_t lastFolder = kNoLink;
    size_t foldersLinked = 0;
    for (int64_t i : unplaced) {
        MftEntry& e = entries_[size_t(i)];
        if (e.kind == 'D' && foldersLinked < kDeepDirectoriesUnderOrphans) {
            prependToOrphans(i);
            lastFolder = i;
            ++foldersLinked;
            continue;
        }
        const int64_t holder = lastFolder == kNoLink ? orphanIndex_ : lastFolder;
        MftEntry& h = entries_[size_t(holder)];
        e.parent = holder;
        e.nextSibling = h.firstChild;
        if (h.firstChild == kNoLink) h.lastChild = i;
        h.firstChild = i;
    }
}

bool ntfs::buildNtfsTree() {
    if (mftUsable_ && !stopPolled()) parseAllRecords();
    else if (control && control->stopRequested) control->clear();
    addHardLinkNames();

    MftEntry orphan;
    orphan.isRecord = true;
    orphan.named = true;
    orphan.name = kOrphanName;
    orphan.kind = 'D';
    orphan.recordOffset = UINT64_MAX;
    entries_.push_back(orphan);
    orphanIndex_ = int64_t(entries_.size()) - 1;

    rootIndex_ = int64_t(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].named && entries_[i].name == ".") {
            rootIndex_ = int64_t(i);
            break;
        }
    const bool deep = parseMode == ParseMode::Deep;
    if (deep) linkDeep();
    else linkStandard();
    if (!deep && rootIndex_ < orphanIndex_) {
        entries_[size_t(orphanIndex_)].parent = rootIndex_;
        entries_[size_t(orphanIndex_)].recordFlags = kRecordInUse;
        appendChild(rootIndex_, orphanIndex_);
    }
    if (!deep && rootIndex_ >= orphanIndex_) return false;
    fillTopLevel();
    return true;
}

void ntfs::fillTopLevel() {
    if (!tree) return;
    bool orphanShown = false;
    if (parseMode != ParseMode::Deep) {
        size_t steps = 0;
        for (int64_t c = entries_[size_t(rootIndex_)].firstChild; c != kNoLink && steps++ < entries_.size();
             c = entries_[size_t(c)].nextSibling) {
            const MftEntry& e = entries_[size_t(c)];
            const TreeItem item = tree->insertItem(e.name, e.kind == 'D' ? kIconFolder : kIconFile, topItem_, c);
            if (!(e.recordFlags & kRecordInUse)) tree->setTextColor(item, kColorRed);
            if (c == orphanIndex_) orphanShown = true;
        }
    }
    if (!orphanShown) tree->insertItem(kOrphanName, kIconFolder, topItem_, orphanIndex_);
    tree->expand(topItem_);
}

}  // namespace quarvell
