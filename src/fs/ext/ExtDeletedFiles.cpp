// ext2Class, deep mode: deleted files and folders brought back through the journal. The kernel
// clears a deleted inode's block map, but the journal keeps older copies of its inode table
// block (and of its extent or indirect blocks) from while it was in use; the names come from
// the directory entries that the journal's copies of directory blocks and the slack of the
// volume's own directory blocks still hold.
#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "fs/ext/ExtDirectoryRecords.h"
#include "fs/ext/ExtInline.h"
#include "fs/ext/ExtJournal.h"
#include "fs/ext/ExtOrphanNames.h"
#include "fs/ext/ext2Class.h"

namespace quarvell {

namespace {

constexpr const char* kOrphanName = "ORPHAN_ENTRY";
constexpr uint16_t kExtentMagic = 0xF30A;
constexpr uint16_t kGroupBlocksUninit = 0x2;
constexpr int64_t kOnVolume = INT64_MAX;  // the age of a name read from the volume's own block

struct InodeFields {
    uint16_t mode = 0;
    uint16_t links = 0;
    uint32_t flags = 0;
    uint64_t size = 0;
    uint32_t dtime = 0;
    uint32_t generation = 0;
};

InodeFields fieldsOf(const uint8_t* p) {
    InodeFields f;
    f.mode = le16(p);
    f.size = uint64_t(le32(p + 4)) | uint64_t(le32(p + 108)) << 32;
    f.dtime = le32(p + 20);
    f.links = le16(p + 26);
    f.flags = le32(p + 32);
    f.generation = le32(p + 100);
    return f;
}

// An inode worth giving back: a file, folder or link with content and a map that can reach it.
bool recoverable(const uint8_t* p, const InodeFields& f, uint64_t volumeBlocks) {
    const uint16_t type = f.mode & kExtTypeMask;
    if (f.links == 0 || f.size == 0) return false;
    if (type != kExtRegular && type != kExtDirectory && type != kExtSymlink) return false;
    if (f.flags & kExtFlagInline) return true;
    const uint8_t* area = p + 40;
    if (f.flags & kExtFlagExtents) return le16(area) == kExtentMagic && le16(area + 2) > 0 && le16(area + 6) <= 5;
    if (type == kExtSymlink && f.size < 60) return true;  // the target is in the block area
    bool any = false;
    for (int i = 0; i < 15; ++i) {
        const uint32_t w = le32(area + 4 * i);
        if (w >= volumeBlocks) return false;
        any = any || w != 0;
    }
    return any;
}

// One state of an inode in one journal copy.
struct Seen {
    int64_t age;
    uint32_t generation;
    bool inUse;
    uint32_t dtime;
};

struct Found {
    int64_t age = 0;
    std::vector<uint8_t> bytes;
};

struct NameSeen {
    std::string name;
    uint32_t folder;  // inode of the directory the entry was in; 0 when not known
    uint8_t fileType;
    int64_t age;
};

uint8_t direntType(uint16_t mode) {
    switch (mode & kExtTypeMask) {
        case kExtDirectory: return 2;
        case kExtSymlink: return 7;
        default: return 1;
    }
}

// The name an inode had when it was deleted: the newest entry naming it in a directory block
// from this generation's time in the journal (no older than its oldest copy, older than its
// deletion); else one the volume's own blocks keep. Other names are an earlier or later file's.
const NameSeen* chooseName(const std::vector<NameSeen>& names, uint8_t type, int64_t bornAge, int64_t deletedAge) {
    const NameSeen* during = nullptr;
    const NameSeen* onVolume = nullptr;
    for (const NameSeen& n : names) {
        if (n.fileType != 0 && n.fileType != type) continue;
        if (n.age == kOnVolume) {
            if (!onVolume) onVolume = &n;
        } else if (n.age >= bornAge && n.age < deletedAge && (!during || n.age >= during->age)) {
            during = &n;
        }
    }
    return during ? during : onVolume;
}

}  // namespace

const ExtInodeEntry* ext2Class::liveEntry(int64_t index) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), index,
                               [](const ExtInodeEntry& e, int64_t k) { return e.index < k; });
    if (it != entries_.end() && it->index == index) return &*it;
    auto extra = extraNamed_.find(index);
    return extra == extraNamed_.end() ? nullptr : &extra->second;
}

ExtMapBlockSource ext2Class::journalMapSource(int64_t age) const {
    std::shared_ptr<const ExtJournal> journal = journal_;
    return [journal, age](uint64_t block, bool extentNode, std::vector<uint8_t>& out) {
        const std::vector<JournalCopy>* list = journal ? journal->copiesOf(block) : nullptr;
        if (!list) return false;
        auto usable = [&](const JournalCopy& c) {
            if (!journal->readCopy(c, out)) return false;
            if (extentNode) return le16(out.data()) == kExtentMagic && le16(out.data() + 2) > 0;
            return std::any_of(out.begin(), out.end(), [](uint8_t b) { return b != 0; });
        };
        // The map as it was with the inode's copy, else as it was soonest after.
        for (const JournalCopy& c : *list)
            if (c.age <= age && usable(c)) return true;
        for (auto c = list->rbegin(); c != list->rend(); ++c)
            if (c->age > age && usable(*c)) return true;
        return false;
    };
}

// Whether the volume counts a block as allocated now (the newest journal copy of its bitmap
// when a replay is still due). A bitmap that cannot be read counts everything as allocated.
bool ext2Class::blockInUseNow(uint64_t block) const {
    if (geo_.blocksPerGroup == 0 || block < geo_.firstDataBlock) return true;
    const uint64_t rel = block - geo_.firstDataBlock;
    const uint64_t group = rel / geo_.blocksPerGroup;
    if (group >= groups_.size()) return true;
    const ExtGroup& g = groups_[size_t(group)];
    if (geo_.groupChecksums && (g.flags & kGroupBlocksUninit)) return false;
    auto it = bitmaps_.find(group);
    if (it == bitmaps_.end()) {
        std::vector<uint8_t> bits;
        if (g.blockBitmap != 0 && g.blockBitmap < volumeBlocks()) {
            const std::vector<JournalCopy>* copies = journal_ ? journal_->copiesOf(g.blockBitmap) : nullptr;
            if (!(copies && journal_->newerThanVolume(copies->front()) && journal_->readCopy(copies->front(), bits))) {
                bits.assign(geo_.blockSize, 0);
                if (readSalvaging(*reader, int64_t(g.blockBitmap * geo_.blockSize), bits.data(), geo_.blockSize, 512) != 0)
                    bits.clear();
            }
        }
        it = bitmaps_.emplace(group, std::move(bits)).first;
    }
    const uint64_t bit = rel % geo_.blocksPerGroup;
    if (bit / 8 >= it->second.size()) return true;
    return (it->second[size_t(bit / 8)] >> (bit % 8)) & 1;
}

bool ext2Class::recoverFromJournal() {
    status("reading the journal....");
    auto journal = std::make_shared<ExtJournal>();
    if (!journal->load(*this)) {
        status(journal->problem());
        return false;
    }
    journal_ = journal;
    const uint32_t bs = geo_.blockSize, isz = geo_.inodeSize;
    const uint64_t volBlocks = volumeBlocks();
    const uint64_t tableBlocks = (uint64_t(geo_.inodesPerGroup) * isz + bs - 1) / bs;

    // Inode table blocks by where they lie.
    std::vector<std::pair<uint64_t, uint64_t>> tables;  // first block, group
    for (uint64_t g = 0; g < groups_.size(); ++g)
        if (groups_[g].inodeTable != 0) tables.push_back({groups_[g].inodeTable, g});
    std::sort(tables.begin(), tables.end());
    auto firstInodeOf = [&](uint64_t block, uint64_t& index) {
        auto it = std::upper_bound(tables.begin(), tables.end(), std::make_pair(block, UINT64_MAX));
        if (it == tables.begin()) return false;
        --it;
        if (block >= it->first + tableBlocks) return false;
        index = it->second * geo_.inodesPerGroup + (block - it->first) * (bs / isz);
        return true;
    };

    // 1. Every state of every inode the journal's copies of the inode tables hold.
    std::map<std::pair<uint32_t, uint32_t>, Found> found;  // (inode, generation) -> newest in use
    std::unordered_map<uint32_t, std::vector<Seen>> history;
    // Folders small enough to live in their inode keep their entries there.
    struct InlineNames {
        ExtDirectoryBlock dir;
        uint32_t folder;
        int64_t age;
    };
    std::vector<InlineNames> inlineNames;
    std::vector<uint8_t> copy;
    for (const auto& [block, list] : journal->copies()) {
        if (stopPolled()) break;
        uint64_t firstIndex = 0;
        if (!firstInodeOf(block, firstIndex)) continue;
        for (const JournalCopy& c : list) {
            if (!journal->readCopy(c, copy)) continue;
            for (uint32_t s = 0; s < bs / isz && firstIndex + s < geo_.inodesCount; ++s) {
                const uint8_t* p = copy.data() + size_t(s) * isz;
                const InodeFields f = fieldsOf(p);
                if (f.mode == 0 && f.links == 0) continue;
                const uint32_t inode = uint32_t(firstIndex + s + 1);
                const bool inUse = recoverable(p, f, volBlocks);
                history[inode].push_back({c.age, f.generation, f.links > 0, f.links == 0 ? f.dtime : 0});
                if (!inUse) continue;
                if ((f.mode & kExtTypeMask) == kExtDirectory && (f.flags & kExtFlagInline)) {
                    inlineNames.push_back({readDirectoryBlock(p + 44, 56, geo_.inodesCount, geo_.fileTypeFlag), inode, c.age});
                    const std::vector<uint8_t> more = inlineDataAttribute(p, isz);
                    if (!more.empty())
                        inlineNames.push_back(
                            {readDirectoryBlock(more.data(), more.size(), geo_.inodesCount, geo_.fileTypeFlag), inode, c.age});
                }
                Found& best = found[{inode, f.generation}];
                if (best.bytes.empty() || c.age > best.age) best = {c.age, std::vector<uint8_t>(p, p + isz)};
            }
        }
    }

    // 2. Those that are not the inode's present file: free now, or in use by another generation.
    struct Deleted {
        uint32_t inode;
        int64_t age;
        int64_t bornAge;  // of its generation's oldest copy
        int64_t deletedAge;
        uint32_t dtime;
        std::vector<uint8_t> bytes;
    };
    std::vector<Deleted> deleted;
    for (auto& [id, f] : found) {
        const auto [inode, generation] = id;
        const std::vector<uint8_t> live = readInode(int64_t(inode) - 1);
        const InodeFields now = live.empty() ? InodeFields{} : fieldsOf(live.data());
        const bool freeNow = now.links == 0 || now.mode == 0;
        if (!freeNow && now.generation == generation) continue;
        Deleted d{inode, f.age, f.age, kOnVolume - 1, 0, std::move(f.bytes)};
        for (const Seen& s : history[inode]) {
            if (s.generation == generation) d.bornAge = std::min(d.bornAge, s.age);
            if (s.age > d.age && (s.generation != generation || !s.inUse) && s.age < d.deletedAge) {
                d.deletedAge = s.age;
                d.dtime = s.generation == generation ? s.dtime : 0;
            }
        }
        if (freeNow && now.generation == generation && now.dtime != 0) d.dtime = now.dtime;
        deleted.push_back(std::move(d));
    }
    history.clear();
    found.clear();

    // 3. Which directory owns which block: the folders in use, then the deleted ones.
    std::unordered_map<uint64_t, uint32_t> owner;
    std::unordered_set<uint64_t> liveDirectoryBlocks;
    for (const DirectoryInode& dir : directories_) {
        if (stopPolled()) break;
        const uint8_t* ino = dir.bytes.data();
        if (le32(ino + 32) & kExtFlagInline) continue;
        const uint64_t size = uint64_t(le32(ino + 4)) | uint64_t(le32(ino + 108)) << 32;
        for (const ExtBlockRun& r : collectExtBlocks(ino, (size + bs - 1) / bs).runs)
            if (r.kind == ExtBlockRun::Kind::Data)
                for (uint64_t i = 0; i < r.count; ++i) {
                    owner.emplace(r.physical + i, uint32_t(dir.index + 1));
                    liveDirectoryBlocks.insert(r.physical + i);
                }
    }
    std::vector<ExtBlockMap> maps(deleted.size());
    for (size_t i = 0; i < deleted.size() && !stopPolled(); ++i) {
        const InodeFields f = fieldsOf(deleted[i].bytes.data());
        if ((f.flags & kExtFlagInline) || ((f.mode & kExtTypeMask) == kExtSymlink && f.size < 60 &&
                                           !(f.flags & kExtFlagExtents)))
            continue;
        const ExtMapBlockSource source = journalMapSource(deleted[i].age);
        maps[i] = collectExtBlocks(deleted[i].bytes.data(), (f.size + bs - 1) / bs, &source);
        if ((f.mode & kExtTypeMask) == kExtDirectory)
            for (const ExtBlockRun& r : maps[i].runs)
                if (r.kind == ExtBlockRun::Kind::Data)
                    for (uint64_t k = 0; k < r.count; ++k) owner.emplace(r.physical + k, deleted[i].inode);
    }

    // 4. Every name the journal's directory blocks and the volume's own ones give a deleted inode.
    std::unordered_map<uint32_t, std::vector<NameSeen>> names;
    for (const Deleted& d : deleted) names[d.inode];
    auto collect = [&](const ExtDirectoryBlock& dir, uint64_t block, int64_t age, bool slackOnly, uint32_t folder = 0) {
        if (!dir.valid) return;
        if (folder == 0) folder = dir.selfInode;
        if (folder == 0) {
            auto o = owner.find(block);
            if (o != owner.end()) folder = o->second;
        }
        for (const ExtNameRecord& r : dir.records) {
            if (slackOnly && !r.inSlack) continue;
            auto n = names.find(r.inode);
            if (n != names.end()) n->second.push_back({r.name, folder, r.fileType, age});
        }
    };
    for (const InlineNames& n : inlineNames) collect(n.dir, 0, n.age, false, n.folder);
    inlineNames.clear();
    for (const auto& [block, list] : journal->copies()) {
        if (stopPolled()) break;
        uint64_t unused = 0;
        if (firstInodeOf(block, unused)) continue;
        for (const JournalCopy& c : list)
            if (journal->readCopy(c, copy))
                collect(readDirectoryBlock(copy.data(), bs, geo_.inodesCount, geo_.fileTypeFlag), block, c.age, false);
    }
    std::vector<uint64_t> ownBlocks;
    ownBlocks.reserve(owner.size());
    for (const auto& [block, dir] : owner) ownBlocks.push_back(block);
    std::sort(ownBlocks.begin(), ownBlocks.end());
    copy.assign(bs, 0);
    for (uint64_t block : ownBlocks) {
        if (stopPolled()) break;
        const bool live = liveDirectoryBlocks.count(block) != 0;
        if (!live && blockInUseNow(block)) continue;  // a deleted folder's block, used again
        if (readSalvaging(*reader, int64_t(block * bs), copy.data(), bs, 512) != 0) continue;
        collect(readDirectoryBlock(copy.data(), bs, geo_.inodesCount, geo_.fileTypeFlag), block, kOnVolume, live);
    }

    // 5. The entries, keyed after every inode; ORPHAN_ENTRY first.
    const int64_t orphanKey = int64_t(geo_.inodesCount) + 1;
    const int64_t firstKey = orphanKey + 1;
    std::unordered_map<uint32_t, int64_t> deletedFolder;  // inode -> key of its newest deleted folder
    std::vector<const NameSeen*> chosen(deleted.size(), nullptr);
    for (size_t i = 0; i < deleted.size(); ++i) {
        const InodeFields f = fieldsOf(deleted[i].bytes.data());
        chosen[i] = chooseName(names[deleted[i].inode], direntType(f.mode), deleted[i].bornAge, deleted[i].deletedAge);
        if ((f.mode & kExtTypeMask) != kExtDirectory) continue;
        auto [it, fresh] = deletedFolder.emplace(deleted[i].inode, firstKey + int64_t(i));
        if (!fresh && deleted[size_t(it->second - firstKey)].age < deleted[i].age) it->second = firstKey + int64_t(i);
    }
    auto parentKeyOf = [&](uint32_t folder, int64_t self) -> int64_t {
        if (folder == 2) return kExtRootKey;
        if (folder == 0) return orphanKey;
        const ExtInodeEntry* live = liveEntry(int64_t(folder) - 1);
        if (live && live->named && (live->mode & kExtTypeMask) == kExtDirectory && live->links > 0) return folder - 1;
        auto d = deletedFolder.find(folder);
        return d != deletedFolder.end() && d->second != self ? d->second : orphanKey;
    };
    ExtOrphanNames orphanNames;
    struct Claim {
        uint64_t first, count;
        size_t entry;
    };
    std::vector<Claim> claims;  // every data run of every deleted file
    deleted_.clear();
    recovered_.clear();
    bool anyOrphan = false;
    for (size_t i = 0; i < deleted.size(); ++i) {
        const Deleted& d = deleted[i];
        const uint8_t* p = d.bytes.data();
        const InodeFields f = fieldsOf(p);
        ExtInodeEntry e;
        e.index = firstKey + int64_t(i);
        e.mode = e.inodeMode = f.mode;
        e.links = f.links;
        e.flags = f.flags;
        e.size = f.size;
        e.accessTime = le32(p + 8);
        e.changeTime = le32(p + 12);
        e.modificationTime = le32(p + 16);
        e.deletionTime = d.dtime;
        e.recovered = int32_t(i);
        e.named = true;
        ExtRecoveredInode r{d.bytes, d.age, false};
        for (const ExtBlockRun& run : maps[i].runs) {
            if (run.kind != ExtBlockRun::Kind::Data) continue;
            for (uint64_t k = 0; k < run.count && !r.overwritten; ++k) r.overwritten = blockInUseNow(run.physical + k);
            claims.push_back({run.physical, run.count, i});
        }
        if (chosen[i]) {
            e.name = chosen[i]->name;
            e.parent = parentKeyOf(chosen[i]->folder, e.index);
        } else {
            e.parent = orphanKey;
            if ((f.mode & kExtTypeMask) == kExtDirectory) {
                e.name = std::to_string(d.inode);
            } else {
                std::vector<uint8_t> first;
                for (const ExtBlockRun& run : maps[i].runs)
                    if (run.kind == ExtBlockRun::Kind::Data && run.logical == 0) {
                        first.assign(bs, 0);
                        readSalvaging(*reader, int64_t(run.physical * bs), first.data(), bs, 512);
                        break;
                    }
                if ((f.flags & kExtFlagInline) && first.empty()) first.assign(p + 40, p + 100);
                e.name = orphanNames.name(d.inode, first.data(), first.size());
            }
        }
        anyOrphan = anyOrphan || e.parent == orphanKey;
        deleted_.push_back(std::move(e));
        recovered_.push_back(std::move(r));
    }

    // Two deleted files claiming one block: the one deleted earlier lost it to the later one.
    std::sort(claims.begin(), claims.end(), [](const Claim& a, const Claim& b) { return a.first < b.first; });
    const Claim* reach = nullptr;  // the run reaching furthest so far
    for (const Claim& c : claims) {
        if (reach && c.first < reach->first + reach->count && c.entry != reach->entry)
            recovered_[deleted[c.entry].age < deleted[reach->entry].age ? c.entry : reach->entry].overwritten = true;
        if (!reach || c.first + c.count > reach->first + reach->count) reach = &c;
    }

    // A folder chain among deleted folders that never reaches a folder in use is a loop: its
    // members go under ORPHAN_ENTRY.
    for (ExtInodeEntry& e : deleted_) {
        int64_t at = e.parent;
        for (size_t steps = 0; at >= firstKey; ++steps) {
            if (at == e.index || steps > deleted_.size()) {
                e.parent = orphanKey;
                anyOrphan = true;
                break;
            }
            at = deleted_[size_t(at - firstKey)].parent;
        }
    }
    if (anyOrphan) {
        ExtInodeEntry orphan;
        orphan.name = kOrphanName;
        orphan.named = true;
        orphan.index = orphanKey;
        orphan.parent = kExtRootKey;
        orphan.mode = orphan.inodeMode = kExtDirectory;
        deleted_.insert(deleted_.begin(), std::move(orphan));
    }
    size_t overwritten = 0;
    for (const ExtRecoveredInode& r : recovered_) overwritten += r.overwritten;
    status(format("%d deleted files and folders found through the journal (%d transactions), %d of them with "
                  "blocks allocated again",
                  int(recovered_.size()), int(journal->transactions()), int(overwritten)));
    if (control) control->clear();
    return true;
}

}  // namespace quarvell
