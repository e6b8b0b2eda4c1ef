#include "fs/ntfs/NtfsRecord.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Utf.h"

namespace quarvell {

namespace {
constexpr size_t kHeaderBytes = 48;
constexpr size_t kAttrHeaderBytes = 16;
constexpr size_t kResidentHeaderBytes = 24;
constexpr size_t kNonResidentHeaderBytes = 64;
constexpr size_t kFileNameValueBytes = 66;

uint64_t ld(const uint8_t* b, size_t size, size_t off, unsigned w) { return loadLE(b, size, off, w); }

// The value of a resident attribute, or null when it has none or it does not fit.
const uint8_t* residentValue(const uint8_t* record, const NtfsAttribute& a, size_t need) {
    if (a.nonResident || a.valueLength < need) return nullptr;
    return record + a.valueOffset;
}
}  // namespace

bool hasFileSignature(const uint8_t* record, size_t size) {
    return size >= 4 && std::memcmp(record, "FILE", 4) == 0;
}

bool isPlausibleRecord(const uint8_t* record, size_t size) {
    if (size < kHeaderBytes || !hasFileSignature(record, size)) return false;
    return le16(record + 4) < 512 && le16(record + 6) < 512 && le16(record + 20) < 512;
}

void applyFixups(uint8_t* record, size_t size, uint32_t sectorSize) {
    if (size < kHeaderBytes || sectorSize < 256) return;
    const size_t usaOffset = le16(record + 4);
    const size_t usaCount = le16(record + 6);
    if (usaOffset >= size) return;
    for (size_t k = 1; k < usaCount; ++k) {
        const size_t target = k * sectorSize;
        const size_t source = usaOffset + 2 * k;
        if (target > size || target < 2 || source + 2 > size) break;
        record[target - 2] = record[source];
        record[target - 1] = record[source + 1];
    }
}

std::vector<NtfsAttribute> walkAttributes(const uint8_t* record, size_t size) {
    std::vector<NtfsAttribute> out;
    if (size < kHeaderBytes) return out;
    size_t offset = le16(record + 20);
    // The header's bytes-in-use bound the walk when they are sensible.
    size_t end = ld(record, size, 24, 4);
    if (end < kHeaderBytes || end > size) end = size;
    while (offset + kAttrHeaderBytes <= end && out.size() < size / kAttrHeaderBytes) {
        const uint8_t* a = record + offset;
        NtfsAttribute attr;
        attr.type = le32(a);
        if (attr.type == kAttrEnd) break;
        attr.length = le32(a + 4);
        if (attr.length < kAttrHeaderBytes || attr.length > end - offset) break;
        attr.offset = uint32_t(offset);
        attr.nonResident = a[8] != 0;
        attr.nameLength = a[9];
        attr.flags = le16(a + 12);
        attr.instance = le16(a + 14);
        if (!attr.nonResident) {
            if (attr.length >= kResidentHeaderBytes) {
                const uint32_t len = le32(a + 16), voff = le16(a + 20);
                if (voff <= attr.length && len <= attr.length - voff) {
                    attr.valueOffset = uint32_t(offset + voff);
                    attr.valueLength = len;
                }
            }
        } else if (attr.length >= kNonResidentHeaderBytes) {
            attr.firstVcn = le64(a + 16);
            attr.lastVcn = le64(a + 24);
            const uint32_t roff = le16(a + 32);
            attr.compressionExponent = le16(a + 34);
            attr.allocatedSize = le64(a + 40);
            attr.realSize = le64(a + 48);
            attr.initializedSize = le64(a + 56);
            if (roff >= kNonResidentHeaderBytes && roff <= attr.length) {
                attr.runOffset = uint32_t(offset + roff);
                attr.runLength = attr.length - roff;
                attr.runsUsable = true;
            }
        }
        out.push_back(attr);
        offset += attr.length;
    }
    return out;
}

std::vector<MftRun> decodeRuns(const uint8_t* runs, size_t length, uint64_t maxClusters) {
    std::vector<MftRun> out;
    int64_t lcn = 0;
    uint64_t total = 0;
    size_t pos = 0;
    while (pos < length && total < maxClusters) {
        const uint8_t h = runs[pos];
        const unsigned n = h & 0x0F, m = h >> 4;
        if (n == 0) break;  // the end of the list
        if (n > 8 || m > 8 || pos + 1 + n + m > length) break;
        uint64_t count = 0;
        for (unsigned i = 0; i < n; ++i) count |= uint64_t(runs[pos + 1 + i]) << (8 * i);
        int64_t delta = 0;
        if (m > 0) {
            uint64_t raw = 0;
            for (unsigned i = 0; i < m; ++i) raw |= uint64_t(runs[pos + 1 + n + i]) << (8 * i);
            if (m < 8 && (raw >> (8 * m - 1)) & 1) raw |= ~uint64_t(0) << (8 * m);  // sign-extend
            delta = int64_t(raw);
        }
        pos += 1 + n + m;
        if (count == 0) continue;
        if (count > maxClusters - total) count = maxClusters - total;  // cut at the cluster count
        MftRun run;
        run.count = count;
        if (m == 0) {
            run.sparse = true;
        } else {
            // Wrapping arithmetic: a hostile list cannot overflow, and a start outside the
            // volume is reported by whoever reads the run.
            lcn = int64_t(uint64_t(lcn) + uint64_t(delta));
            run.start = lcn;
        }
        out.push_back(run);
        total += count;
    }
    return out;
}

std::vector<MftRun> attributeRuns(const uint8_t* record, const NtfsAttribute& attr) {
    if (!attr.nonResident || !attr.runsUsable || attr.lastVcn < attr.firstVcn) return {};
    const uint64_t clusters = attr.lastVcn - attr.firstVcn + 1;
    if (clusters == 0) return {};  // a last VCN of 2^64 - 1 with a first VCN of 0
    return decodeRuns(record + attr.runOffset, attr.runLength, clusters);
}

std::vector<MftRun> firstDataRuns(const uint8_t* record, size_t size) {
    for (const NtfsAttribute& a : walkAttributes(record, size))
        if (a.type == kAttrData && a.nameLength == 0 && a.nonResident) return attributeRuns(record, a);
    return {};
}

const NtfsFileName* primaryName(const ParsedRecord& parsed) {
    for (const NtfsFileName& n : parsed.names)
        if (n.nameSpace != 2) return &n;
    return parsed.names.empty() ? nullptr : &parsed.names.front();
}

ParsedRecord parseRecordBytes(const uint8_t* record, size_t size) {
    ParsedRecord out;
    if (size < kHeaderBytes || !hasFileSignature(record, size)) return out;
    out.valid = true;
    out.flags = le16(record + 22);
    if (le16(record + 4) >= kHeaderBytes) out.recordNumber = le32(record + 44);
    out.baseRecord = int64_t(le64(record + 32) & 0xFFFFFFFFFFFFull);
    bool dataFromFirstExtent = false;
    for (const NtfsAttribute& a : walkAttributes(record, size)) {
        if (a.type == kAttrFileName) {
            const uint8_t* v = residentValue(record, a, kFileNameValueBytes);
            if (!v) continue;
            const unsigned chars = v[64];
            if (kFileNameValueBytes + 2 * size_t(chars) > a.valueLength) continue;
            NtfsFileName fn;
            uint64_t ref = le64(v) & 0xFFFFFFFFFFFFull;
            fn.parent = int64_t(ref);
            fn.allocatedSize = le64(v + 40);
            fn.flags = le32(v + 56);
            fn.nameSpace = v[65];
            fn.name = controlPictures(utf16leToUtf8(v + 66, chars));
            if (fn.name.empty()) continue;
            out.names.push_back(std::move(fn));
        } else if (a.type == kAttrStandardInfo) {
            const uint8_t* v = residentValue(record, a, 32);
            if (!v || out.hasTimes) continue;
            out.hasTimes = true;
            out.creation = le64(v);
            out.modification = le64(v + 8);
            out.access = le64(v + 24);
        } else if (a.type == kAttrAttributeList) {
            out.hasAttributeList = true;
        } else if (a.type == kAttrData && a.nameLength == 0) {
            // The unnamed stream's length: a resident value's, or the first extent's real size.
            if (!a.nonResident) {
                out.hasData = true;
                out.dataSize = a.valueLength;
            } else if (a.firstVcn == 0 && !dataFromFirstExtent) {
                out.hasData = true;
                dataFromFirstExtent = true;
                out.dataSize = a.realSize;
            }
        }
    }
    return out;
}

}  // namespace quarvell
