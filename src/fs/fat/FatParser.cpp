#include "fs/fat/FatParser.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/Utf.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"
#include "fs/fat/FatNames.h"
#include "fs/fat/FatProbe.h"

namespace quarvell {

namespace {

constexpr uint64_t kFatBlockBytes = 64 * 1024;
constexpr size_t kMaxCachedFatBlocks = 1024;             // 64 MiB of FAT in memory at most
constexpr uint64_t kMaxDirectoryBytes = 65536ull * 32;   // a FAT directory holds 65,536 entries
constexpr size_t kMaxEntries = 16u << 20;                // entries kept from one volume
constexpr unsigned kMaxLongNameSlots = 20;               // 255 characters

}  // namespace

Fat32Class::Fat32Class() : FatParser(true) {
    walkStatus_ = "Finding Fat32 File And Directory entries recursively....";
    formatFailure_ = "Selected Drive is not in Fat32 Format";
}

Fat16Class::Fat16Class() : FatParser(false) {
    walkStatus_ = "Finding Fat16 File And Directory entries recursively....";
    formatFailure_ = "Selected Drive is not in Fat16 Format";
}

FatParser::FatParser(bool fat32) : fat32_(fat32), entryBits_(fat32 ? 32 : 16) {}

bool FatParser::stopPolled() const { return control && control->poll(); }

void FatParser::status(const std::string& text) const {
    if (sink) sink->setStatus(text);
}

uint64_t FatParser::readAt(uint64_t offset, uint8_t* buf, uint32_t count) const {
    std::memset(buf, 0, count);
    if (!reader || count == 0) return count;
    return readSalvaging(*reader, int64_t(offset), buf, count, 512);
}

bool FatParser::attachFatReader() {
    if (reader) reader->volumeOrigin = volume.startSector * 512;
    if (tree) topItem_ = tree->insertItem(rootName, kIconFolder, kNoItem);
    return true;
}

bool FatParser::readFatBootSector() {
    uint8_t s[512];
    if (readAt(0, s, sizeof s) != 0) return false;
    if (fatLabel(s).empty()) return false;  // the BIOS parameter block is not valid
    const uint16_t fatSectors16 = le16(s + 22);
    if (fat32_ != (fatSectors16 == 0)) return false;
    const uint32_t bytesPerSector = le16(s + 11);
    const uint32_t sectorsPerCluster = s[13];
    const uint64_t reserved = le16(s + 14);
    const unsigned fats = s[16];
    const uint64_t rootEntries = fat32_ ? 0 : le16(s + 17);
    const uint64_t totalSectors = le16(s + 19) != 0 ? le16(s + 19) : le32(s + 32);
    const uint64_t sectorsPerFat = fat32_ ? le32(s + 36) : fatSectors16;
    if (sectorsPerFat == 0 || sectorsPerCluster == 0) return false;
    const uint64_t fatStart = reserved * bytesPerSector;
    const uint64_t fatBytes = sectorsPerFat * bytesPerSector;
    rootStart_ = fatStart + fats * fatBytes;
    rootBytes_ = (rootEntries * 32 + bytesPerSector - 1) / bytesPerSector * bytesPerSector;
    if (fat32_) {
        rootCluster_ = le32(s + 44) & 0x0FFFFFFF;
        rootBytes_ = 0;
    }
    if (!setGeometry(bytesPerSector, sectorsPerCluster, fatStart, fatBytes, fats, rootStart_ + rootBytes_,
                     totalSectors * bytesPerSector))
        return false;
    bootSectorUsable_ = true;
    return true;
}

bool FatParser::setGeometry(uint32_t bytesPerSector, uint32_t sectorsPerCluster, uint64_t fatStart, uint64_t fatBytes,
                            unsigned numFats, uint64_t dataStart, uint64_t totalBytes) {
    if (bytesPerSector == 0 || sectorsPerCluster == 0 || fatBytes == 0) return false;
    bytesPerSector_ = bytesPerSector;
    sectorsPerCluster_ = sectorsPerCluster;
    clusterSize_ = bytesPerSector * sectorsPerCluster;
    fatStart_ = fatStart;
    fatBytes_ = fatBytes;
    numFats_ = std::max(1u, numFats);
    dataStart_ = dataStart;
    if (volumeBytes_ == 0) volumeBytes_ = totalBytes;
    if (totalBytes <= dataStart) return false;
    const uint64_t clusters = (totalBytes - dataStart) / clusterSize_;
    if (!fat32_) entryBits_ = (!advanced_ && clusters < 4085) ? 12 : 16;
    const uint64_t fatEntries = entryBits_ == 12 ? fatBytes * 2 / 3 : fatBytes * 8 / entryBits_;
    const uint64_t highest = entryBits_ == 32 ? 0x0FFFFFF7ull : entryBits_ == 16 ? 0xFFF7ull : 0xFF7ull;
    clusterLimit_ = uint32_t(std::min({clusters + 2, fatEntries, highest}));
    fatBlocks_.clear();
    directoryClusters_.clear();
    return clusterLimit_ > 2;
}

// ---- the cached FAT ----

const uint8_t* FatParser::fatBlock(uint64_t block) const {
    auto it = fatBlocks_.find(block);
    if (it != fatBlocks_.end()) return it->second.data();
    if (fatBlocks_.size() >= kMaxCachedFatBlocks) fatBlocks_.clear();
    const uint64_t start = block * kFatBlockBytes;
    const uint32_t length = uint32_t(std::min<uint64_t>(kFatBlockBytes, fatBytes_ - start));
    std::vector<uint8_t> bytes(kFatBlockBytes, 0);
    uint64_t bad = readAt(fatStart_ + start, bytes.data(), length);
    if (bad > 0 && numFats_ > 1) {
        std::vector<uint8_t> copy(kFatBlockBytes, 0);
        const uint64_t badCopy = readAt(fatStart_ + fatBytes_ + start, copy.data(), length);
        if (badCopy < bad) {
            bytes.swap(copy);
            bad = badCopy;
        }
    }
    unreadableFat_ += bad;
    return fatBlocks_.emplace(block, std::move(bytes)).first->second.data();
}

uint8_t FatParser::fatByte(uint64_t offset) const {
    if (offset >= fatBytes_) return 0;
    return fatBlock(offset / kFatBlockBytes)[offset % kFatBlockBytes];
}

uint32_t FatParser::fatEntry(uint32_t cluster) const {
    if (cluster >= clusterLimit_) return 0;
    if (entryBits_ == 12) {
        const uint64_t off = uint64_t(cluster) + cluster / 2;
        const uint32_t v = fatByte(off) | uint32_t(fatByte(off + 1)) << 8;
        return (cluster & 1) ? v >> 4 : v & 0xFFF;
    }
    const unsigned width = entryBits_ / 8;
    const uint64_t off = uint64_t(cluster) * width;
    if (off + width > fatBytes_) return 0;
    const uint64_t inBlock = off % kFatBlockBytes;
    const uint8_t* b = fatBlock(off / kFatBlockBytes) + inBlock;
    return width == 4 ? le32(b) & 0x0FFFFFFF : le16(b);
}

uint32_t FatParser::nextFatCluster(uint32_t cluster) const {
    if (driveFormatted) return 0;
    if (cluster < 2 || cluster >= clusterLimit_) return 0;
    const uint32_t v = fatEntry(cluster);
    const uint32_t badOrEnd = entryBits_ == 32 ? 0x0FFFFFF7 : entryBits_ == 16 ? 0xFFF7 : 0xFF7;
    if (v < 2 || v >= badOrEnd || v >= clusterLimit_) return 0;
    return v;
}

// ---- directories ----

void FatParser::readDirectoryClusters(uint32_t first, std::vector<uint8_t>& bytes, std::vector<uint64_t>& where) {
    bytes.clear();
    where.clear();
    if (clusterSize_ == 0 || first < 2 || first >= clusterLimit_) return;
    if (directoryClusters_.empty()) directoryClusters_.assign(clusterLimit_, false);
    const uint64_t maxClusters = std::max<uint64_t>(1, kMaxDirectoryBytes / clusterSize_);
    for (uint32_t c = first; c != 0 && where.size() < maxClusters; c = nextFatCluster(c)) {
        if (directoryClusters_[c]) break;  // a loop, or a cluster another folder already owns
        directoryClusters_[c] = true;
        const uint64_t off = clusterOffset(c);
        if (off >= volumeBytes_) break;
        const size_t at = bytes.size();
        bytes.resize(at + clusterSize_);
        unreadableMetadata_ += readAt(off, bytes.data() + at, clusterSize_);
        where.push_back(off);
    }
}

uint64_t FatParser::countRootFatEntries() {
    if (!fat32_) return rootBytes_;
    uint64_t count = 0;
    std::unordered_set<uint32_t> seen;
    const uint64_t maxClusters = std::max<uint64_t>(1, kMaxDirectoryBytes / std::max(1u, clusterSize_));
    for (uint32_t c = rootCluster_; c >= 2 && c < clusterLimit_ && count < maxClusters; c = nextFatCluster(c)) {
        if (!seen.insert(c).second) break;
        ++count;
    }
    rootBytes_ = count * clusterSize_;
    return rootBytes_;
}

bool FatParser::readRootDirectory() {
    rootBuffer_.clear();
    rootWhere_.clear();
    if (fat32_) {
        readDirectoryClusters(rootCluster_, rootBuffer_, rootWhere_);
        return !rootWhere_.empty();
    }
    if (rootBytes_ == 0 || rootStart_ >= volumeBytes_) return false;
    rootBuffer_.resize(size_t(rootBytes_));
    unreadableMetadata_ += readAt(rootStart_, rootBuffer_.data(), uint32_t(rootBytes_));
    rootWhere_.push_back(rootStart_);
    return true;
}

bool FatParser::isAncestor(uint32_t candidate, uint32_t of) const {
    for (size_t steps = 0; steps <= entries_.size(); ++steps) {
        if (of == candidate) return true;
        if (of == kFatRootIndex || of >= entries_.size()) return false;
        of = entries_[of].parent;
    }
    return true;  // a looping parent chain: treat as related
}

void FatParser::appendFromSlot(const uint8_t* s, uint64_t position, uint32_t parent, bool insideDeleted,
                               const std::string& name) {
    FatEntry e;
    e.attribute = s[11];
    e.creationTenths = s[13];
    e.creationTime = le16(s + 14);
    e.creationDate = le16(s + 16);
    e.accessDate = le16(s + 18);
    e.firstClusterHigh = le16(s + 20);
    e.writeTime = le16(s + 22);
    e.writeDate = le16(s + 24);
    e.firstClusterLow = le16(s + 26);
    e.size = le32(s + 28);
    e.deleted = s[0] == 0xE5 ? 1 : 0;
    e.name = name;
    e.parent = parent;
    e.insideDeleted = insideDeleted;
    e.slot = position;
    e.firstCluster = fat32_ ? (uint32_t(e.firstClusterHigh) << 16 | e.firstClusterLow) & 0x0FFFFFFF : e.firstClusterLow;
    const bool validCluster = e.firstCluster >= 2 && e.firstCluster < clusterLimit_;
    if (e.isFolder() && validCluster) {
        // A folder walked before as an orphan belongs here: move it instead of listing it twice.
        auto it = walkedFolders_.find(e.firstCluster);
        if (it != walkedFolders_.end() && it->second != kFatRootIndex && it->second < entries_.size() &&
            entries_[it->second].parent == kFatOrphanIndex && rebuilding_ && !isAncestor(it->second, parent)) {
            FatEntry& moved = entries_[it->second];
            moved.parent = parent;
            moved.name = e.name;
            moved.deleted = e.deleted;
            moved.insideDeleted = insideDeleted;
            moved.slot = position;
            return;
        }
    }
    if (entries_.size() >= kMaxEntries) {
        unreadableMetadata_ += 32;
        return;
    }
    e.index = uint32_t(entries_.size());
    entries_.push_back(std::move(e));
    const FatEntry& added = entries_.back();
    if (added.isFolder() && validCluster) {
        PendingDirectory d{added.index, added.firstCluster};
        if (added.deleted || insideDeleted) deletedQueue_.push_back(d);
        else liveQueue_.push_back(d);
    }
}

bool FatParser::takeSlot(const uint8_t* s, uint64_t position, uint32_t parent, bool insideDeleted) {
    const uint8_t first = s[0];
    const uint8_t attr = s[11];
    if (first == 0) return false;
    if (rebuilding_) takenSlots_.insert(position);
    PendingLongName& ln = longName_;
    if ((attr & 0x3F) == 0x0F) {
        const bool deletedPiece = first == 0xE5;
        const uint8_t checksum = s[13];
        const bool follows = ln.active && ln.lastSlot + 32 == position;
        if (deletedPiece) {
            if (!follows || !ln.deleted || ln.checksum != checksum || ln.pieces >= kMaxLongNameSlots) {
                ln.clear();
                ln.active = true;
                ln.deleted = true;
                ln.checksum = checksum;
            }
        } else if (first & 0x40) {
            ln.clear();
            const unsigned count = first & 0x1F;
            if (count == 0 || count > kMaxLongNameSlots) return true;
            ln.active = true;
            ln.lastSequence = count + 1;
            ln.checksum = checksum;
        } else if (!follows || ln.deleted || ln.checksum != checksum) {
            ln.clear();
            return true;
        }
        if (!deletedPiece) {
            const unsigned sequence = first & 0x1F;
            if (sequence + 1 != ln.lastSequence) {  // out of order
                ln.clear();
                return true;
            }
            ln.lastSequence = sequence;
        }
        static constexpr int kPieces[3][2] = {{1, 5}, {14, 6}, {28, 2}};
        for (const auto& p : kPieces) ln.units.insert(ln.units.end(), s + p[0], s + p[0] + 2 * p[1]);
        ++ln.pieces;
        ln.lastSlot = position;
        return true;
    }
    const bool follows = ln.active && ln.lastSlot + 32 == position;
    if (first == '.' || (attr & 0x18) == 0x08) {  // "." and "..", volume labels
        ln.clear();
        return true;
    }
    const bool deleted = first == 0xE5;
    std::string name;
    if (follows && ln.deleted == deleted && (deleted || ln.lastSequence == 1)) {
        bool matches = fatShortNameChecksum(s) == ln.checksum;
        if (!matches && deleted) {  // the first character is lost: any value that fits will do
            uint8_t probe[11];
            std::memcpy(probe, s, 11);
            for (int c = 0; c < 256 && !matches; ++c) {
                probe[0] = uint8_t(c);
                matches = fatShortNameChecksum(probe) == ln.checksum;
            }
        }
        if (matches) {
            // The last slot on disk holds the first characters.
            std::vector<uint8_t> ordered;
            ordered.reserve(ln.units.size());
            for (size_t piece = ln.pieces; piece-- > 0;)
                ordered.insert(ordered.end(), ln.units.begin() + piece * 26, ln.units.begin() + piece * 26 + 26);
            size_t units = 0;
            while (units < ordered.size() / 2 && le16(&ordered[units * 2]) != 0) ++units;
            while (units > 0 && le16(&ordered[(units - 1) * 2]) == 0xFFFF) --units;
            name = controlPictures(utf16leToUtf8(ordered.data(), units));
        }
    }
    ln.clear();
    if (name.empty()) name = controlPictures(fatShortName(s, deleted));
    appendFromSlot(s, position, parent, insideDeleted, name);
    return true;
}

void FatParser::walkSlots(const std::vector<uint8_t>& bytes, const std::vector<uint64_t>& where, uint64_t segment,
                          uint32_t parent, bool insideDeleted, bool requireDot) {
    longName_.clear();
    if (segment == 0) return;
    for (size_t i = 0; i + 32 <= bytes.size(); i += 32) {
        const size_t piece = i / segment;
        if (piece >= where.size()) break;
        const uint64_t position = where[piece] + i % segment;
        const uint8_t* s = bytes.data() + i;
        if (requireDot && i == 0 && s[0] != '.') return;  // not a directory
        if (!takeSlot(s, position, parent, insideDeleted)) break;
        // Slots of different clusters are not adjacent on the volume; keep long names across.
        if (longName_.active && (i + 32) % segment == 0 && piece + 1 < where.size())
            longName_.lastSlot = where[piece + 1] - 32;
    }
    longName_.clear();
}

void FatParser::drainDirectories() {
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> where;
    while (!liveQueue_.empty() || !deletedQueue_.empty()) {
        if (stopPolled()) {
            liveQueue_.clear();
            deletedQueue_.clear();
            break;
        }
        // Live folders claim their clusters before deleted ones that point at the same place.
        std::deque<PendingDirectory>& q = liveQueue_.empty() ? deletedQueue_ : liveQueue_;
        const PendingDirectory d = q.front();
        q.pop_front();
        if (walkedFolders_.count(d.cluster)) continue;  // listed again, walked once
        walkedFolders_[d.cluster] = d.entry;
        readDirectoryClusters(d.cluster, bytes, where);
        const bool insideDeleted = entries_[d.entry].deleted || entries_[d.entry].insideDeleted;
        walkSlots(bytes, where, clusterSize_, d.entry, insideDeleted, true);
    }
}

void FatParser::walkFatDirectories() {
    status(walkStatus_);
    entries_.clear();
    walkedFolders_.clear();
    liveQueue_.clear();
    deletedQueue_.clear();
    FatEntry root;
    root.name = "DUMMY ENTRY";
    root.attribute = 0x10;
    entries_.push_back(root);
    if (fat32_) walkedFolders_[rootCluster_] = kFatRootIndex;
    walkSlots(rootBuffer_, rootWhere_, fat32_ ? clusterSize_ : std::max<uint64_t>(rootBytes_, 32), kFatRootIndex,
              false, false);
    drainDirectories();
    if (control) control->clear();
    countDeletedFromFree();
}

// Deleted files whose chain is gone are read from their first cluster through free clusters.
void FatParser::countDeletedFromFree() {
    deletedFromFree_ = 0;
    if (!driveFormatted)
        for (const FatEntry& e : entries_)
            if ((e.deleted || e.insideDeleted) && !e.isFolder() && e.size > clusterSize_ && e.firstCluster >= 2 &&
                e.firstCluster < clusterLimit_ && clusterFree(e.firstCluster))
                ++deletedFromFree_;
    unreadableMetadata_ += unreadableFat_;
    unreadableFat_ = 0;
}

void FatParser::linkFatEntries() {
    const size_t n = entries_.size();
    std::vector<uint32_t> last(n, kFatNoEntry);
    for (FatEntry& e : entries_) e.firstChild = e.nextSibling = kFatNoEntry;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t p = entries_[i].parent;
        if (p >= n || p == i || i == kFatRootIndex) continue;
        if (last[p] == kFatNoEntry) entries_[p].firstChild = uint32_t(i);
        else entries_[last[p]].nextSibling = uint32_t(i);
        last[p] = uint32_t(i);
    }
}

void FatParser::fillFatTree() {
    for (size_t i = 1; i < entries_.size(); ++i) {
        const FatEntry& e = entries_[i];
        if (e.parent != kFatRootIndex) continue;
        if (stopPolled()) break;
        status(format("filling entry =%d in tree ", int(i)));
        if (!tree) continue;
        const TreeItem item = tree->insertItem(e.name, e.isFolder() ? kIconFolder : kIconFile, topItem_, int64_t(i));
        if (e.deleted) tree->setTextColor(item, kColorRed);
    }
    if (tree && topItem_ != kNoItem) tree->expand(topItem_);
    if (control) control->clear();
}

}  // namespace quarvell
