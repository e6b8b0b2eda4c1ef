// ntfs: the boot sector, the boot-sector road to the MFT, and the MFT slots as entries.
#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"
#include "fs/ntfs/NtfsRecord.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

namespace {
constexpr uint64_t kDefaultClusterSize = 4096;
constexpr uint64_t kMaxClusterSize = 2u << 20;

bool usableRecordSize(uint64_t n) { return n == 1024 || n == 4096; }
}  // namespace

bool ntfs::stopPolled() const { return control && control->poll(); }
void ntfs::status(const std::string& text) const {
    if (sink) sink->setStatus(text);
}
void ntfs::progressRange(int64_t high) const {
    if (sink) sink->setProgressRange(0, high);
}
void ntfs::progressPos(int64_t pos) const {
    if (sink) sink->setProgressPos(pos);
}

uint64_t ntfs::readSalvaged(uint64_t offset, uint8_t* buf, size_t count) const {
    if (!reader || count > UINT32_MAX || offset > uint64_t(INT64_MAX) - count) {
        std::memset(buf, 0, count);
        return count;
    }
    return readSalvaging(*reader, int64_t(offset), buf, uint32_t(count), sectorSize_);
}

// A record that could not be read once (here or in the parse's batches) is not read again:
// on a failing drive every retry costs the drive's own retries.
bool ntfs::readRecord(uint64_t offset, std::vector<uint8_t>& record) const {
    record.assign(recordSize_, 0);
    if (unreadableRecords_.count(offset)) return false;
    const uint64_t lost = besideBadSectors(offset) && reader
                              ? rereadSalvaging(*reader, int64_t(offset), record.data(), uint32_t(record.size()), sectorSize_)
                              : readSalvaged(offset, record.data(), record.size());
    if (lost == record.size()) {
        unreadableRecords_.insert(offset);
        return false;
    }
    if (!hasFileSignature(record.data(), record.size())) return false;
    applyFixups(record.data(), record.size(), sectorSize_);
    return true;
}

bool ntfs::besideBadSectors(uint64_t offset) const {
    auto after = std::upper_bound(suspectBatches_.begin(), suspectBatches_.end(), offset,
                                  [](uint64_t v, const std::pair<uint64_t, uint64_t>& r) { return v < r.second; });
    return after != suspectBatches_.end() && after->first <= offset;
}

void ntfs::attachVolume() {
    if (reader) reader->volumeOrigin = volume.startSector * 512;
    if (tree) {
        topItem_ = tree->insertItem(rootName, kIconFolder, kNoItem);
        tree->expand(topItem_);
    }
}

bool ntfs::readNtfsBootSector() {
    uint8_t b[512] = {};
    const bool read = readSalvaged(0, b, sizeof b) < sizeof b;
    boot_ = NtfsBootSector{};
    boot_.valid = read && std::memcmp(b + 3, "NTFS", 4) == 0;
    uint64_t fromBoot = 0;
    if (boot_.valid) {
        const uint32_t bps = le16(b + 11);
        boot_.bytesPerSector = (bps >= 256 && bps <= 4096 && (bps & (bps - 1)) == 0) ? bps : 512;
        boot_.sectorsPerCluster = b[13];
        // Sectors per cluster above 128 give the cluster size as a negative power of two.
        if (b[13] > 128) {
            const unsigned shift = 256u - b[13];
            boot_.sectorsPerCluster = shift <= 21 ? (1u << shift) / boot_.bytesPerSector : 0;
        }
        boot_.totalSectors = le64(b + 40);
        boot_.mftCluster = le64(b + 48);
        const int8_t perRecord = int8_t(b[64]);
        const uint64_t cluster = uint64_t(boot_.bytesPerSector) * boot_.sectorsPerCluster;
        uint64_t size = 0;
        if (perRecord > 0) size = cluster * uint64_t(perRecord);
        else if (perRecord < 0 && perRecord > -31) size = uint64_t(1) << unsigned(-perRecord);
        boot_.recordSize = usableRecordSize(size) ? uint32_t(size) : 1024;
        sectorSize_ = boot_.bytesPerSector;
        recordSize_ = boot_.recordSize;
        if (boot_.totalSectors < UINT64_MAX / boot_.bytesPerSector)
            fromBoot = boot_.totalSectors * boot_.bytesPerSector;
    }
    // The volume ends where its boot sector says, or where the medium or the volume entry end.
    uint64_t limit = volume.lengthInBytes();
    uint64_t medium = 0;
    if (reader && reader->mediumLength > uint64_t(std::max<int64_t>(reader->volumeOrigin, 0))) {
        medium = reader->mediumLength - uint64_t(std::max<int64_t>(reader->volumeOrigin, 0));
        limit = limit ? std::min(limit, medium) : medium;
    }
    // Nothing lies past the medium's end: a boot sector claiming more (a damaged or hostile one)
    // must not send the scans walking terabytes of zeros.
    volumeBytes_ = fromBoot ? (medium ? std::min(fromBoot, medium) : fromBoot) : limit;
    return volumeBytes_ != 0;
}

void ntfs::setSectorsPerCluster(uint32_t sectors) {
    if (sectors > 0) clusterSize_ = uint64_t(sectors) * 512;
}

uint64_t ntfs::inferClusterSize(uint64_t recordOffset, const std::vector<MftRun>& runs) const {
    if (!runs.empty() && !runs[0].sparse && runs[0].start > 0 && recordOffset % uint64_t(runs[0].start) == 0) {
        const uint64_t size = recordOffset / uint64_t(runs[0].start);
        if (size >= 512 && size <= kMaxClusterSize && (size & (size - 1)) == 0) return size;
    }
    return kDefaultClusterSize;
}

uint32_t ntfs::recordSizeOf(const uint8_t* record) const {
    // Bytes allocated for the record, in its header.
    const uint32_t allocated = le32(record + 28);
    return usableRecordSize(allocated) ? allocated : 1024;
}

// Takes the MFT run list from the record at that offset; the run list is what gives the MFT.
void ntfs::takeMftRuns(uint64_t recordOffset) {
    const NtfsStream s = readStream(recordOffset, kAttrData, nullptr);
    mftRuns_ = s.resident ? std::vector<MftRun>{} : s.runs;
    if (!mftRuns_.empty()) {
        mftUsable_ = true;
        runPending_ = false;
    }
}

bool ntfs::locateMftFromBootSector() {
    clusterSize_ = boot_.valid ? uint64_t(boot_.bytesPerSector) * boot_.sectorsPerCluster : kDefaultClusterSize;
    if (!boot_.valid || clusterSize_ == 0 || clusterSize_ > kMaxClusterSize) return scanForFirstMftRecord();
    mftUsable_ = true;
    if (boot_.mftCluster > volumeBytes_ / clusterSize_) return true;  // loadMftRecords finds no runs
    const uint64_t mftOffset = boot_.mftCluster * clusterSize_;
    status("boot sector is fine.Getting run of mft entry...");
    takeMftRuns(mftOffset);
    status("Got run...");
    runPending_ = false;
    return true;
}

bool ntfs::recordOffsetOf(uint64_t number, uint64_t& offset, const std::vector<MftRun>* runs) const {
    const std::vector<MftRun>& list = runs ? *runs : mftRuns_;
    if (clusterSize_ == 0 || number > UINT64_MAX / recordSize_) return false;
    const uint64_t byte = number * recordSize_;
    uint64_t vcnBytes = 0;
    for (const MftRun& r : list) {
        if (r.count > (UINT64_MAX - vcnBytes) / clusterSize_) return false;
        const uint64_t bytes = r.count * clusterSize_;
        if (byte < vcnBytes + bytes) {
            if (r.sparse || r.missing || r.start < 0) return false;
            offset = uint64_t(r.start) * clusterSize_ + (byte - vcnBytes);
            return offset / clusterSize_ >= uint64_t(r.start);
        }
        vcnBytes += bytes;
    }
    return false;
}

void ntfs::loadMftRecords() {
    if (!mftUsable_ || stopPolled()) return;
    if (clusterSize_ == 0) clusterSize_ = kDefaultClusterSize;
    if (runPending_ && !entries_.empty()) {
        status("getting run of mft...");
        takeMftRuns(entries_[0].recordOffset);
        status("got run...");
    }
    entries_.clear();
    // Every slot of every run becomes an entry, valid or not, so an entry's index is its
    // record number. Slots past the volume's end are not made up.
    const uint64_t maxRecords = volumeBytes_ / recordSize_ + 1;
    for (const MftRun& run : mftRuns_) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        status(format("parsing %lld cluster of MFT run.", (long long)run.start));
        if (run.count > UINT64_MAX / clusterSize_) break;
        const uint64_t bytes = run.count * clusterSize_;
        const bool outside = run.sparse || run.missing || run.start < 0 ||
                             uint64_t(run.start) > volumeBytes_ / clusterSize_;
        const uint64_t base = outside ? 0 : uint64_t(run.start) * clusterSize_;
        for (uint64_t at = 0; at + recordSize_ <= bytes && entries_.size() < maxRecords; at += recordSize_) {
            MftEntry e;
            // A slot outside the volume keeps its index but is never read.
            e.recordOffset = outside || base + at + recordSize_ > volumeBytes_ ? UINT64_MAX : base + at;
            entries_.push_back(e);
        }
        if (entries_.size() >= maxRecords) break;
    }
}

}  // namespace quarvell
