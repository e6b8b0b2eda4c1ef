#include "fs/exfat/Fat64Class.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/Utf.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"

namespace quarvell {

namespace {

constexpr uint64_t kMaxDirectoryBytes = 256ull << 20;  // the largest directory exFAT allows
constexpr uint64_t kFatPageBytes = 64 * 1024;
constexpr size_t kMaxFatPages = 256;                  // 16 MiB of cached FAT
constexpr uint64_t kSearchChunk = 10ull << 20;
constexpr uint64_t kCarveChunk = 4ull << 20;
constexpr size_t kCarveOverlap = 20 * 32;             // the longest entry set
constexpr uint32_t kLastCluster = 0xFFFFFFF6;
constexpr size_t kMaxNamePieces = 17;                 // 255 characters
constexpr uint64_t kBootRegionsBytes = 24 * 512;      // main and backup boot regions

uint64_t ceilDiv(uint64_t a, uint64_t b) { return b ? a / b + (a % b != 0) : 0; }

void appendRun(std::vector<ExfatClusterRun>& runs, uint32_t cluster) {
    if (!runs.empty() && uint64_t(runs.back().first) + runs.back().count == cluster) ++runs.back().count;
    else runs.push_back({cluster, 1});
}

// Clusters met on one chain: a small set first, a bit per cluster once the chain is long.
class ChainSeen {
public:
    explicit ChainSeen(uint64_t clusterEnd) : end_(clusterEnd) {}
    bool insert(uint32_t c) {
        if (bits_.empty()) {
            if (small_.size() < 65536) return small_.insert(c).second;
            bits_.assign(size_t(end_), false);
            for (uint32_t s : small_) bits_[s] = true;
            small_.clear();
        }
        if (c >= bits_.size() || bits_[c]) return false;
        bits_[c] = true;
        return true;
    }

private:
    uint64_t end_;
    std::unordered_set<uint32_t> small_;
    std::vector<bool> bits_;
};

struct DosTime {
    int year, month, day, hour, minute, second;
};

DosTime splitTimestamp(uint32_t ts) {
    const uint32_t date = ts >> 16, time = ts & 0xFFFF;
    return {int(date >> 9) + 1980, int((date >> 5) & 0x0F), int(date & 0x1F),
            int(time >> 11),        int((time >> 5) & 0x3F), int(time & 0x1F) * 2};
}

std::tm calendarTime(const DosTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    return tm;
}

std::string exfatDateText(uint32_t ts) {
    const DosTime t = splitTimestamp(ts);
    if (t.month < 1 || t.month > 12 || t.day < 1) return {};  // no time recorded
    // The stamp is a local time already: written on the shared 12-hour clock as it stands.
    return dateText(calendarTime(t));
}

// The local time a timestamp holds, as seconds since 1970 UTC; unset when it is no valid time.
std::optional<int64_t> timestampToUnix(uint32_t ts) {
    const DosTime t = splitTimestamp(ts);
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > kDays[t.month - 1] || t.hour > 23 || t.minute > 59 ||
        t.second > 59)
        return std::nullopt;
    std::tm tm = calendarTime(t);
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    const std::time_t v = std::mktime(&tm);
    if (v == std::time_t(-1) || tm.tm_mday != t.day) return std::nullopt;
    return int64_t(v);
}

bool allZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------- plumbing

bool Fat64Class::stopPolled() const { return control && control->poll(); }

void Fat64Class::status(const std::string& text) const {
    if (sink) sink->setStatus(text);
}

void Fat64Class::progressRange(int64_t high) const {
    if (sink) sink->setProgressRange(0, high);
}

void Fat64Class::progressPos(int64_t pos) const {
    if (sink) sink->setProgressPos(pos);
}

uint64_t Fat64Class::readVolume(uint64_t offset, uint8_t* buf, size_t count) const {
    std::fill(buf, buf + count, uint8_t(0));
    if (!reader || count > UINT32_MAX || offset >= volumeSize) return count;
    size_t inside = size_t(std::min<uint64_t>(count, volumeSize - offset));
    uint64_t lost = readSalvaging(*reader, int64_t(offset), buf, uint32_t(inside), 512);
    return lost + (count - inside);
}

const ExfatEntry* Fat64Class::entry(int64_t index) const {
    return index >= 0 && uint64_t(index) < entries_.size() ? &entries_[size_t(index)] : nullptr;
}

uint64_t Fat64Class::clusterEnd() const {
    if (clusterSize_ == 0 || heapOffset_ >= volumeSize) return 2;
    return std::min<uint64_t>(2 + (volumeSize - heapOffset_) / clusterSize_, uint64_t(kLastCluster) + 1);
}

// ---------------------------------------------------------------- boot sector

bool Fat64Class::attachExfatReader() {
    if (!reader) return false;
    reader->volumeOrigin = volume.startSector * 512;
    const uint64_t origin = uint64_t(std::max<int64_t>(reader->volumeOrigin, 0));
    const uint64_t fromMedium = reader->mediumLength > origin ? reader->mediumLength - origin : 0;
    const uint64_t fromEntry = volume.lengthInBytes();
    volumeSize = fromEntry && fromMedium ? std::min(fromEntry, fromMedium) : (fromEntry ? fromEntry : fromMedium);
    if (tree) topItem_ = tree->insertItem(rootName, kIconFolder, kNoItem);
    return true;
}

bool Fat64Class::readExfatBootSector() {
    bootValid_ = false;
    if (!reader) return false;
    std::memset(boot_, 0, sizeof boot_);
    if (!reader->seek(0) || !reader->read(boot_, sizeof boot_)) {
        status("cant read file");
        return false;
    }
    if (std::memcmp(boot_ + 3, "EXFAT", 5) != 0) return false;
    const unsigned bpsShift = boot_[108], spcShift = boot_[109];
    // Sectors of 512 to 4096 bytes, clusters of at most 32 MiB: anything else is no exFAT geometry.
    if (bpsShift < 9 || bpsShift > 12 || spcShift > 25 - bpsShift) return false;
    const uint64_t bps = uint64_t(1) << bpsShift;
    const uint64_t fat = uint64_t(le32(boot_ + 80)) * bps;
    const uint64_t heap = uint64_t(le32(boot_ + 88)) * bps;
    if (volumeSize == 0) volumeSize = uint64_t(le64(boot_ + 72)) * bps;
    if (fat == 0 || heap == 0 || fat >= volumeSize || heap >= volumeSize) return false;
    bytesPerSector_ = bps;
    sectorsPerCluster_ = uint64_t(1) << spcShift;
    clusterSize_ = bps << spcShift;
    fatOffset_ = fat;
    heapOffset_ = heap;
    chosenHeap_ = false;
    rootCluster_ = le32(boot_ + 96);
    bootValid_ = true;
    fatPages_.clear();
    return true;
}

int Fat64Class::backupBootClusterShift() const {
    uint8_t b[512] = {};
    if (readVolume(12 * 512, b, sizeof b) != 0 || std::memcmp(b + 3, "EXFAT", 5) != 0) return -1;
    if (b[108] != 9 || b[109] > 16) return -1;
    return b[109];
}

bool Fat64Class::readExfatRootCluster() {
    // The walk reads the root along its chain; here it only has to lie in the cluster heap.
    return validCluster(rootCluster_);
}

// ---------------------------------------------------------------- FAT

uint32_t Fat64Class::fatEntry(uint32_t cluster) const {
    const uint64_t at = fatOffset_ + uint64_t(cluster) * 4;
    if (at + 4 > volumeSize) return 0;
    const uint64_t page = at / kFatPageBytes;
    auto it = fatPages_.find(page);
    if (it == fatPages_.end()) {
        if (fatPages_.size() >= kMaxFatPages) fatPages_.clear();
        std::vector<uint8_t> bytes(static_cast<size_t>(kFatPageBytes));
        readVolume(page * kFatPageBytes, bytes.data(), bytes.size());
        it = fatPages_.emplace(page, std::move(bytes)).first;
    }
    return le32(it->second.data() + (at % kFatPageBytes));
}

int64_t Fat64Class::nextExfatCluster(uint32_t cluster) const {
    ++chainLookups_;
    if (driveFormatted || !validCluster(cluster)) return -1;
    const uint32_t next = fatEntry(cluster);
    return next == 0xFFFFFFFF ? -1 : int64_t(next);
}

std::vector<ExfatClusterRun> Fat64Class::chainRuns(uint32_t first, uint64_t wanted, bool requireFree,
                                                   bool& intact) const {
    std::vector<ExfatClusterRun> runs;
    intact = false;
    if (!validCluster(first) || wanted == 0) return runs;
    const std::vector<bool>* live = requireFree ? &liveClusters() : nullptr;
    ChainSeen seen(clusterEnd());
    uint64_t got = 0;
    uint32_t c = first;
    while (got < wanted) {
        if (live && (*live)[c]) break;
        if (!seen.insert(c)) break;  // a chain that comes back on itself ends there
        appendRun(runs, c);
        if (++got == wanted) {
            intact = true;
            break;
        }
        const int64_t next = nextExfatCluster(c);
        if (next < 2 || !validCluster(uint64_t(next))) break;
        c = uint32_t(next);
    }
    return runs;
}

std::vector<ExfatClusterRun> Fat64Class::freeClusterRuns(uint32_t first, uint64_t wanted) const {
    std::vector<ExfatClusterRun> runs;
    const std::vector<bool>& live = liveClusters();
    const uint64_t end = clusterEnd();
    uint64_t got = 0;
    for (uint64_t c = first; c < end && got < wanted; ++c) {
        if (live[c]) continue;
        appendRun(runs, uint32_t(c));
        ++got;
    }
    return runs;
}

std::vector<ExfatClusterRun> Fat64Class::clusterRuns(const ExfatEntry& e, uint64_t bytes) const {
    const uint64_t wanted = ceilDiv(bytes, clusterSize_);
    if (wanted == 0 || !validCluster(e.firstCluster)) return {};
    if (driveFormatted || !e.fatChain()) {
        const uint64_t count = std::min<uint64_t>(wanted, clusterEnd() - e.firstCluster);
        return {{e.firstCluster, count}};
    }
    bool intact = false;
    if (e.liveContext || !liveWalkDone_) return chainRuns(e.firstCluster, wanted, false, intact);
    // Deleting frees a chain and may clear it: an old chain that still runs its whole length
    // through free clusters is followed; otherwise the data is taken from the first cluster on
    // through the clusters no live file uses, as the file most likely lay.
    std::vector<ExfatClusterRun> runs = chainRuns(e.firstCluster, wanted, true, intact);
    if (intact) return runs;
    return freeClusterRuns(e.firstCluster, wanted);
}

const std::vector<bool>& Fat64Class::liveClusters() const {
    if (liveBuilt_) return live_;
    liveBuilt_ = true;
    live_.assign(size_t(clusterEnd()), false);
    auto mark = [&](const std::vector<ExfatClusterRun>& runs) {
        for (const ExfatClusterRun& r : runs)
            for (uint64_t c = r.first; c < uint64_t(r.first) + r.count && c < live_.size(); ++c) live_[c] = true;
    };
    mark(systemRuns_);
    for (uint32_t c : liveDirectoryClusters_)
        if (c < live_.size()) live_[c] = true;
    for (const ExfatEntry& e : entries_) {
        if (!e.liveContext || e.isFolder()) continue;  // live directories are marked as walked
        mark(clusterRuns(e, std::max(e.dataLength, e.validDataLength)));
    }
    return live_;
}

uint64_t Fat64Class::deletedChainedFiles() const {
    uint64_t n = 0;
    for (size_t i = 1; i < entries_.size(); ++i) {
        const ExfatEntry& e = entries_[i];
        if (!e.liveContext && !e.isFolder() && e.fatChain() && !driveFormatted && e.ownIndex == i &&
            e.dataLength > clusterSize_ && e.name != kExfatOrphanName)
            ++n;
    }
    return n;
}

// ---------------------------------------------------------------- directory walk

void Fat64Class::appendDummy() {
    ExfatEntry dummy;
    dummy.name = kExfatDummyName;
    dummy.attributes = 0x0F;
    dummy.entryType = kExfatFileLive;
    dummy.ownIndex = 0;
    entries_.push_back(dummy);
}

size_t Fat64Class::readEntrySet(const uint8_t* bytes, size_t slots, size_t i, ExfatEntry& out) const {
    const uint8_t* p = bytes + i * 32;
    if (p[0] != kExfatFileLive && p[0] != kExfatFileDeleted) return 0;
    out.entryType = p[0];
    out.attributes = le16(p + 4);
    out.creationTimestamp = le32(p + 8);
    out.modificationTimestamp = le32(p + 12);
    out.accessTimestamp = le32(p + 16);
    out.creation10ms = p[20];
    out.modification10ms = p[21];
    out.creationUtcOffset = p[22];
    out.modificationUtcOffset = p[23];
    out.accessUtcOffset = p[24];
    // The set's own count of secondary entries bounds it, so the deleted leftovers of a longer
    // name that follow a renamed set are not taken into it; a count of 0 falls back to the
    // entries that follow, as many as the longest name needs.
    const size_t secondary = p[1];
    const size_t limit = std::min(slots, i + 1 + (secondary ? secondary : kMaxNamePieces + 1));
    size_t j = i + 1;
    if (j < limit && (bytes[j * 32] == kExfatStreamLive || bytes[j * 32] == kExfatStreamDeleted)) {
        const uint8_t* s = bytes + j * 32;
        out.streamEntryType = s[0];
        out.generalFlags = s[1];
        out.nameLength = s[3];
        out.validDataLength = le64(s + 8);
        out.firstCluster = le32(s + 20);
        out.dataLength = le64(s + 24);
        ++j;
    }
    std::vector<uint8_t> units;
    size_t pieces = 0;
    while (j < limit && pieces < kMaxNamePieces &&
           (bytes[j * 32] == kExfatNameLive || bytes[j * 32] == kExfatNameDeleted)) {
        const uint8_t* n = bytes + j * 32;
        for (size_t k = 0; k < 15; ++k) {
            if (n[2 + 2 * k] == 0 && n[3 + 2 * k] == 0) break;
            units.push_back(n[2 + 2 * k]);
            units.push_back(n[3 + 2 * k]);
        }
        ++j;
        ++pieces;
    }
    if (out.nameLength > 0 && units.size() > size_t(out.nameLength) * 2) units.resize(size_t(out.nameLength) * 2);
    out.name = controlPictures(utf16leToUtf8(units.data(), units.size() / 2));
    return j - i;
}

std::vector<uint32_t> Fat64Class::directoryClusters(uint32_t index) {
    const uint64_t maxClusters = std::max<uint64_t>(1, kMaxDirectoryBytes / clusterSize_);
    std::vector<ExfatClusterRun> runs;
    bool live = true;
    if (index == 0) {
        bool intact = false;
        runs = chainRuns(rootCluster_, driveFormatted ? 1 : maxClusters, false, intact);
    } else {
        const ExfatEntry e = entries_[index];
        live = e.liveContext;
        uint64_t bytes = std::max(e.dataLength, e.validDataLength);
        bytes = std::min(std::max<uint64_t>(bytes, clusterSize_), maxClusters * clusterSize_);
        runs = clusterRuns(e, bytes);
    }
    std::vector<uint32_t> out;
    for (const ExfatClusterRun& r : runs) {
        for (uint64_t c = r.first; c < uint64_t(r.first) + r.count; ++c) {
            if (!visitedClusters_.insert(uint32_t(c)).second) return out;  // walked before: stop here
            out.push_back(uint32_t(c));
            if (live) liveDirectoryClusters_.push_back(uint32_t(c));
        }
    }
    return out;
}

void Fat64Class::parseDirectory(const std::vector<uint8_t>& bytes, const std::vector<uint32_t>& clusters,
                                uint32_t parent, bool liveContext, std::vector<DirectoryWork>& live,
                                std::vector<DirectoryWork>& deleted) {
    const size_t slots = bytes.size() / 32;
    const uint64_t perCluster = clusterSize_ / 32;
    std::vector<DirectoryWork> liveDirs, deletedDirs;
    for (size_t i = 0; i < slots;) {
        const uint8_t* p = bytes.data() + i * 32;
        if ((p[0] == kExfatBitmap || p[0] == kExfatUpcase) && liveContext && parent == 0) {
            ExfatEntry system;
            system.firstCluster = le32(p + 20);
            system.liveContext = true;
            const uint64_t length = std::min<uint64_t>(le64(p + 24), volumeSize);
            for (const ExfatClusterRun& r : clusterRuns(system, length)) systemRuns_.push_back(r);
        }
        if (p[0] != kExfatFileLive && p[0] != kExfatFileDeleted) {
            ++i;
            continue;
        }
        ExfatEntry e;
        const size_t span = readEntrySet(bytes.data(), slots, i, e);
        e.parent = parent;
        e.ownIndex = uint32_t(entries_.size());
        const uint64_t cluster = clusters[size_t(i / perCluster)];
        e.position = clusterOffset(uint32_t(cluster)) + (i % perCluster) * 32;
        e.liveContext = liveContext && !e.isDeleted();
        entries_.push_back(std::move(e));
        const ExfatEntry& added = entries_.back();
        if (added.isFolder() && validCluster(added.firstCluster))
            (added.liveContext ? liveDirs : deletedDirs).push_back({added.ownIndex, added.liveContext});
        i += std::max<size_t>(span, 1);
    }
    // Stacks: pushed in reverse so that a directory's sub-directories are walked in their order.
    for (auto it = liveDirs.rbegin(); it != liveDirs.rend(); ++it) live.push_back(*it);
    for (auto it = deletedDirs.rbegin(); it != deletedDirs.rend(); ++it) deleted.push_back(*it);
}

// Live directories are walked first, so that they claim their clusters before any deleted
// directory that once used the same ones, and so that the clusters in use are known when the
// deleted directories are read. Only one directory's bytes are in memory at a time and the
// walk keeps its own stack: no recursion, whatever the depth.
void Fat64Class::runDirectoryWalk(std::vector<DirectoryWork>& live, std::vector<DirectoryWork>& deleted) {
    std::vector<uint8_t> bytes;
    uint64_t walked = 0;
    while (!live.empty() || !deleted.empty()) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        DirectoryWork w;
        if (!live.empty()) {
            w = live.back();
            live.pop_back();
        } else {
            liveWalkDone_ = true;
            w = deleted.back();
            deleted.pop_back();
        }
        const std::vector<uint32_t> clusters = directoryClusters(w.index);
        if (clusters.empty()) continue;
        bytes.assign(clusters.size() * size_t(clusterSize_), 0);
        for (size_t k = 0; k < clusters.size();) {
            size_t run = 1;
            while (k + run < clusters.size() && clusters[k + run] == clusters[k] + run && run < 256) ++run;
            unreadableMetadata_ += readVolume(clusterOffset(clusters[k]), bytes.data() + k * clusterSize_,
                                              size_t(run * clusterSize_));
            k += run;
        }
        parseDirectory(bytes, clusters, w.index, w.liveContext, live, deleted);
        if (++walked % 256 == 0) progressPos(int64_t(walked));
    }
    liveWalkDone_ = true;
}

void Fat64Class::walkExfatDirectories() {
    entries_.clear();
    visitedClusters_.clear();
    liveDirectoryClusters_.clear();
    systemRuns_.clear();
    liveBuilt_ = false;
    liveWalkDone_ = false;
    appendDummy();
    std::vector<DirectoryWork> live{{0, true}}, deleted;
    runDirectoryWalk(live, deleted);
}

// ---------------------------------------------------------------- linking and the tree

// Every record joins the end of its parent's chain, in record order, in one pass.
void Fat64Class::linkExfatEntries() {
    const size_t n = entries_.size();
    std::vector<uint32_t> last(n, 0);
    for (ExfatEntry& e : entries_) e.firstChild = e.nextSibling = 0;
    for (size_t i = 1; i < n; ++i) {
        const uint32_t p = entries_[i].parent;
        if (p >= n || p == i) continue;
        if (entries_[p].firstChild == 0) entries_[p].firstChild = uint32_t(i);
        else entries_[last[p]].nextSibling = uint32_t(i);
        last[p] = uint32_t(i);
    }
}

void Fat64Class::fillExfatTree() {
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (stopPolled()) break;
        const ExfatEntry& e = entries_[i];
        if (e.parent != 0 || e.name == kExfatDummyName) continue;
        status(format("filling entry =%d in tree ", int(i)));
        if (!tree) continue;
        const TreeItem item = tree->insertItem(e.name, e.isFolder() ? kIconFolder : kIconFile, topItem_, int64_t(i));
        if (e.isDeleted()) tree->setTextColor(item, kColorRed);
    }
    if (tree && topItem_ != kNoItem) tree->expand(topItem_);
    if (control) control->clear();
}

// ---------------------------------------------------------------- texts and data

std::string Fat64Class::formatExfatEntrySize(const ExfatEntry& e) const { return sizeText(e.validDataLength); }

EntryTexts Fat64Class::formatExfatEntryTimes(const ExfatEntry& e) const {
    std::string attributes;
    if (e.attributes & 0x01) attributes += "-R";
    if (e.attributes & 0x02) attributes += "-H";
    if (e.attributes & 0x04) attributes += "-S";
    if (e.attributes & 0x20) attributes += "-A";
    return {exfatDateText(e.creationTimestamp), exfatDateText(e.accessTimestamp),
            exfatDateText(e.modificationTimestamp), attributes};
}

uint64_t Fat64Class::savedSize(const ExfatEntry& e) const {
    const uint64_t heapBytes = (clusterEnd() - 2) * clusterSize_;
    return std::min(e.dataLength, heapBytes);
}

// The file's bytes up to its valid data length come from its clusters; from there to its data
// length the file reads as zeros. Nothing is ever held in memory: the run writer streams.
FileData Fat64Class::exfatFileData(const ExfatEntry& e) const {
    FileData d;
    d.source = reader;
    d.readUnit = 512;
    if (e.isFolder()) {
        d.unsupported = "not a file";
        return d;
    }
    d.size = savedSize(e);
    d.endsAtAllocation = true;
    const uint64_t valid = std::min(e.validDataLength, d.size);
    uint64_t covered = 0;
    for (const ExfatClusterRun& r : clusterRuns(e, valid)) {
        if (covered >= valid) break;
        const uint64_t offset = clusterOffset(r.first);
        const uint64_t length = std::min(r.count * clusterSize_, valid - covered);
        const uint64_t inside = offset < volumeSize ? std::min(length, volumeSize - offset) : 0;
        if (inside) d.runs.push_back({DataRun::Kind::Volume, offset, inside});
        if (length > inside) d.runs.push_back({DataRun::Kind::PastVolume, 0, length - inside});
        covered += length;
    }
    if (covered < valid) d.runs.push_back({DataRun::Kind::PastVolume, 0, valid - covered});
    if (d.size > valid) d.runs.push_back({DataRun::Kind::Hole, 0, d.size - valid});
    d.modificationTime = timestampToUnix(e.modificationTimestamp);
    d.accessTime = timestampToUnix(e.accessTimestamp);
    return d;
}

// ---------------------------------------------------------------- advanced road

std::vector<uint64_t> Fat64Class::scanSignature(int wanted, bool fatStart) {
    static const uint8_t kFat[8] = {0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    static const uint8_t kHeap[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t* sig = fatStart ? kFat : kHeap;
    if (wanted < 1) wanted = 3;
    std::vector<uint64_t> found;
    progressRange(1000);
    std::vector<uint8_t> buf;
    for (uint64_t off = 0; off < volumeSize; off += kSearchChunk) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        const size_t n = size_t(std::min(kSearchChunk, volumeSize - off));
        buf.resize(n);
        readVolume(off, buf.data(), n);
        status(format("Parsing Disk Currently at position %f of the disk of size %f", double(off),
                      double(volumeSize)));
        progressPos(int64_t(off * 1000 / volumeSize));
        for (size_t s = 0; s + 8 <= n; s += 512) {
            // The two boot regions (12 sectors each) come before any heap; their OEM parameter
            // sectors are all 0xFF on a freshly made volume and are no heap start.
            if (!fatStart && off + s < kBootRegionsBytes) continue;
            if (std::memcmp(buf.data() + s, sig, 8) != 0) continue;
            found.push_back(off + s);
            if (fatStart) status(format("found fat entry  %d ", int(found.size())));
            if (found.size() >= size_t(wanted)) return found;
        }
    }
    return found;
}

std::vector<uint64_t> Fat64Class::findExfatFatStarts(int wanted) {
    foundFats_ = scanSignature(wanted, true);
    return foundFats_;
}

std::vector<uint64_t> Fat64Class::findExfatHeapStarts(int wanted) {
    foundHeaps_ = scanSignature(wanted, false);
    // The boot sector's own heap offset, when there is one, is the first choice.
    if (bootValid_) {
        if (foundHeaps_.empty()) foundHeaps_.push_back(heapOffset_);
        else foundHeaps_[0] = heapOffset_;
    }
    return foundHeaps_;
}

void Fat64Class::setExfatGeometry(unsigned shift) {
    shift = std::min(shift, 16u);  // clusters of at most 32 MiB
    bytesPerSector_ = 512;
    sectorsPerCluster_ = uint64_t(1) << shift;
    clusterSize_ = bytesPerSector_ * sectorsPerCluster_;
    chosenHeap_ = true;
    fatPages_.clear();
}

void Fat64Class::carveExfatEntrySets() {
    carved_.clear();
    labelPosition_ = bitmapPosition_ = 0;
    progressRange(1000);
    std::vector<uint8_t> buf;
    for (uint64_t off = 0; off < volumeSize; off += kCarveChunk) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        const size_t n = size_t(std::min<uint64_t>(kCarveChunk + kCarveOverlap, volumeSize - off));
        buf.resize(n);
        unreadableMetadata_ += readVolume(off, buf.data(), n);
        const size_t own = std::min<size_t>(size_t(kCarveChunk), n);
        for (size_t s = 0; s + 32 <= own; s += 32) {
            const uint8_t* p = buf.data() + s;
            if (p[0] == kExfatLabel && p[1] <= 11 && allZero(p + 24, 8)) labelPosition_ = off + s;
            if (p[0] == kExfatBitmap && p[1] <= 1 && allZero(p + 2, 18) && le32(p + 20) >= 2) bitmapPosition_ = off + s;
            if (p[0] != kExfatFileLive && p[0] != kExfatFileDeleted) continue;
            const uint16_t attributes = le16(p + 4);
            if ((attributes & ~0x37u) != 0 || le16(p + 6) != 0 || !allZero(p + 25, 7)) continue;
            const size_t secondary = p[1];
            if (secondary < 2 || s + 64 > n) continue;
            const uint8_t* q = p + 32;
            if ((q[0] != kExfatStreamLive && q[0] != kExfatStreamDeleted) || q[2] != 0 || le16(q + 6) != 0 ||
                le32(q + 16) != 0 || (q[1] != 1 && q[1] != 3) || q[3] == 0)
                continue;
            const size_t names = ceilDiv(q[3], 15);
            if (secondary < 1 + names || s + 32 * (2 + names) > n) continue;
            bool named = true;
            for (size_t k = 0; k < names && named; ++k) {
                const uint8_t t = p[64 + 32 * k];
                named = t == kExfatNameLive || t == kExfatNameDeleted;
            }
            if (!named) continue;
            carved_.push_back(off + s);
        }
        status(format("found Entry %d ", int(carved_.size())));
        progressPos(int64_t(off * 1000 / volumeSize));
    }
}

bool Fat64Class::rebuildExfatTree(uint64_t heapPosition, uint64_t fatPosition) {
    if (heapPosition == 0 || fatPosition == 0 || clusterSize_ == 0) return false;
    heapOffset_ = heapPosition;
    fatOffset_ = fatPosition;
    chosenHeap_ = true;
    fatPages_.clear();
    entries_.clear();
    visitedClusters_.clear();
    liveDirectoryClusters_.clear();
    systemRuns_.clear();
    liveBuilt_ = false;
    liveWalkDone_ = false;
    appendDummy();
    ExfatEntry orphan;
    orphan.name = kExfatOrphanName;
    orphan.attributes = kExfatDirectoryBit;
    orphan.entryType = kExfatFileLive;
    orphan.ownIndex = 1;
    orphan.parent = 0;
    entries_.push_back(orphan);

    auto clusterOf = [&](uint64_t pos) -> uint64_t {
        return pos >= heapOffset_ ? (pos - heapOffset_) / clusterSize_ + 2 : 0;
    };
    // The root directory is the one holding the volume label (or the allocation bitmap) entry.
    std::unordered_set<uint32_t> root;
    const uint64_t rootMark = labelPosition_ ? labelPosition_ : bitmapPosition_;
    if (rootMark && validCluster(clusterOf(rootMark))) {
        bool intact = false;
        rootCluster_ = uint32_t(clusterOf(rootMark));
        for (const ExfatClusterRun& r :
             chainRuns(rootCluster_, std::max<uint64_t>(1, kMaxDirectoryBytes / clusterSize_), false, intact))
            for (uint64_t c = r.first; c < uint64_t(r.first) + r.count; ++c) {
                root.insert(uint32_t(c));
                visitedClusters_.insert(uint32_t(c));
                liveDirectoryClusters_.push_back(uint32_t(c));
            }
    }

    // Each carved set once; those that lie inside a carved directory's clusters are left to the
    // walk of that directory, which finds them with their right parent.
    std::vector<ExfatEntry> sets;
    sets.reserve(carved_.size());
    std::unordered_map<uint32_t, size_t> owner;
    std::vector<uint8_t> buf(2048);
    for (uint64_t pos : carved_) {
        if (stopPolled()) break;
        readVolume(pos, buf.data(), buf.size());
        ExfatEntry e;
        if (readEntrySet(buf.data(), buf.size() / 32, 0, e) == 0) continue;
        e.position = pos;
        e.liveContext = !e.isDeleted();
        if (e.isFolder()) {
            const uint64_t bytes = std::min(std::max<uint64_t>(std::max(e.dataLength, e.validDataLength), clusterSize_),
                                            kMaxDirectoryBytes);
            ExfatEntry asLive = e;
            asLive.liveContext = true;
            for (const ExfatClusterRun& r : clusterRuns(asLive, bytes))
                for (uint64_t c = r.first; c < uint64_t(r.first) + r.count; ++c) owner.emplace(uint32_t(c), sets.size());
        }
        sets.push_back(std::move(e));
    }
    std::vector<DirectoryWork> live, deleted;
    for (size_t k = 0; k < sets.size(); ++k) {
        ExfatEntry& e = sets[k];
        const uint64_t cluster = clusterOf(e.position);
        auto it = owner.find(uint32_t(cluster));
        if (cluster >= 2 && it != owner.end() && it->second != k && !root.count(uint32_t(cluster))) continue;
        e.parent = root.count(uint32_t(cluster)) ? 0 : 1;
        e.ownIndex = uint32_t(entries_.size());
        entries_.push_back(std::move(e));
        const ExfatEntry& added = entries_.back();
        if (added.isFolder() && validCluster(added.firstCluster))
            (added.liveContext ? live : deleted).push_back({added.ownIndex, added.liveContext});
    }
    std::reverse(live.begin(), live.end());
    std::reverse(deleted.begin(), deleted.end());
    runDirectoryWalk(live, deleted);
    return true;
}

}  // namespace quarvell
