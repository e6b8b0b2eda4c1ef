// ntfs: the roads that scan the volume for MFT records: the first $MFT record when the boot
// sector is gone, every record (deep mode), and the MFT copies the advanced road offers.
#include <array>
#include <cstring>
#include <memory>

#include "common/TextFormat.h"
#include "common/WorkerControl.h"
#include "fs/ntfs/NtfsRecord.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

namespace {
constexpr uint64_t kChunk = 0xA00000;  // 10 MiB
constexpr uint64_t kStep = 512;
constexpr uint64_t kDefaultClusterSize = 4096;

enum class ScanTest { Signature, Plausible };
enum class ScanStep { Next, Record, Stop };
}  // namespace

// Walks the volume in 10 MiB chunks, 512 bytes at a time; at every step that passes the test it
// hands the record (fixed up, read whole even where it crosses a chunk's end) to `onRecord`,
// which says how to go on. Progress counts chunks.
class NtfsVolumeScan {
public:
    template <typename OnRecord>
    static bool run(ntfs& p, ScanTest test, bool everyChunk, uint64_t end, OnRecord onRecord) {
        if (end == 0) return true;
        p.progressRange(int64_t(end / kChunk));
        auto buffer = std::make_unique<uint8_t[]>(kChunk + 4096);
        std::vector<uint8_t> record;
        uint64_t pos = 0;
        for (uint64_t k = 0; pos < end; ++k) {
            if (p.stopPolled()) {
                if (p.control) p.control->clear();
                return false;
            }
            if (everyChunk || k % 100 == 0) p.progressPos(int64_t(k));
            const uint64_t chunkStart = pos;
            const uint64_t length = std::min<uint64_t>(kChunk, end - chunkStart);
            p.readSalvaged(chunkStart, buffer.get(), size_t(length));
            while (pos + kStep <= chunkStart + length) {
                const uint8_t* at = buffer.get() + (pos - chunkStart);
                const bool hit = test == ScanTest::Plausible ? isPlausibleRecord(at, kStep) : hasFileSignature(at, 4);
                if (!hit) {
                    pos += kStep;
                    continue;
                }
                const uint32_t size = p.recordSize_;
                record.assign(size, 0);
                if (pos + size <= chunkStart + length) std::memcpy(record.data(), at, size);
                else p.readSalvaged(pos, record.data(), size);
                applyFixups(record.data(), size, p.sectorSize_);
                const ScanStep step = onRecord(pos, record);
                if (step == ScanStep::Stop) return true;
                pos += size;
            }
            if (pos < chunkStart + length) pos = chunkStart + length;
        }
        p.progressPos(int64_t(end / kChunk));
        return true;
    }
};

bool ntfs::scanForFirstMftRecord() {
    clusterSize_ = kDefaultClusterSize;
    status("boot sector corrupt.Scanning for first mft entry...");
    mftUsable_ = false;
    // Records met before $MFT stay as entries when no $MFT is found.
    NtfsVolumeScan::run(*this, ScanTest::Signature, false, volumeBytes_, [&](uint64_t offset, std::vector<uint8_t>& rec) {
        const ParsedRecord parsed = parseRecordBytes(rec.data(), rec.size());
        const NtfsFileName* name = primaryName(parsed);
        MftEntry e;
        e.recordOffset = offset;
        e.isRecord = true;
        fillEntry(e, parsed);
        entries_.push_back(e);
        if (!name || name->name.compare(0, 3, "$MF") != 0) return ScanStep::Record;
        status("found mft entry.getting its run ...");
        // The record names its own size; the cluster size follows from where it lies.
        recordSize_ = recordSizeOf(rec.data());
        const std::vector<MftRun> first = firstDataRuns(rec.data(), rec.size());
        clusterSize_ = inferClusterSize(offset, first);
        takeMftRuns(offset);
        status("got run ...");
        if (!mftUsable_) return ScanStep::Record;
        entries_.clear();
        return ScanStep::Stop;
    });
    return mftUsable_;
}

bool ntfs::scanVolumeForMftRecords() {
    clusterSize_ = boot_.valid && boot_.sectorsPerCluster ? uint64_t(boot_.bytesPerSector) * boot_.sectorsPerCluster
                                                          : kDefaultClusterSize;
    mftUsable_ = false;
    NtfsVolumeScan::run(*this, ScanTest::Plausible, true, volumeBytes_, [&](uint64_t offset, std::vector<uint8_t>& rec) {
        const ParsedRecord parsed = parseRecordBytes(rec.data(), rec.size());
        if (parsed.recordNumber >= 0) deepRecordOffsets_.emplace(parsed.recordNumber, offset);
        if (!primaryName(parsed)) return ScanStep::Record;
        MftEntry e;
        e.recordOffset = offset;
        e.isRecord = true;
        fillEntry(e, parsed);
        e.orphan = true;
        entries_.push_back(e);
        noteHardLinks(int64_t(entries_.size()) - 1, parsed);
        // The status line follows every 256th record: one line per record would flood it.
        if (entries_.size() % 256 == 1) status(format("MFT ENTRY %d Found.Parsing it ..", int(entries_.size())));
        return ScanStep::Record;
    });
    // A name found in an extension record stands for its base record, when the scan met it.
    for (MftEntry& e : entries_) {
        if (e.baseRecord == 0) continue;
        auto it = deepRecordOffsets_.find(e.baseRecord);
        if (it == deepRecordOffsets_.end()) continue;
        e.recordOffset = it->second;
        std::vector<uint8_t> base;
        if (!readRecord(e.recordOffset, base)) continue;
        const ParsedRecord parsed = parseRecordBytes(base.data(), base.size());
        e.dataSize = parsed.dataSize;
        e.recordFlags = parsed.flags;
        e.hasTimes = parsed.hasTimes;
        e.creationTime = parsed.creation;
        e.modificationTime = parsed.modification;
        e.accessTime = parsed.access;
    }
    return false;
}

std::vector<Candidate> ntfs::findMftCandidates(uint64_t wanted) {
    std::vector<Candidate> found;
    clusterSize_ = boot_.valid && boot_.sectorsPerCluster ? uint64_t(boot_.bytesPerSector) * boot_.sectorsPerCluster
                                                          : kDefaultClusterSize;
    mftUsable_ = false;
    const uint64_t size = volume.lengthInBytes() ? volume.lengthInBytes() : volumeBytes_;
    if (size < 1024) return found;
    // The names of the last eight plausible records, to find $MFT seven records before $Boot.
    std::array<std::pair<std::string, uint64_t>, 8> last{};
    uint64_t seen = 0;
    std::string message;
    NtfsVolumeScan::run(*this, ScanTest::Plausible, true, size - 1024, [&](uint64_t offset, std::vector<uint8_t>& rec) {
        if (!found.empty() && found.size() >= wanted) return ScanStep::Stop;
        if (!message.empty()) status(message);
        const ParsedRecord parsed = parseRecordBytes(rec.data(), rec.size());
        const NtfsFileName* name = primaryName(parsed);
        last[seen % 8] = {name ? name->name : std::string(), offset};
        ++seen;
        if (seen >= 8 && name && name->name.compare(0, 5, "$Boot") == 0) {
            const auto& before = last[(seen - 8) % 8];
            if (before.first.compare(0, 4, "$MFT") == 0 && (before.first.size() < 5 || before.first[4] != 'M')) {
                Candidate c;
                c.index = int(found.size());
                c.label = format("MFT_ENTRY:%d", c.index);
                c.offset = before.second;
                found.push_back(c);
                message = format("MFT ENTRY %d Found.Parsing it ...", int(seen));
            }
        }
        return ScanStep::Record;
    });
    return found;
}

bool ntfs::selectMftCandidate(uint32_t index) {
    mftUsable_ = false;
    const std::vector<Candidate> found = findMftCandidates(uint64_t(index) + 1);
    if (index >= found.size()) return false;
    std::vector<uint8_t> rec;
    if (!readRecord(found[index].offset, rec)) return false;
    recordSize_ = boot_.valid ? boot_.recordSize : recordSizeOf(rec.data());
    if (!boot_.valid) clusterSize_ = inferClusterSize(found[index].offset, firstDataRuns(rec.data(), rec.size()));
    takeMftRuns(found[index].offset);
    return mftUsable_;
}

}  // namespace quarvell
