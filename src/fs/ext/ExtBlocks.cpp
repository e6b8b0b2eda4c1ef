// ext2Class: block maps (direct and indirect pointers, extent trees), a file's data as runs,
// and the texts of an entry.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "disk/readWriteInterface.h"
#include "fs/ext/ExtInline.h"
#include "fs/ext/ext2Class.h"

namespace quarvell {

namespace {

constexpr uint16_t kExtentMagic = 0xF30A;
constexpr uint16_t kMaxExtentDepth = 5;
constexpr uint32_t kInitMaxLength = 32768;

using Kind = ExtBlockRun::Kind;

// Builds one inode's block map. Every map block (indirect block or extent node) is read at
// most once: a map that points at itself or at another part of the map is refused there, so
// the walk ends on any input. Blocks past the file's size are not followed.
class BlockMapper {
public:
    BlockMapper(const ext2Class& fs, readWriteInterface& reader, uint64_t needed, const ExtMapBlockSource* source)
        : reader_(reader), source_(source), needed_(needed), bs_(fs.geometry().blockSize), volumeBlocks_(fs.volumeBlocks()) {
        // No inode can own more data blocks than the volume holds.
        dataLimit_ = volumeBlocks_ + 1;
    }

    ExtBlockMap map;

    void add(Kind kind, uint64_t logical, uint64_t physical, uint64_t count) {
        if (logical >= needed_ || count == 0 || stopped_) return;
        count = std::min(count, needed_ - logical);
        if (kind == Kind::Data) {
            // The part outside the volume is missing data.
            const uint64_t inside = physical >= volumeBlocks_ ? 0 : std::min(count, volumeBlocks_ - physical);
            if (physical == 0) {
                push(Kind::Missing, logical, 0, count);
                return;
            }
            if (inside > 0) {
                dataBlocks_ += inside;
                if (dataBlocks_ > dataLimit_) {
                    refuse("the block map lists more blocks than the volume holds");
                    stopped_ = true;
                    return;
                }
                push(Kind::Data, logical, physical, inside);
            }
            if (inside < count) push(Kind::Missing, logical + inside, 0, count - inside);
            return;
        }
        push(kind, logical, 0, count);
    }

    void missing(uint64_t logical, uint64_t count) { add(Kind::Missing, logical, 0, count); }

    void refuse(const std::string& why) {
        if (map.problem.empty()) map.problem = why;
    }

    // Reads one map block; `bad` tells, per 512-byte sector, what could not be read. False when
    // the block is outside the volume or already part of this map.
    bool readMapBlock(uint64_t block, bool extentNode, std::vector<uint8_t>& buf, std::vector<bool>& bad) {
        if (block == 0 || block >= volumeBlocks_) return false;
        if (!visited_.insert(block).second) {
            refuse("the block map points at itself");
            return false;
        }
        bad.assign(bs_ / 512, false);
        if (source_ && (*source_)(block, extentNode, buf) && buf.size() == bs_) return true;
        buf.assign(bs_, 0);
        const uint64_t at = block * bs_;
        if (reader_.seek(int64_t(at)) && reader_.read(buf.data(), bs_)) return true;
        for (uint32_t s = 0; s < bs_ / 512; ++s) {
            std::memset(buf.data() + s * 512, 0, 512);
            if (!reader_.seek(int64_t(at + s * 512)) || !reader_.read(buf.data() + s * 512, 512)) {
                std::memset(buf.data() + s * 512, 0, 512);
                bad[s] = true;
                map.unreadableBytes += 512;
            }
        }
        return true;
    }

    void indirect(uint64_t block, int level, uint64_t logicalStart) {
        if (logicalStart >= needed_ || stopped_) return;
        const uint64_t perBlock = bs_ / 4;
        uint64_t childCover = 1;
        for (int l = 1; l < level; ++l) childCover *= perBlock;
        std::vector<uint8_t> buf;
        std::vector<bool> bad;
        if (!readMapBlock(block, false, buf, bad)) {
            missing(logicalStart, childCover * perBlock);
            return;
        }
        for (uint64_t i = 0; i < perBlock && !stopped_; ++i) {
            const uint64_t childStart = logicalStart + i * childCover;
            if (childStart >= needed_) break;
            if (bad[(i * 4) / 512]) {
                missing(childStart, childCover);
                continue;
            }
            const uint32_t w = le32(buf.data() + i * 4);
            if (w == 0) continue;  // a hole
            if (level == 1) add(Kind::Data, childStart, w, 1);
            else indirect(w, level - 1, childStart);
        }
    }

    // One extent node (the inode's block area or a tree block) covering [lo, hi).
    void extents(const uint8_t* node, size_t length, int expectedDepth, uint64_t lo, uint64_t hi) {
        if (stopped_ || lo >= needed_) return;
        const uint16_t entries = le16(node + 2);
        const uint16_t depth = le16(node + 6);
        if (le16(node) != kExtentMagic || entries > (length - 12) / 12) {
            refuse("an extent node is damaged");
            missing(lo, hi - lo);
            return;
        }
        if (depth > kMaxExtentDepth || (expectedDepth >= 0 && depth != expectedDepth)) {
            refuse("an extent tree is deeper than allowed");
            missing(lo, hi - lo);
            return;
        }
        for (uint16_t i = 0; i < entries && !stopped_; ++i) {
            const uint8_t* x = node + 12 + 12 * size_t(i);
            const uint64_t first = le32(x);
            if (depth == 0) {
                uint32_t len = le16(x + 4);
                const bool uninit = len > kInitMaxLength;
                if (uninit) len -= kInitMaxLength;
                const uint64_t start = uint64_t(le16(x + 6)) << 32 | le32(x + 8);
                add(uninit ? Kind::Zeros : Kind::Data, first, start, len);
                continue;
            }
            uint64_t end = i + 1 < entries ? uint64_t(le32(x + 12)) : hi;
            const uint64_t from = std::max(first, lo);
            end = std::min(end, hi);
            if (end <= from) continue;
            const uint64_t child = uint64_t(le16(x + 8)) << 32 | le32(x + 4);
            std::vector<uint8_t> buf;
            std::vector<bool> bad;
            if (!readMapBlock(child, true, buf, bad)) {
                missing(from, end - from);
                continue;
            }
            if (std::find(bad.begin(), bad.end(), true) != bad.end()) {
                // A node with an unreadable sector cannot be trusted for its whole range.
                missing(from, end - from);
                continue;
            }
            extents(buf.data(), buf.size(), depth - 1, from, end);
        }
    }

    // Sorted by logical block, overlaps dropped (the first mapping of a block wins).
    void finish() {
        std::stable_sort(map.runs.begin(), map.runs.end(),
                         [](const ExtBlockRun& a, const ExtBlockRun& b) { return a.logical < b.logical; });
        std::vector<ExtBlockRun> out;
        out.reserve(map.runs.size());
        uint64_t covered = 0;
        for (ExtBlockRun r : map.runs) {
            const uint64_t end = r.logical + r.count;
            if (end <= covered) continue;
            if (r.logical < covered) {
                const uint64_t cut = covered - r.logical;
                r.logical += cut;
                if (r.kind == Kind::Data) r.physical += cut;
                r.count -= cut;
            }
            if (!out.empty() && mergeable(out.back(), r)) out.back().count += r.count;
            else out.push_back(r);
            covered = r.logical + r.count;
        }
        map.runs = std::move(out);
    }

private:
    static bool mergeable(const ExtBlockRun& a, const ExtBlockRun& b) {
        if (a.kind != b.kind || a.logical + a.count != b.logical) return false;
        return a.kind != Kind::Data || a.physical + a.count == b.physical;
    }
    void push(Kind kind, uint64_t logical, uint64_t physical, uint64_t count) {
        if (!map.runs.empty() && mergeable(map.runs.back(), ExtBlockRun{kind, logical, physical, count}))
            map.runs.back().count += count;
        else
            map.runs.push_back({kind, logical, physical, count});
    }

    readWriteInterface& reader_;
    const ExtMapBlockSource* source_;
    uint64_t needed_;
    uint32_t bs_;
    uint64_t volumeBlocks_;
    uint64_t dataBlocks_ = 0;
    uint64_t dataLimit_ = 0;
    bool stopped_ = false;
    std::unordered_set<uint64_t> visited_;
};

int64_t unixTime(uint32_t t) { return int64_t(int32_t(t)); }

const char* const kAttributeTexts[] = {"-OE", "-OW", "-OR", "-GE", "-GW", "-GR", "-UE", "-UW", "-UR"};

}  // namespace

ExtBlockMap ext2Class::collectExtBlocks(const uint8_t* inode, uint64_t neededBlocks,
                                        const ExtMapBlockSource* source) const {
    BlockMapper m(*this, *reader, neededBlocks, source);
    if (geo_.blockSize == 0) return m.map;
    const uint32_t flags = le32(inode + 32);
    const uint8_t* area = inode + 40;
    if ((flags & kExtFlagExtents) && le16(area) == kExtentMagic) {
        m.extents(area, 60, -1, 0, neededBlocks);
    } else {
        for (uint64_t i = 0; i < 12; ++i) {
            const uint32_t w = le32(area + 4 * i);
            if (w != 0) m.add(Kind::Data, i, w, 1);
        }
        const uint64_t perBlock = geo_.blockSize / 4;
        const uint32_t single = le32(area + 48), dbl = le32(area + 52), triple = le32(area + 56);
        if (single) m.indirect(single, 1, 12);
        if (dbl) m.indirect(dbl, 2, 12 + perBlock);
        if (triple) m.indirect(triple, 3, 12 + perBlock + perBlock * perBlock);
    }
    m.finish();
    return std::move(m.map);
}

FileData ext2Class::extFileData(const ExtInodeEntry& e) const {
    FileData data;
    data.source = reader;
    data.size = e.size;
    const ExtFileTimes times = computeExtFileTimes(e);
    data.accessTime = times.lastAccess;
    data.modificationTime = times.lastWrite;
    const ExtRecoveredInode* old = e.recovered >= 0 ? &recovered_[size_t(e.recovered)] : nullptr;
    const std::vector<uint8_t> ino = old ? old->bytes : readInode(e.index);
    if (old) data.overwritten = old->overwritten;
    if (ino.empty()) {
        data.unsupported = "the file's inode could not be read";
        return data;
    }
    const uint32_t flags = le32(ino.data() + 32);
    const uint16_t type = le16(ino.data()) & kExtTypeMask;
    if (flags & kExtFlagEncrypted) {
        data.unsupported = "the file is encrypted (ext4 encryption is not supported)";
        return data;
    }
    if (type == kExtSymlink && e.size < 60 && !(flags & (kExtFlagExtents | kExtFlagInline))) {
        // A fast symbolic link keeps its target in the block area.
        data.resident = std::vector<uint8_t>(ino.begin() + 40, ino.begin() + 40 + std::ptrdiff_t(e.size));
        return data;
    }
    if (flags & kExtFlagInline) {
        std::vector<uint8_t> bytes(ino.begin() + 40, ino.begin() + 100);
        const std::vector<uint8_t> more = inlineDataAttribute(ino.data(), ino.size());
        bytes.insert(bytes.end(), more.begin(), more.end());
        if (bytes.size() > e.size) bytes.resize(size_t(e.size));
        data.resident = std::move(bytes);
        return data;
    }
    const uint32_t bs = geo_.blockSize;
    const uint64_t needed = e.size / bs + (e.size % bs != 0);
    const ExtMapBlockSource source = old ? journalMapSource(old->age) : ExtMapBlockSource();
    const ExtBlockMap map = collectExtBlocks(ino.data(), needed, old ? &source : nullptr);
    uint64_t at = 0;  // in blocks
    auto push = [&](DataRun run) {
        if (!data.runs.empty() && data.runs.back().kind == run.kind &&
            (run.kind != DataRun::Kind::Volume ||
             data.runs.back().offset + data.runs.back().length == run.offset)) {
            data.runs.back().length += run.length;
            return;
        }
        data.runs.push_back(run);
    };
    for (const ExtBlockRun& r : map.runs) {
        if (r.logical > at) push({DataRun::Kind::Hole, 0, (r.logical - at) * bs});
        switch (r.kind) {
            case Kind::Data: push({DataRun::Kind::Volume, r.physical * bs, r.count * bs}); break;
            case Kind::Zeros: push({DataRun::Kind::Hole, 0, r.count * bs}); break;
            case Kind::Missing: push({DataRun::Kind::PastVolume, 0, r.count * bs}); break;
        }
        at = r.logical + r.count;
    }
    // A sparse tail (no blocks up to the size) is a hole too.
    if (at < needed) push({DataRun::Kind::Hole, 0, (needed - at) * bs});
    return data;
}

EntryTexts ext2Class::formatExtEntryTimes(const ExtInodeEntry& e) const {
    if (e.index == kExtRootKey && e.name == rootName && e.inodeMode == kExtDirectory && e.size == 0 &&
        e.modificationTime == 0)
        return {};
    EntryTexts t;
    // Most files carry the same second in two or three of their times: each is converted once.
    t.creation = dateTexts_.text(unixTime(e.changeTime));
    t.access = e.accessTime == e.changeTime ? t.creation : dateTexts_.text(unixTime(e.accessTime));
    t.modification = e.modificationTime == e.changeTime ? t.creation
                     : e.modificationTime == e.accessTime ? t.access
                                                           : dateTexts_.text(unixTime(e.modificationTime));
    for (unsigned bit = 0; bit < 9; ++bit)
        if (e.inodeMode & (1u << bit)) t.attributes += kAttributeTexts[bit];
    if (e.deletionTime != 0) t.deletion = dateTexts_.text(unixTime(e.deletionTime));
    return t;
}

std::string ext2Class::formatExtEntrySize(const ExtInodeEntry& e) const { return sizeText(e.size); }

ExtFileTimes ext2Class::computeExtFileTimes(const ExtInodeEntry& e) const {
    return {unixTime(e.changeTime), unixTime(e.accessTime), unixTime(e.modificationTime)};
}

}  // namespace quarvell
