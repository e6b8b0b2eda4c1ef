// ntfs: MFT records read once each in batches and turned into entries; a record's data streams.
#include <algorithm>
#include <map>
#include <set>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "fs/ntfs/NtfsRecord.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

namespace {
constexpr size_t kBatchBytes = 1 << 20;
constexpr size_t kMaxAttributeListBytes = 256 * 1024;
constexpr size_t kListEntryBytes = 26;
}  // namespace

void ntfs::fillEntry(MftEntry& e, const ParsedRecord& parsed) {
    e.isRecord = parsed.valid;
    e.recordNumber = parsed.recordNumber;
    e.recordFlags = parsed.flags;
    e.baseRecord = parsed.baseRecord;
    e.dataSize = parsed.dataSize;
    e.hasTimes = parsed.hasTimes;
    e.creationTime = parsed.creation;
    e.modificationTime = parsed.modification;
    e.accessTime = parsed.access;
    takeName(e, parsed);
}

void ntfs::takeName(MftEntry& e, const ParsedRecord& parsed) {
    const NtfsFileName* name = primaryName(parsed);
    if (!name) return;
    e.named = true;
    e.name = name->name;
    e.parent = name->parent;
    e.allocatedSize = name->allocatedSize;
    e.fileAttributes = name->flags;
    e.kind = (name->flags & kFileNameIsDirectory) || (e.recordFlags & kRecordIsDirectory) ? 'D' : 0;
}

// Further long names in other folders or under other names: hard links.
void ntfs::noteHardLinks(int64_t index, const ParsedRecord& parsed) {
    const NtfsFileName* first = primaryName(parsed);
    for (const NtfsFileName& fn : parsed.names)
        if (&fn != first && fn.nameSpace != 2 && (fn.parent != first->parent || fn.name != first->name))
            extraNames_.emplace_back(index, fn);
}

bool ntfs::parseMftRecord(uint64_t recordOffset, uint32_t entryIndex) {
    if (entryIndex >= entries_.size()) return false;
    std::vector<uint8_t> rec;
    MftEntry& e = entries_[entryIndex];
    e.recordOffset = recordOffset;
    if (!readRecord(recordOffset, rec)) return false;
    fillEntry(e, parseRecordBytes(rec.data(), rec.size()));
    return true;
}

// Reads the MFT in batches of consecutive slots, so each record is read once, and parses every
// slot. Extension records hand their stream's length to their base record.
void ntfs::parseAllRecords() {
    const size_t n = entries_.size();
    progressRange(int64_t(n));
    std::vector<uint8_t> batch;
    std::vector<std::pair<int64_t, uint64_t>> extensionSizes;  // (base record, $DATA length)
    std::vector<std::pair<int64_t, ParsedRecord>> extensionNames;
    for (size_t i = 0; i < n;) {
        if (stopPolled()) {
            if (control) control->clear();
            break;
        }
        status(format("parsing MFT entry %d...", int(i)));
        progressPos(int64_t(i));
        if (entries_[i].recordOffset == UINT64_MAX) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < n && (j - i + 1) * recordSize_ <= kBatchBytes &&
               entries_[j].recordOffset == entries_[j - 1].recordOffset + recordSize_)
            ++j;
        batch.assign((j - i) * recordSize_, 0);
        const uint64_t batchStart = entries_[i].recordOffset;
        const uint64_t lostBefore = unreadableMetadata_;
        if (batch.size() <= UINT32_MAX && batchStart <= uint64_t(INT64_MAX) - batch.size() && reader) {
            unreadableMetadata_ += readSalvaging(*reader, int64_t(batchStart), batch.data(), uint32_t(batch.size()),
                                                 sectorSize_, [&](int64_t at, uint32_t lost) {
                                                     noteUnreadable(batchStart, uint64_t(at), lost);
                                                 });
            noteUnreadable(batchStart, UINT64_MAX, 0);
            if (unreadableMetadata_ > lostBefore) suspectBatches_.emplace_back(batchStart, batchStart + batch.size());
        } else {
            unreadableMetadata_ += readSalvaged(batchStart, batch.data(), batch.size());
        }
        for (size_t k = i; k < j; ++k) {
            uint8_t* rec = batch.data() + (k - i) * recordSize_;
            if (!hasFileSignature(rec, recordSize_)) continue;
            applyFixups(rec, recordSize_, sectorSize_);
            const ParsedRecord parsed = parseRecordBytes(rec, recordSize_);
            fillEntry(entries_[k], parsed);
            if (parsed.baseRecord != 0) {
                // An extension record: what it holds belongs to its base record's entry.
                if (parsed.hasData) extensionSizes.emplace_back(parsed.baseRecord, parsed.dataSize);
                if (!parsed.names.empty()) extensionNames.emplace_back(parsed.baseRecord, parsed);
                entries_[k].named = false;
                continue;
            }
            noteHardLinks(int64_t(k), parsed);
        }
        i = j;
    }
    std::sort(suspectBatches_.begin(), suspectBatches_.end());
    for (const auto& [base, parsed] : extensionNames)
        if (base >= 0 && uint64_t(base) < n && entries_[size_t(base)].isRecord && !entries_[size_t(base)].named)
            takeName(entries_[size_t(base)], parsed);
    for (const auto& [base, size] : extensionSizes)
        if (base >= 0 && uint64_t(base) < n && entries_[size_t(base)].named && entries_[size_t(base)].dataSize == 0)
            entries_[size_t(base)].dataSize = size;
}

// Lost stretches of a batch starting at `batchStart` come in order, sector by sector; once
// they are joined, the records they cover whole are remembered as unreadable. A call with
// `at` UINT64_MAX ends the batch.
void ntfs::noteUnreadable(uint64_t batchStart, uint64_t at, uint64_t lost) {
    if (at != UINT64_MAX && lostTo_ == at && lost > 0) {
        lostTo_ += lost;
        return;
    }
    if (lostTo_ > lostFrom_ && lostFrom_ >= batchStart) {
        const uint64_t first = (lostFrom_ - batchStart + recordSize_ - 1) / recordSize_;
        const uint64_t end = (lostTo_ - batchStart) / recordSize_;
        for (uint64_t k = first; k < end; ++k) unreadableRecords_.insert(batchStart + k * recordSize_);
    }
    lostFrom_ = lostTo_ = at == UINT64_MAX ? 0 : at;
    if (at != UINT64_MAX) lostTo_ += lost;
}

uint64_t ntfs::dataRecordOffset(int64_t index) const {
    if (index >= 0 && uint64_t(index) >= aliasBase_ && uint64_t(index) - aliasBase_ < aliasOf_.size())
        index = aliasOf_[size_t(uint64_t(index) - aliasBase_)];
    const MftEntry* e = entry(index);
    return e ? e->recordOffset : UINT64_MAX;
}

std::vector<MftRun> ntfs::readAttributeRuns(uint64_t recordOffset, uint32_t attributeType) {
    const NtfsStream s = readStream(recordOffset, attributeType, nullptr);
    return s.resident ? std::vector<MftRun>{} : s.runs;
}

namespace {
struct Extent {
    uint64_t firstVcn = 0, lastVcn = 0;
    std::vector<MftRun> runs;
    NtfsAttribute header;
};

void takeExtents(const std::vector<uint8_t>& rec, uint32_t type, std::vector<Extent>& out, bool* residentOut,
                 std::vector<uint8_t>* residentBytes) {
    for (const NtfsAttribute& a : walkAttributes(rec.data(), rec.size())) {
        if (a.type != type || a.nameLength != 0) continue;
        if (!a.nonResident) {
            if (residentOut && !*residentOut) {
                *residentOut = true;
                residentBytes->assign(rec.begin() + a.valueOffset, rec.begin() + a.valueOffset + a.valueLength);
            }
            continue;
        }
        if (!a.runsUsable || a.lastVcn < a.firstVcn) continue;
        out.push_back(Extent{a.firstVcn, a.lastVcn, attributeRuns(rec.data(), a), a});
    }
}
}  // namespace

NtfsStream ntfs::readStream(uint64_t recordOffset, uint32_t type, const std::vector<MftRun>* lookup) const {
    NtfsStream s;
    std::vector<uint8_t> rec;
    if (!readRecord(recordOffset, rec)) return s;
    bool resident = false;
    std::vector<uint8_t> residentBytes;
    std::vector<Extent> extents;
    takeExtents(rec, type, extents, &resident, &residentBytes);
    const int64_t ownNumber = le16(rec.data() + 4) >= 48 ? int64_t(le32(rec.data() + 44)) : -1;

    // The extension records the attribute list names for this type's unnamed stream.
    std::set<uint64_t> extensionNumbers;
    for (const NtfsAttribute& a : walkAttributes(rec.data(), rec.size())) {
        if (a.type != kAttrAttributeList) continue;
        std::vector<uint8_t> list;
        if (!a.nonResident) {
            list.assign(rec.begin() + a.valueOffset, rec.begin() + a.valueOffset + a.valueLength);
        } else {
            const uint64_t want = std::min<uint64_t>(a.realSize, kMaxAttributeListBytes);
            for (const MftRun& r : attributeRuns(rec.data(), a)) {
                if (list.size() >= want || r.sparse || r.start < 0 || clusterSize_ == 0) break;
                if (r.count > kMaxAttributeListBytes / clusterSize_ + 1) break;
                const size_t at = list.size(), bytes = size_t(std::min<uint64_t>(r.count * clusterSize_, want - at));
                list.resize(at + bytes);
                if (uint64_t(r.start) > volumeBytes_ / clusterSize_) break;
                readSalvaged(uint64_t(r.start) * clusterSize_, list.data() + at, bytes);
            }
        }
        for (size_t p = 0; p + kListEntryBytes <= list.size();) {
            const uint32_t t = le32(&list[p]);
            const uint16_t len = le16(&list[p + 4]);
            if (t == 0 || t == kAttrEnd || len < kListEntryBytes || len > list.size() - p) break;
            const uint64_t number = le64(&list[p + 16]) & 0xFFFFFFFFFFFFull;
            if (t == type && list[p + 6] == 0 && int64_t(number) != ownNumber) extensionNumbers.insert(number);
            p += len;
        }
        break;
    }
    // The $MFT's own extension records are found through the runs its base record holds.
    std::vector<MftRun> baseRuns;
    if (!lookup && mftRuns_.empty() && deepRecordOffsets_.empty()) {
        for (const Extent& x : extents)
            if (x.firstVcn == 0) baseRuns = x.runs;
        lookup = &baseRuns;
    }
    for (uint64_t number : extensionNumbers) {
        uint64_t offset = 0;
        bool located = false;
        if (!lookup && mftRuns_.empty()) {
            auto it = deepRecordOffsets_.find(int64_t(number));
            located = it != deepRecordOffsets_.end();
            if (located) offset = it->second;
        } else {
            located = recordOffsetOf(number, offset, lookup);
        }
        std::vector<uint8_t> ext;
        if (!located || offset == recordOffset || !readRecord(offset, ext)) continue;
        ++s.extensionRecords;
        takeExtents(ext, type, extents, nullptr, nullptr);
    }

    if (extents.empty()) {
        if (resident) {
            s.found = s.resident = true;
            s.residentBytes = std::move(residentBytes);
            s.realSize = s.initializedSize = s.residentBytes.size();
        }
        return s;
    }
    std::stable_sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.firstVcn < b.firstVcn; });
    const NtfsAttribute& head = extents.front().header;
    s.found = true;
    s.realSize = head.realSize;
    s.initializedSize = std::min(head.initializedSize, head.realSize);
    s.flags = head.flags;
    s.compressionExponent = head.compressionExponent;
    // Extents in VCN order; a gap between them is missing data, an overlap is cut.
    uint64_t vcn = 0;
    const uint64_t clusters = clusterSize_ ? (head.allocatedSize + clusterSize_ - 1) / clusterSize_ : 0;
    for (const Extent& x : extents) {
        if (x.firstVcn < vcn || x.firstVcn >= clusters) continue;
        if (x.firstVcn > vcn) s.runs.push_back(MftRun{0, x.firstVcn - vcn, false, true});
        uint64_t got = 0;
        const uint64_t span = std::min(x.lastVcn, clusters - 1) - x.firstVcn + 1;
        for (const MftRun& r : x.runs) {
            if (got >= span) break;
            MftRun cut = r;
            cut.count = std::min(r.count, span - got);
            s.runs.push_back(cut);
            got += cut.count;
        }
        if (got < span) s.runs.push_back(MftRun{0, span - got, false, true});
        vcn = x.firstVcn + span;
    }
    // Clusters the first extent allocates that no extent lists: missing, at most a volume's worth.
    if (vcn < clusters && head.realSize > vcn * clusterSize_)
        s.runs.push_back(MftRun{0, std::min(clusters - vcn, volumeBytes_ / clusterSize_ + 1), false, true});
    return s;
}

}  // namespace quarvell
