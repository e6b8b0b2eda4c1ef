// The advanced road: FAT starts found anywhere on the volume, directory entries carved from
// every cluster, and the tree rebuilt from a chosen FAT position.
#include <algorithm>
#include <cstring>
#include <map>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "fs/fat/FatParser.h"

namespace quarvell {

namespace {

constexpr uint64_t kSearchChunk = 10ull << 20;  // the FAT search reads 10 MiB at a time
constexpr uint64_t kCarveChunk = 4ull << 20;
constexpr size_t kMaxCarvedSlots = 8u << 20;
constexpr uint64_t kAdvancedRootBytes = 512 * 32;  // the advanced road's FAT12/16 root: 512 entries

bool alnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool secondByte(uint8_t c) { return alnum(c) || c == ' ' || c == ')' || c == '.' || c == '~' || c == 0xE5; }

bool plausibleDate(uint16_t d, bool zeroAllowed) {
    if (d == 0) return zeroAllowed;
    const unsigned month = (d >> 5) & 15;
    return (d & 31) != 0 && month >= 1 && month <= 12;
}

bool plausibleTime(uint16_t t) { return t < 0xC000 && ((t >> 5) & 63) < 60 && (t & 31) < 30; }

bool isPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

template <typename T>
T mostFrequent(const std::map<T, unsigned>& votes) {
    T best{};
    unsigned n = 0;
    for (const auto& [value, count] : votes)
        if (count > n) best = value, n = count;
    return best;
}

}  // namespace

std::vector<uint64_t> FatParser::findFatStarts(uint64_t wanted, std::vector<std::string>* messages) {
    std::vector<uint64_t> found;
    if (wanted < 1) wanted = 3;
    const uint64_t size = volumeBytes_;
    if (sink) sink->setProgressRange(0, 1000);
    std::vector<uint8_t> buf(kSearchChunk);
    static const uint8_t kFat32[4] = {0xF8, 0xFF, 0xFF, 0x0F};
    static const uint8_t kFat16[4] = {0xF8, 0xFF, 0xFF, 0xFF};
    for (uint64_t pos = 0; pos < size && found.size() < wanted; pos += kSearchChunk) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        const uint32_t n = uint32_t(std::min(kSearchChunk, size - pos));
        readAt(pos, buf.data(), n);
        if (fat32_) status(format("Parsing Disk Currently at position %f of the disk of size %f", double(pos), double(size)));
        if (sink) sink->setProgressPos(int64_t(pos * 1000 / size));
        for (uint32_t off = 0; off + 8 <= n && found.size() < wanted; off += 512) {
            const uint8_t* b = buf.data() + off;
            bool hit;
            if (fat32_)
                hit = std::memcmp(b, kFat32, 4) == 0 && b[4] == 0xFF && b[5] == 0xFF && b[6] == 0xFF &&
                      (b[7] == 0xFF || b[7] == 0x0F);
            else
                hit = std::memcmp(b, kFat16, 4) == 0;
            if (!hit) continue;
            found.push_back(pos + off);
            const std::string text = format("found fat entry  %d ", int(found.size()));
            status(text);
            if (messages) messages->push_back(text);
        }
    }
    if (sink) sink->setProgressPos(1000);
    return found;
}

bool FatParser::advancedGeometry(uint32_t sectorsPerCluster, uint64_t dataStart) {
    const uint64_t clusterBytes = uint64_t(sectorsPerCluster) * 512;
    if (clusterBytes == 0 || chosenFat_ >= volumeBytes_ || dataStart >= volumeBytes_) return false;
    const uint64_t clusters = (volumeBytes_ - dataStart) / clusterBytes;
    const uint64_t fatBytes = std::min<uint64_t>(volumeBytes_ - chosenFat_, (clusters + 2) * (fat32_ ? 4 : 2));
    return setGeometry(512, sectorsPerCluster, chosenFat_, fatBytes, 1, dataStart, volumeBytes_);
}

bool FatParser::readFatAtPosition(uint64_t position, uint32_t sectorsPerCluster) {
    advanced_ = true;
    // A boot sector that is still usable gives the data start (and, unless chosen, the cluster size).
    bootSectorUsable_ = readFatBootSector();
    const uint64_t bootDataStart = bootSectorUsable_ ? dataStart_ : 0;
    if (sectorsPerCluster == 0 && bootSectorUsable_) sectorsPerCluster = clusterSize_ / 512;
    chosenSectorsPerCluster_ = sectorsPerCluster;
    chosenFat_ = position;
    // Until the geometry is known, carve with the smallest clusters (the most lenient cluster test).
    return advancedGeometry(sectorsPerCluster ? sectorsPerCluster : 1, bootDataStart);
}

bool FatParser::isDotSlot(const uint8_t* s) const {
    return std::memcmp(s, ".          ", 11) == 0 && (s[11] & 0x10) && std::memcmp(s + 32, "..         ", 11) == 0;
}

bool FatParser::plausibleSlot(const uint8_t* s) const {
    const uint8_t b0 = s[0], b1 = s[1], attr = s[11];
    const bool deleted = b0 == 0xE5;
    if (attr == 0x0F) {
        const bool second = secondByte(b1) || (b1 == '_' && !deleted);
        return second && s[12] == 0 && le16(s + 26) == 0;
    }
    const uint32_t cluster = fat32_ ? (uint32_t(le16(s + 20)) << 16 | le16(s + 26)) : le16(s + 26);
    if (!plausibleDate(le16(s + 16), true) || !plausibleDate(le16(s + 18), true) || !plausibleDate(le16(s + 24), false) ||
        !plausibleTime(le16(s + 14)) || !plausibleTime(le16(s + 22)))
        return false;
    const bool folder = (attr >= 0x10 && attr <= 0x12) || (attr >= 0x14 && attr <= 0x16) || attr == 0x30;
    if (folder) {
        if (!(alnum(b0) || b0 == '$' || b0 == '~' || deleted) || !secondByte(b1)) return false;
        if (le32(s + 28) != 0) return false;
        return deleted || (cluster != 0 && cluster < clusterLimit_);
    }
    // Files: any attribute without the folder, label or reserved bits (read-only, hidden and
    // system files included).
    if ((attr & 0xD8) != 0) return false;
    if (!(alnum(b0) || deleted || b0 == '~') || !secondByte(b1)) return false;
    if ((s[12] & ~0x18) != 0) return false;
    return cluster < clusterLimit_;
}

void FatParser::carveFatDirectoryEntries() {
    carved_.clear();
    dots_.clear();
    const uint64_t size = volumeBytes_;
    if (size == 0 || clusterSize_ == 0) return;
    if (sink) sink->setProgressRange(0, fat32_ ? 1000 : 100000);
    std::vector<uint8_t> buf(kCarveChunk + 64);
    size_t lastShown = SIZE_MAX;
    for (uint64_t pos = 0; pos < size; pos += kCarveChunk) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        const uint32_t n = uint32_t(std::min<uint64_t>(kCarveChunk + 64, size - pos));
        readAt(pos, buf.data(), n);
        const uint32_t slots = uint32_t(std::min<uint64_t>(kCarveChunk, n));
        for (uint32_t off = 0; off + 32 <= slots; off += 32) {
            const uint8_t* s = buf.data() + off;
            if (s[0] == 0) continue;
            if (off + 64 <= n && isDotSlot(s)) {
                const uint32_t c = fat32_ ? (uint32_t(le16(s + 20)) << 16 | le16(s + 26)) : le16(s + 26);
                if (c >= 2) dots_.emplace_back(pos + off, c);
                continue;
            }
            if (!plausibleSlot(s)) continue;
            if (carved_.size() >= kMaxCarvedSlots) {
                unreadableMetadata_ += 32;
                continue;
            }
            carved_.push_back(pos + off);
        }
        if (fat32_) {
            if (sink) sink->setProgressPos(int64_t((pos + slots) * 1000 / size));
            if (carved_.size() != lastShown) status(format("found file or directory =  %d ", int(carved_.size())));
            lastShown = carved_.size();
        } else {
            if (sink) sink->setProgressPos(int64_t(double(pos + slots) / double(size) * 100000));
            status(format("currently at sector %lld of %lld", static_cast<long long>((pos + slots) / 512),
                          static_cast<long long>(size / 512)));
        }
    }
    estimateGeometryFromDots();
}

// Every folder's first cluster begins with "." and "..": their positions and cluster numbers
// give the cluster size (when it was not chosen) and the data start (when no boot sector does).
void FatParser::estimateGeometryFromDots() {
    uint32_t spc = chosenSectorsPerCluster_;
    if (spc == 0) {
        std::map<uint64_t, unsigned> votes;
        std::vector<std::pair<uint32_t, uint64_t>> byCluster;
        for (const auto& [p, c] : dots_) byCluster.emplace_back(c, p);
        std::sort(byCluster.begin(), byCluster.end());
        for (size_t i = 1; i < byCluster.size(); ++i) {
            const auto [c1, p1] = byCluster[i - 1];
            const auto [c2, p2] = byCluster[i];
            if (c2 <= c1 || p2 <= p1 || (p2 - p1) % (c2 - c1) != 0) continue;
            const uint64_t bytes = (p2 - p1) / (c2 - c1);
            if (bytes >= 512 && bytes <= (128u << 9) && isPowerOfTwo(bytes)) ++votes[bytes];
        }
        spc = votes.empty() ? (fat32_ ? 8 : 4) : uint32_t(mostFrequent(votes) / 512);
    }
    uint64_t start = dataStart_;
    if (!bootSectorUsable_) {
        const uint64_t cluster = uint64_t(spc) * 512;
        std::map<uint64_t, unsigned> votes;
        for (const auto& [p, c] : dots_) {
            const uint64_t before = uint64_t(c - 2) * cluster;
            if (p >= before && p - before > chosenFat_) ++votes[p - before];
        }
        if (!votes.empty()) {
            start = mostFrequent(votes);
        } else {
            // No folder to go by: the first entry after the FAT is taken as the second slot of the root.
            start = 0;
            for (uint64_t p : carved_)
                if (p > chosenFat_ + 32) {
                    start = p - 32;
                    break;
                }
            if (!fat32_) start += kAdvancedRootBytes;
        }
    }
    advancedGeometry(spc, start);
    if (!bootSectorUsable_) {
        rootCluster_ = 2;
        rootBytes_ = fat32_ ? 0 : kAdvancedRootBytes;
        rootStart_ = !fat32_ && dataStart_ >= kAdvancedRootBytes ? dataStart_ - kAdvancedRootBytes : dataStart_;
    }
}

void FatParser::rebuildFatEntries() {
    rebuilding_ = true;
    entries_.clear();
    walkedFolders_.clear();
    liveQueue_.clear();
    deletedQueue_.clear();
    directoryClusters_.clear();
    takenSlots_.clear();
    FatEntry root;
    root.name = "DUMMY ENTRY";
    root.attribute = 0x10;
    entries_.push_back(root);
    FatEntry orphan;
    orphan.name = "ORPHAN ENTRY";
    orphan.attribute = 0x10;
    orphan.index = kFatOrphanIndex;
    entries_.push_back(orphan);

    // The root directory and everything reached from it.
    if (fat32_) walkedFolders_[rootCluster_] = kFatRootIndex;
    countRootFatEntries();
    readRootDirectory();
    walkSlots(rootBuffer_, rootWhere_, fat32_ ? clusterSize_ : std::max<uint64_t>(rootBytes_, 32), kFatRootIndex,
              false, false);
    drainDirectories();

    // Every carved slot no walk reached, in volume order; a carved folder is walked at once so
    // that the slots it reaches are listed inside it, not again as orphans.
    const uint64_t firstUsable = fat32_ ? dataStart_ : rootStart_;
    std::vector<uint8_t> block(64 * 1024);
    uint64_t blockStart = UINT64_MAX;
    longName_.clear();
    for (uint64_t p : carved_) {
        if (stopPolled()) break;
        if (p < firstUsable || takenSlots_.count(p)) continue;
        const uint64_t want = p / block.size() * block.size();
        if (want != blockStart) {
            blockStart = want;
            unreadableMetadata_ +=
                readAt(blockStart, block.data(), uint32_t(std::min<uint64_t>(block.size(), volumeBytes_ - blockStart)));
        }
        const uint8_t* s = block.data() + (p - blockStart);
        takeSlot(s, p, kFatOrphanIndex, false);
        if (!liveQueue_.empty() || !deletedQueue_.empty()) {
            const PendingLongName keep = longName_;
            drainDirectories();
            longName_ = keep;
        }
    }
    longName_.clear();
    rebuilding_ = false;
    takenSlots_.clear();
    if (control) control->clear();
    countDeletedFromFree();
}

}  // namespace quarvell
