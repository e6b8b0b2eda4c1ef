// ext2Class: the superblock, the block group descriptors and the inode tables.
#include "fs/ext/ext2Class.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"

namespace quarvell {

namespace {

constexpr uint16_t kMagic = 0xEF53;
constexpr uint32_t kMaxLogBlock = 6;  // 64 KiB blocks, the largest ext4 allows
constexpr size_t kTableBatch = 4u << 20;  // bytes of inode tables read at once
constexpr uint64_t kStatusEveryGroups = 256;
constexpr size_t kScanChunk = 1u << 20;
constexpr uint64_t kMaxReservedEntries = 1u << 22;
constexpr uint64_t kInodeWindow = 64u << 10;  // bytes of an inode table kept for single-inode reads

// Incompatible features: the ones this parser reads correctly, and names for the others.
constexpr uint32_t kIncompatFileType = 0x2;
constexpr uint32_t kIncompatMetaGroup = 0x10;
constexpr uint32_t kIncompat64Bit = 0x80;
constexpr uint32_t kIncompatEncrypt = 0x10000;
constexpr uint32_t kIncompatUnderstood = 0x2 | 0x4 | 0x10 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | 0x2000 | 0x4000 |
                                         0x8000 | 0x20000;
constexpr uint32_t kRoCompatSparseSuper = 0x1;
constexpr uint32_t kRoCompatGdtCsum = 0x10;
constexpr uint32_t kRoCompatMetadataCsum = 0x400;
constexpr uint32_t kCompatHasJournal = 0x4;
constexpr uint32_t kCompatSparseSuper2 = 0x200;
constexpr uint16_t kGroupInodesUninit = 0x1;

std::string incompatName(uint32_t bit) {
    switch (bit) {
        case 0x1: return "compression";
        case 0x8: return "journal_dev";
        case 0x1000: return "dirdata";
        case kIncompatEncrypt: return "encrypt";
        default: return format("incompat_0x%x", bit);
    }
}

bool powerOf3Or5Or7(uint64_t g) {
    for (uint64_t base : {3u, 5u, 7u}) {
        uint64_t v = base;
        while (v < g) v *= base;
        if (v == g) return true;
    }
    return false;
}

}  // namespace

bool ext2Class::stopPolled() const { return control && control->poll(); }
void ext2Class::status(const std::string& text) const {
    if (sink) sink->setStatus(text);
}
void ext2Class::progressRange(int64_t high) const {
    if (sink) sink->setProgressRange(0, high);
}
void ext2Class::progressPos(int64_t pos) const {
    if (sink) sink->setProgressPos(pos);
}

bool ext2Class::readAt(uint64_t offset, uint8_t* buf, size_t count) const {
    std::memset(buf, 0, count);
    if (!reader || offset > uint64_t(INT64_MAX) || count > UINT32_MAX) return false;
    if (!reader->seek(int64_t(offset))) return false;
    return reader->read(buf, uint32_t(count));
}

uint64_t ext2Class::volumeBlocks() const {
    if (geo_.blockSize == 0) return 0;
    return std::min<uint64_t>(geo_.blocksCount, volumeSize / geo_.blockSize);
}

bool ext2Class::attachExtVolume() {
    if (!reader) return false;
    reader->volumeOrigin = volume.startSector * 512;
    return reader->seek(0);
}

// A superblock is taken when its magic is right and its geometry can be walked safely;
// otherwise the search goes on (a damaged primary leaves the backups to be found).
bool ext2Class::acceptSuperblock(const uint8_t* sb, uint64_t position) {
    if (le16(sb + 56) != kMagic) return false;
    const uint32_t logBlock = le32(sb + 24);
    if (logBlock > kMaxLogBlock) return false;
    ExtGeometry g;
    g.position = position;
    g.blockSize = 1024u << logBlock;
    g.inodesCount = le32(sb + 0);
    g.freeInodesCount = le32(sb + 16);
    g.firstDataBlock = le32(sb + 20);
    g.blocksPerGroup = le32(sb + 32);
    g.inodesPerGroup = le32(sb + 40);
    g.featureCompat = le32(sb + 92);
    g.featureIncompat = le32(sb + 96);
    g.featureRoCompat = le32(sb + 100);
    g.blocksCount = le32(sb + 4);
    if (g.featureIncompat & kIncompat64Bit) g.blocksCount |= uint64_t(le32(sb + 336)) << 32;
    g.inodeSize = le32(sb + 76) == 0 ? 128 : le16(sb + 88);
    g.fileTypeFlag = (g.featureIncompat & kIncompatFileType) != 0;
    g.groupChecksums = (g.featureRoCompat & (kRoCompatGdtCsum | kRoCompatMetadataCsum)) != 0;
    g.firstMetaGroup = le32(sb + 260);
    g.hasJournal = (g.featureCompat & kCompatHasJournal) != 0;
    g.journalInode = le32(sb + 224);
    if (g.featureIncompat & kIncompat64Bit) {
        const uint32_t d = le16(sb + 254);
        if (d >= 64 && d <= g.blockSize && (d & (d - 1)) == 0) g.descriptorSize = d;
    }
    if (g.inodeSize < 128 || g.inodeSize > g.blockSize || (g.inodeSize & (g.inodeSize - 1)) != 0) return false;
    if (g.blocksPerGroup == 0 || g.inodesPerGroup == 0 || g.inodesCount == 0 || g.blocksCount == 0) return false;
    if (g.blocksPerGroup > 8u * g.blockSize * 16) return false;  // a bitmap block cannot describe more
    if (g.firstDataBlock >= g.blocksCount) return false;
    g.groupCount = (g.blocksCount - g.firstDataBlock + g.blocksPerGroup - 1) / g.blocksPerGroup;
    // The inode count follows from the groups; a volume whose counts disagree keeps the smaller.
    const uint64_t byInodes = (uint64_t(g.inodesCount) + g.inodesPerGroup - 1) / g.inodesPerGroup;
    if (byInodes < g.groupCount) g.groupCount = byInodes;
    if (g.groupCount == 0) return false;
    geo_ = g;
    return true;
}

bool ext2Class::findSuperblock() {
    if (volumeSize <= 1536) return false;
    std::vector<uint8_t> chunk(kScanChunk + 1024);
    for (uint64_t base = 1024; base + 1024 <= volumeSize;) {
        const uint64_t want = std::min<uint64_t>(chunk.size(), volumeSize - base);
        readSalvaging(*reader, int64_t(base), chunk.data(), uint32_t(want), 512);
        for (uint64_t at = 0; at + 1024 <= want; at += 512) {
            if (acceptSuperblock(chunk.data() + at, base + at)) {
                for (uint32_t bit = 1; bit != 0; bit <<= 1)
                    if ((geo_.featureIncompat & bit) && !(kIncompatUnderstood & bit))
                        unsupported_.push_back(incompatName(bit));
                return true;
            }
        }
        if (stopPolled()) {
            if (control) control->clear();
            return false;
        }
        base += kScanChunk;
    }
    return false;
}

uint64_t ext2Class::groupFirstBlock(uint64_t group) const {
    return uint64_t(geo_.firstDataBlock) + group * geo_.blocksPerGroup;
}

bool ext2Class::groupHasSuperblock(uint64_t group) const {
    if (group <= 1) return true;
    if (geo_.featureCompat & kCompatSparseSuper2) return false;  // the two backups are named elsewhere
    if (!(geo_.featureRoCompat & kRoCompatSparseSuper)) return true;
    return powerOf3Or5Or7(group);
}

// The descriptors follow the block holding the superblock; with meta groups, each later run of
// one block of descriptors sits at the start of the first group it describes.
bool ext2Class::readGroupDescriptors() {
    const uint32_t bs = geo_.blockSize;
    if (bs == 0) return false;
    const uint64_t perBlock = bs / geo_.descriptorSize;
    const uint64_t tableStart = (geo_.position / bs + 1) * uint64_t(bs);
    const uint64_t volumeBlocksNow = volumeBlocks();
    uint64_t plainGroups = geo_.groupCount;
    if ((geo_.featureIncompat & kIncompatMetaGroup) && uint64_t(geo_.firstMetaGroup) * perBlock < plainGroups)
        plainGroups = uint64_t(geo_.firstMetaGroup) * perBlock;
    // The descriptors cannot lie past the volume: a group count that says so is cut there.
    const uint64_t fitting = volumeSize > tableStart ? (volumeSize - tableStart) / geo_.descriptorSize : 0;
    if (plainGroups > fitting) plainGroups = fitting;
    if (plainGroups == 0 && geo_.groupCount > 0 && !(geo_.featureIncompat & kIncompatMetaGroup)) return false;

    std::vector<uint8_t> block(bs);
    groups_.clear();
    groups_.reserve(size_t(std::min<uint64_t>(geo_.groupCount, 1u << 20)));
    auto take = [&](const uint8_t* d) {
        ExtGroup g;
        g.blockBitmap = le32(d + 0);
        g.inodeTable = le32(d + 8);
        g.flags = le16(d + 18);
        g.unusedInodes = le16(d + 28);
        if (geo_.descriptorSize >= 64) {
            g.blockBitmap |= uint64_t(le32(d + 32)) << 32;
            g.inodeTable |= uint64_t(le32(d + 40)) << 32;
            g.unusedInodes |= uint32_t(le16(d + 50)) << 16;
        }
        groups_.push_back(g);
    };
    for (uint64_t b = 0; b * perBlock < plainGroups; ++b) {
        unreadableMetadata_ += readSalvaging(*reader, int64_t(tableStart + b * bs), block.data(), bs, 512);
        for (uint64_t i = 0; i < perBlock && b * perBlock + i < plainGroups; ++i)
            take(block.data() + i * geo_.descriptorSize);
        if (stopPolled()) break;
    }
    for (uint64_t g = plainGroups; g < geo_.groupCount && !stopPolled(); g += perBlock) {
        const uint64_t at = groupFirstBlock(g) + (groupHasSuperblock(g) ? 1 : 0);
        if (at >= volumeBlocksNow) break;
        unreadableMetadata_ += readSalvaging(*reader, int64_t(at * bs), block.data(), bs, 512);
        for (uint64_t i = 0; i < perBlock && g + i < geo_.groupCount; ++i) take(block.data() + i * geo_.descriptorSize);
    }
    if (control) control->clear();
    return !groups_.empty();
}

// Inode tables are read in large batches (adjacent tables together, as flex_bg places them);
// a bad sector costs only the inodes it holds. Groups whose inodes were never initialised
// (trusted when the descriptors carry checksums) are not read.
bool ext2Class::readInodeTables() {
    const uint32_t bs = geo_.blockSize;
    const uint32_t isz = geo_.inodeSize;
    const uint64_t groupCount = groups_.size();
    const uint64_t tableBytes = uint64_t(geo_.inodesPerGroup) * isz;
    const uint64_t volBlocks = volumeBlocks();
    // Room for the inodes the superblock counts as used, as far as the volume could hold them
    // (a wrong count costs only a regrowth).
    const uint64_t used = geo_.inodesCount > geo_.freeInodesCount ? geo_.inodesCount - geo_.freeInodesCount : 0;
    entries_.reserve(size_t(std::min<uint64_t>({used, volumeSize / std::max(1u, isz), kMaxReservedEntries})));
    progressRange(int64_t(groupCount));
    std::vector<uint8_t> batch;
    uint64_t g = 0;
    while (g < groupCount) {
        if (stopPolled()) break;
        if (g % kStatusEveryGroups == 0 || g + 1 == groupCount)
            status(format("parsing group %d  of %d ", int(g + 1), int(groupCount)));
        progressPos(int64_t(g + 1));
        auto usedInodes = [&](uint64_t grp) -> uint64_t {
            const ExtGroup& d = groups_[grp];
            if (geo_.groupChecksums) {
                if (d.flags & kGroupInodesUninit) return 0;
                return d.unusedInodes < geo_.inodesPerGroup ? geo_.inodesPerGroup - d.unusedInodes : 0;
            }
            return geo_.inodesPerGroup;
        };
        const uint64_t firstTable = groups_[g].inodeTable;
        const uint64_t tableBlocks = (tableBytes + bs - 1) / bs;
        if (usedInodes(g) == 0 || firstTable == 0 || firstTable >= volBlocks) {
            ++g;
            continue;
        }
        // Gather the following groups whose tables continue this one.
        uint64_t n = 1;
        while (g + n < groupCount && groups_[g + n].inodeTable == firstTable + n * tableBlocks &&
               (n + 1) * tableBytes <= kTableBatch && usedInodes(g + n) == geo_.inodesPerGroup &&
               usedInodes(g + n - 1) == geo_.inodesPerGroup)
            ++n;
        uint64_t want = n == 1 ? usedInodes(g) * isz : n * tableBytes;
        const uint64_t start = firstTable * bs;
        if (start + want > volBlocks * bs) want = volBlocks * bs - start;
        batch.resize(size_t(want));
        // One group's table can be larger than a batch: read it in batch-sized pieces.
        for (uint64_t off = 0; off < want; off += kTableBatch) {
            const uint32_t piece = uint32_t(std::min<uint64_t>(kTableBatch, want - off));
            unreadableMetadata_ += readSalvaging(*reader, int64_t(start + off), batch.data() + off, piece, 512);
        }
        for (uint64_t k = 0; k < n; ++k) {
            const uint64_t grp = g + k;
            const uint64_t limit = std::min<uint64_t>(usedInodes(grp), geo_.inodesPerGroup);
            for (uint64_t slot = 0; slot < limit; ++slot) {
                const uint64_t at = k * tableBytes + slot * isz;
                if (at + isz > want) break;
                const uint64_t index = grp * geo_.inodesPerGroup + slot;
                if (index >= geo_.inodesCount) break;
                const uint8_t* ino = batch.data() + at;
                const uint16_t mode = le16(ino);
                const uint16_t links = le16(ino + 26);
                if (mode == 0 && links == 0) continue;
                ExtInodeEntry e;
                e.index = int64_t(index);
                e.mode = e.inodeMode = mode;
                e.links = links;
                e.flags = le32(ino + 32);
                e.size = uint64_t(le32(ino + 4)) | uint64_t(le32(ino + 108)) << 32;
                e.tableBlock = groups_[grp].inodeTable;
                e.slot = uint32_t(slot);
                e.accessTime = le32(ino + 8);
                e.changeTime = le32(ino + 12);
                e.modificationTime = le32(ino + 16);
                entries_.push_back(e);
                // Directories in use keep their inode for the walk (a deleted one's stale
                // entries must not rename live files).
                if ((mode & kExtTypeMask) == kExtDirectory && links > 0)
                    directories_.push_back({e.index, std::vector<uint8_t>(ino, ino + isz)});
            }
        }
        g += n;
    }
    if (control) control->clear();
    return true;
}

// Saves ask for the inodes of a folder's files one after another, and they lie side by side in
// the tables: the table is read a window at a time and the last window kept.
std::vector<uint8_t> ext2Class::readInode(int64_t index) const {
    if (index < 0 || uint64_t(index) >= geo_.inodesCount || geo_.inodesPerGroup == 0) return {};
    const uint64_t grp = uint64_t(index) / geo_.inodesPerGroup;
    if (grp >= groups_.size()) return {};
    const uint64_t table = groups_[grp].inodeTable;
    if (table == 0 || table >= volumeBlocks()) return {};
    const uint64_t tableStart = table * geo_.blockSize;
    const uint64_t at = tableStart + (uint64_t(index) % geo_.inodesPerGroup) * geo_.inodeSize;
    if (at + geo_.inodeSize > volumeSize) return {};
    std::lock_guard<std::mutex> lock(inodeWindowMutex_);
    InodeWindow& w = inodeWindow_;
    if (at < w.start || at + geo_.inodeSize > w.start + w.bytes.size()) {
        const uint64_t start = tableStart + (at - tableStart) / kInodeWindow * kInodeWindow;
        const uint64_t tableEnd = tableStart + uint64_t(geo_.inodesPerGroup) * geo_.inodeSize;
        const uint64_t end = std::min({start + kInodeWindow, tableEnd, volumeSize});
        if (at + geo_.inodeSize > end) return {};
        w.start = start;
        w.lost.clear();
        w.bytes.resize(size_t(end - start));
        readSalvaging(*reader, int64_t(start), w.bytes.data(), uint32_t(w.bytes.size()), 512,
                      [&](int64_t lostAt, uint32_t n) { w.lost.push_back({uint64_t(lostAt), n}); });
    }
    for (const auto& [lostAt, n] : w.lost)
        if (lostAt < at + geo_.inodeSize && at < lostAt + n) return {};
    const uint8_t* first = w.bytes.data() + (at - w.start);
    return std::vector<uint8_t>(first, first + geo_.inodeSize);
}

}  // namespace quarvell
