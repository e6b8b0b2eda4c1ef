// HFSP: catalog records to entries, parent/child linking, the first tree level and the texts.
#include <algorithm>
#include <unordered_map>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/Utf.h"
#include "common/WorkerControl.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsTexts.h"

namespace quarvell {

namespace {
constexpr uint64_t kRootFolderId = 2;
constexpr size_t kFolderRecordBytes = 88;
constexpr size_t kFileRecordBytes = 248;
constexpr size_t kStatusEvery = 1024;

// The folder, under the root, that keeps entries whose own parents cannot hold them.
HfsCatalogEntry orphanFolder(uint64_t id) {
    HfsCatalogEntry orphan;
    orphan.kind = kHfsFolder;
    orphan.parentId = kRootFolderId;
    orphan.id = id;
    orphan.name = "ORPHAN_ENTRY";
    return orphan;
}
}  // namespace

const HfsCatalogEntry* HFSP::findEntry(uint64_t id) const {
    if (!entryIndex_.empty()) {
        auto at = entryIndex_.find(id);
        return at == entryIndex_.end() ? nullptr : at->second;
    }
    auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : &it->second;
}

bool HFSP::parseCatalogLeaves() {
    const uint32_t nodeSize = catalog_.nodeSize;
    if (nodeSize == 0) return true;
    std::vector<uint8_t> node(nodeSize);
    progressRange(int64_t(catalogNodes_.size()));
    for (size_t i = 0; i < catalogNodes_.size(); ++i) {
        const HfsNodeRecord& r = catalogNodes_[i];
        if (r.kind != -1) continue;
        if (stopPolled()) break;
        progressPos(int64_t(i));
        unreadableMetadata_ += readBlocks(r.byteOffset, node.data(), nodeSize);
        parseLeaf(r, node.data(), i < catalogNodeLinked_.size() && catalogNodeLinked_[i]);
    }
    if (control) control->clear();
    return true;
}

// Turns the folder and file records of one leaf into entries. A record in a linked leaf
// replaces one found earlier in an unlinked node; otherwise the first record of an ID wins.
void HFSP::parseLeaf(const HfsNodeRecord& r, const uint8_t* node, bool linked) {
    const size_t nodeSize = catalog_.nodeSize;
    for (uint16_t o : r.recordOffsets) {
        if (size_t(o) + 8 > nodeSize) continue;
        const uint8_t* key = node + o;
        const uint16_t keyLength = be16(key);
        const uint32_t parentId = be32(key + 2);
        const uint16_t nameLength = be16(key + 6);
        if (nameLength < 1 || nameLength > 255 || size_t(o) + 8 + 2 * size_t(nameLength) > nodeSize) continue;
        const size_t dataAt = size_t(o) + 2 + keyLength;
        if (dataAt + 2 > nodeSize) continue;
        const uint8_t* rec = node + dataAt;
        const uint16_t type = be16(rec);
        if (type != kHfsFolder && type != kHfsFile) continue;
        if (dataAt + (type == kHfsFolder ? kFolderRecordBytes : kFileRecordBytes) > nodeSize) continue;

        HfsCatalogEntry e;
        e.kind = type;
        e.parentId = parentId;
        e.id = be32(rec + 8);
        if (type == kHfsFolder ? e.id == 0 : int32_t(e.id) < 1) continue;
        auto existing = entries_.find(e.id);
        if (existing != entries_.end() && (existing->second.inLinkedLeaf || !linked)) continue;

        e.name = controlPictures(utf16beToUtf8(key + 8, nameLength));
        e.nodeOffset = r.byteOffset;
        e.recordOffset = o;
        e.inLinkedLeaf = linked;
        e.createDate = be32(rec + 12);
        e.contentModDate = be32(rec + 16);
        e.attributeModDate = be32(rec + 20);
        e.accessDate = be32(rec + 24);
        e.fileMode = be16(rec + 42);
        if (type == kHfsFile) {
            e.logicalSize = be64(rec + 88);
            e.totalBlocks = be32(rec + 100);
            for (size_t k = 0; k < 8; ++k) {
                HfsExtent x{be32(rec + 104 + 8 * k), be32(rec + 108 + 8 * k)};
                if (x.startBlock != 0) e.extents.push_back(x);
            }
        }
        if (existing != entries_.end()) existing->second = std::move(e);
        else entries_.emplace(e.id, std::move(e));
    }
}

bool HFSP::linkParentChild() {
    status("Maintaining Parent Child....");
    progressRange(int64_t(entries_.size()));
    if (!deepMode_ || entries_.empty()) {
        keepLoopedFolders();
        linkNormal();
    }
    else linkDeep();
    if (control) control->clear();
    return true;
}

// Folders whose parents lead back to themselves (one parented to itself, two parented to each
// other) never reach the root and would vanish with their files: each loop is broken at its
// lowest ID, which is kept under "ORPHAN_ENTRY" at the top level. Each folder is walked once.
void HFSP::keepLoopedFolders() {
    std::unordered_map<uint64_t, uint8_t> mark;  // 1: on the current walk, 2: settled
    std::vector<uint64_t> chain, broken;
    for (const auto& [id, e] : entries_) {
        if (e.kind != kHfsFolder || mark.count(id)) continue;
        chain.clear();
        uint64_t at = id;
        for (;;) {
            if (at == kRootFolderId) break;
            auto it = entries_.find(at);
            if (it == entries_.end() || it->second.kind != kHfsFolder) break;
            uint8_t& m = mark[at];
            if (m == 2) break;
            if (m == 1) {
                const auto from = std::find(chain.begin(), chain.end(), at);
                broken.push_back(*std::min_element(from, chain.end()));
                break;
            }
            m = 1;
            chain.push_back(at);
            at = it->second.parentId;
        }
        for (uint64_t c : chain) mark[c] = 2;
    }
    if (broken.empty()) return;
    orphanId_ = entries_.rbegin()->first + 1;
    entries_.emplace(orphanId_, orphanFolder(orphanId_));
    for (uint64_t id : broken) entries_.at(id).parentId = orphanId_;
    status(format("%zu folders in parent loops are kept under ORPHAN_ENTRY", broken.size()));
}

// Every entry joins its parent's chain at the head, so a folder lists its children in
// descending ID order. The chain's end is never searched: linking takes linear time.
void HFSP::linkNormal() {
    const size_t total = entries_.size();
    size_t i = 0;
    for (auto& [id, e] : entries_) {
        if (stopPolled()) break;
        if (i % kStatusEvery == 0 || i + 1 == total)
            status(format("Maintaining Parent Child for record %d of %d....", int(i), int(total)));
        progressPos(int64_t(++i));
        if (e.parentId == 0) continue;
        auto pit = entries_.find(e.parentId);
        if (pit == entries_.end()) continue;
        HfsCatalogEntry& p = pit->second;
        if (p.kind != kHfsFolder || p.id == e.id) continue;
        if (p.firstChild < 1) {
            p.firstChild = int64_t(e.id);
            continue;
        }
        const HfsCatalogEntry* c = findEntry(uint64_t(p.firstChild));
        if (!c) continue;
        // A chain of two or more never takes the parent's own parent (a two-folder loop).
        if (c->nextSibling >= 1 && p.parentId == e.id) continue;
        e.nextSibling = p.firstChild;
        p.firstChild = int64_t(e.id);
    }
}

// Deep mode: every folder hangs flat under "ORPHAN_ENTRY" (newest ID first), every file under the
// nearest folder before it in ID order, or under "ORPHAN_ENTRY" when no folder precedes it.
void HFSP::linkDeep() {
    const uint64_t largest = entries_.rbegin()->first;
    orphanId_ = largest + 1;
    if (largest > 1) entries_.emplace(orphanId_, orphanFolder(orphanId_));
    HfsCatalogEntry* orphan = largest > 1 ? &entries_.at(orphanId_) : nullptr;
    uint64_t previousFolder = orphanId_;
    for (auto& [id, e] : entries_) {
        if (id == orphanId_) continue;
        if (stopPolled()) break;
        if (e.kind == kHfsFile) {
            auto f = entries_.find(previousFolder);
            if (f == entries_.end()) continue;
            e.nextSibling = f->second.firstChild;
            f->second.firstChild = int64_t(id);
        } else if (orphan) {
            // The first folder keeps the files that were listed under the orphan entry before it.
            e.nextSibling = orphan->firstChild;
            orphan->firstChild = int64_t(id);
            e.parentId = orphanId_;
            previousFolder = id;
        }
    }
}

bool HFSP::populateTopLevel() {
    entryIndex_.reserve(entries_.size());
    for (const auto& [id, e] : entries_) entryIndex_.emplace(id, &e);
    size_t i = 0;
    for (const auto& [id, e] : entries_) {
        if (stopPolled()) break;
        if (e.parentId == kRootFolderId) {
            const bool folder = e.kind == kHfsFolder;
            status(format(folder ? "found folder at Node %lld" : "found file at Node %lld", static_cast<long long>(i)));
            if (tree) tree->insertItem(e.name, folder ? kIconFolder : kIconFile, topItem_, int64_t(id));
        }
        ++i;
    }
    if (tree && topItem_ != kNoItem) tree->expand(topItem_);
    if (control) control->clear();
    return true;
}

std::string HFSP::formatHfsEntrySize(const HfsCatalogEntry& e) const { return sizeText(e.logicalSize); }

EntryTexts HFSP::formatHfsEntryTimes(const HfsCatalogEntry& e) const {
    if (e.kind != kHfsFile) return {};
    return {hfsDateText(e.createDate), hfsDateText(e.accessDate), hfsDateText(e.contentModDate),
            hfsAttributeText(e.fileMode)};
}

}  // namespace quarvell
