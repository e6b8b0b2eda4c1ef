// ext2Class: naming inodes from directory entries, the entry map, parent/child chains and the
// first tree level.
#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/Utf.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "fs/ext/ExtInline.h"
#include "fs/ext/ext2Class.h"

namespace quarvell {

namespace {
constexpr size_t kStatusEvery = 1024;
constexpr uint64_t kDirectoryReadBytes = 1u << 20;

// The entry under `key` in a vector of entries kept in key order, or nullptr.
template <class Entries>
auto* sortedFind(Entries& entries, int64_t key) {
    auto it = std::lower_bound(entries.begin(), entries.end(), key,
                               [](const ExtInodeEntry& e, int64_t k) { return e.index < k; });
    return it != entries.end() && it->index == key ? &*it : nullptr;
}
}  // namespace

const ExtInodeEntry* ext2Class::findEntry(int64_t key) const {
    if (!index_.empty()) {
        auto at = index_.find(key);
        return at == index_.end() ? nullptr : at->second;
    }
    return sortedFind(map_, key);
}

// The entry an inode's name goes to: its record from the tables, or a new one when the slot
// looked unused (the directory entry's type then decides what it is).
ExtInodeEntry* ext2Class::entryForNaming(int64_t index) {
    if (ExtInodeEntry* listed = sortedFind(entries_, index)) return listed;
    ExtInodeEntry& e = extraNamed_[index];
    if (e.index < 0) {
        e.index = index;
        if (geo_.inodesPerGroup && uint64_t(index) / geo_.inodesPerGroup < groups_.size()) {
            e.tableBlock = groups_[size_t(uint64_t(index) / geo_.inodesPerGroup)].inodeTable;
            e.slot = uint32_t(uint64_t(index) % geo_.inodesPerGroup);
        }
    }
    return &e;
}

// Walks the entries of one directory block (or inline area). The first "." of the whole walk
// (the root's own entry) hangs the root's children under ROOT (key 2) and is itself listed as
// "."; every later "." makes its directory (inode - 1) the current parent; ".." names nothing.
void ext2Class::walkDirectoryBytes(const uint8_t* b, size_t length, bool& firstDot, int64_t& currentParent) {
    const uint64_t count = geo_.inodesCount;
    size_t off = 0;
    while (off + 8 <= length) {
        const uint32_t inode = le32(b + off);
        const uint32_t recLen = le16(b + off + 4);
        uint32_t nameLen;
        uint8_t fileType = 0;
        if (geo_.fileTypeFlag) {
            nameLen = b[off + 6];
            fileType = b[off + 7];
            if (nameLen == 0 || recLen == 0 || inode > count) break;
        } else {
            nameLen = le16(b + off + 6);
            if (nameLen == 0 || recLen == 0 || nameLen > 1024) break;
        }
        if (off + 8 + nameLen > length) break;  // a name past the block is malformed
        const uint32_t ownSize = (8 + nameLen + 3) & ~3u;
        const uint32_t advance = recLen < ownSize + 4 ? ownSize : recLen;
        const char* raw = reinterpret_cast<const char*>(b + off + 8);
        std::string name = controlPictures(std::string(raw, nameLen));

        if (inode >= 1 && inode <= count) {
            const int64_t key = int64_t(inode) - 1;
            if (geo_.fileTypeFlag) {
                ExtInodeEntry* typed = nullptr;
                if (fileType == 1 || fileType == 2 || fileType == 7) typed = entryForNaming(key);
                if (typed) typed->mode = fileType == 2 ? kExtDirectory : fileType == 1 ? kExtRegular : kExtSymlink;
            }
            if (name == "." && firstDot) {
                currentParent = int64_t(inode);
                firstDot = false;
                ExtInodeEntry* e = entryForNaming(key);
                e->name = name;
                e->named = true;
                e->parent = currentParent;
            } else if (name == ".") {
                currentParent = key;
            } else if (name != "..") {
                ExtInodeEntry* e = entryForNaming(key);
                e->name = std::move(name);
                e->named = true;
                e->parent = currentParent;
            }
        }
        off += advance;
    }
}

void ext2Class::walkOneDirectory(const DirectoryInode& dir, bool& firstDot, int64_t& currentParent) {
    // A directory's entries belong to it even when its first block (with ".") cannot be read.
    currentParent = dir.index + 1 == kExtRootKey ? kExtRootKey : dir.index;
    const uint8_t* ino = dir.bytes.data();
    const uint32_t flags = le32(ino + 32);
    const uint64_t size = uint64_t(le32(ino + 4)) | uint64_t(le32(ino + 108)) << 32;
    if (flags & kExtFlagInline) {
        // Inline directories: the parent's inode number, then entries; more in "system.data".
        walkDirectoryBytes(ino + 44, 56, firstDot, currentParent);
        std::vector<uint8_t> more = inlineDataAttribute(dir.bytes.data(), dir.bytes.size());
        if (!more.empty()) walkDirectoryBytes(more.data(), more.size(), firstDot, currentParent);
        return;
    }
    if (le32(ino + 40) == 0) return;
    const uint32_t bs = geo_.blockSize;
    const uint64_t needed = (size + bs - 1) / bs;
    ExtBlockMap map = collectExtBlocks(ino, needed);
    unreadableMetadata_ += map.unreadableBytes;
    std::vector<uint8_t> buf;
    for (const ExtBlockRun& r : map.runs) {
        if (r.kind != ExtBlockRun::Kind::Data) continue;
        // Contiguous blocks are read together; the whole walk reads at most twice the volume's
        // blocks, so maps that share or repeat blocks cannot make it run long.
        for (uint64_t done = 0; done < r.count;) {
            const uint64_t n = std::min<uint64_t>(r.count - done, std::max<uint64_t>(1, kDirectoryReadBytes / bs));
            if (directoryBlocksWalked_ + n > volumeBlocks() * 2 + 16) return;  // bounded work on hostile maps
            directoryBlocksWalked_ += n;
            buf.resize(size_t(n * bs));
            unreadableMetadata_ += readSalvaging(*reader, int64_t((r.physical + done) * bs), buf.data(),
                                                 uint32_t(n * bs), 512);
            for (uint64_t k = 0; k < n; ++k) walkDirectoryBytes(buf.data() + k * bs, bs, firstDot, currentParent);
            done += n;
        }
    }
}

bool ext2Class::walkDirectories() {
    const int64_t total = int64_t(entries_.size());
    progressRange(total);
    bool firstDot = true;
    int64_t currentParent = kExtRootKey;
    size_t next = 0;  // position of the directory in the entry list, for progress
    for (size_t i = 0; i < directories_.size(); ++i) {
        if (stopPolled()) break;
        const DirectoryInode& dir = directories_[i];
        while (next < entries_.size() && entries_[next].index < dir.index) ++next;
        if (i % kStatusEvery == 0)
            status(format("parsing inode entry %d  of %d ", int(next + 1), int(total)));
        progressPos(int64_t(next + 1));
        walkOneDirectory(dir, firstDot, currentParent);
    }
    status(format("parsed inode entry %d  of %d ", int(total), int(total)));
    progressPos(total);
    if (control) control->clear();
    return !entries_.empty();
}

bool ext2Class::buildExtEntryMap() {
    status("clearing vector....");
    index_.clear();
    map_.clear();
    // Both sources are in key order and share no key: a merge keeps the map sorted.
    size_t named = 0;
    for (const ExtInodeEntry& e : entries_) named += e.named;
    map_.reserve(named + extraNamed_.size() + deleted_.size() + 1);
    auto extra = extraNamed_.begin();
    auto takeExtrasBefore = [&](int64_t key) {
        for (; extra != extraNamed_.end() && extra->first < key; ++extra)
            if (extra->second.named) map_.push_back(std::move(extra->second));
    };
    for (ExtInodeEntry& e : entries_) {
        if (!e.named) continue;
        takeExtrasBefore(e.index);
        map_.push_back(std::move(e));
    }
    takeExtrasBefore(INT64_MAX);
    for (ExtInodeEntry& e : deleted_) map_.push_back(std::move(e));
    deleted_.clear();
    ExtInodeEntry root;
    root.name = rootName;
    root.named = true;
    root.index = kExtRootKey;
    root.mode = root.inodeMode = kExtDirectory;
    auto at = std::lower_bound(map_.begin(), map_.end(), kExtRootKey,
                               [](const ExtInodeEntry& e, int64_t k) { return e.index < k; });
    if (at != map_.end() && at->index == kExtRootKey) *at = std::move(root);
    else map_.insert(at, std::move(root));
    // The Part's empty entry under (entry count - 1) is not stored: it would replace a real
    // inode's entry and holds nothing.
    entries_.clear();
    entries_.shrink_to_fit();
    extraNamed_.clear();
    directories_.clear();
    directories_.shrink_to_fit();
    return true;
}

// Every entry joins its parent's chain at the head, in key order, so a folder lists its
// children in descending inode order. The chain's end is never searched: linear time.
bool ext2Class::linkExtParentChild() {
    status("Maintaining Parent Child....");
    const size_t total = map_.size();
    progressRange(int64_t(total));
    size_t i = 0;
    for (ExtInodeEntry& e : map_) {
        if (stopPolled()) break;
        if (i % kStatusEvery == 0 || i + 1 == total)
            status(format("Maintaining Parent Child for record %d of %d....", int(i), int(total)));
        progressPos(int64_t(++i));
        if (e.parent < 1) continue;
        ExtInodeEntry* p = sortedFind(map_, e.parent);
        if (!p || p->index == e.index) continue;
        e.nextSibling = p->firstChild;
        p->firstChild = e.index;
    }
    if (control) control->clear();
    return true;
}

bool ext2Class::isRootDot(int64_t key) const {
    const ExtInodeEntry* e = key == kExtRootKey - 1 ? findEntry(key) : nullptr;
    return e && e->name == ".";
}

bool ext2Class::fillExtRootEntries() {
    status("filling root entries in  tree....");
    index_.reserve(map_.size());
    for (const ExtInodeEntry& e : map_) index_.emplace(e.index, &e);
    const ExtInodeEntry* root = findEntry(kExtRootKey);
    if (!tree || !root) return false;
    topItem_ = tree->insertItem(root->name, kIconFolder, kNoItem, kExtRootKey);
    size_t guard = 0;
    for (int64_t k = root->firstChild; k > 0 && guard++ <= map_.size();) {
        const ExtInodeEntry* e = findEntry(k);
        if (!e) break;
        if (!e->name.empty() && !isRootDot(k)) {
            const uint16_t type = e->mode & kExtTypeMask;
            if (type == kExtDirectory) tree->insertItem(e->name, kIconFolder, topItem_, k);
            else if (type == kExtRegular || type == kExtSymlink) tree->insertItem(e->name, kIconFile, topItem_, k);
        }
        k = e->nextSibling;
    }
    tree->expand(topItem_);
    return true;
}

}  // namespace quarvell
