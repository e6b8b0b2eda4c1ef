// ntfs: a file's unnamed data stream for the run writer: resident bytes, volume runs, sparse
// holes, and compressed data decoded one compression unit at a time.
#include <algorithm>
#include <memory>

#include "common/TextFormat.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/NtfsTexts.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

namespace {
constexpr uint64_t kMaxUnitBytes = 4u << 20;

struct RunGeometry {
    uint64_t clusterSize = 0;
    uint64_t volumeClusters = 0;
};

// One run as data runs: inside the volume, past its end, sparse or missing.
void appendRun(MftRun r, const RunGeometry& g, std::vector<DataRun>& out) {
    r.count = std::min(r.count, UINT64_MAX / g.clusterSize);
    const uint64_t bytes = r.count * g.clusterSize;
    if (r.sparse) {
        out.push_back({DataRun::Kind::Hole, 0, bytes});
        return;
    }
    if (r.missing || r.start < 0 || uint64_t(r.start) >= g.volumeClusters) {
        out.push_back({DataRun::Kind::PastVolume, 0, bytes});
        return;
    }
    const uint64_t start = uint64_t(r.start);
    const uint64_t inside = std::min(r.count, g.volumeClusters - start);
    out.push_back({DataRun::Kind::Volume, start * g.clusterSize, inside * g.clusterSize});
    if (inside < r.count) out.push_back({DataRun::Kind::PastVolume, 0, (r.count - inside) * g.clusterSize});
}

// Bytes past the initialized length read as zeros: holes that belong to the file.
std::vector<DataRun> cutAtInitialized(std::vector<DataRun> runs, uint64_t initialized) {
    std::vector<DataRun> out;
    uint64_t pos = 0;
    for (DataRun r : runs) {
        if (pos >= initialized || r.kind != DataRun::Kind::Volume) {
            if (pos >= initialized && r.kind == DataRun::Kind::Volume) r = {DataRun::Kind::Hole, 0, r.length};
            out.push_back(r);
        } else if (pos + r.length <= initialized) {
            out.push_back(r);
        } else {
            const uint64_t keep = initialized - pos;
            out.push_back({DataRun::Kind::Volume, r.offset, keep});
            out.push_back({DataRun::Kind::Hole, 0, r.length - keep});
        }
        pos += r.length;
    }
    return out;
}

// Walks the clusters of a run list one at a time.
class ClusterCursor {
public:
    explicit ClusterCursor(const std::vector<MftRun>& runs) : runs_(runs) {}
    // The next cluster's run (a copy with start at that cluster and count 1); missing past the end.
    MftRun next() {
        while (run_ < runs_.size() && within_ >= runs_[run_].count) {
            ++run_;
            within_ = 0;
        }
        if (run_ >= runs_.size()) return MftRun{0, 1, false, true};
        MftRun r = runs_[run_];
        r.start = r.sparse || r.missing ? 0 : int64_t(uint64_t(r.start) + within_);
        r.count = 1;
        ++within_;
        return r;
    }

private:
    const std::vector<MftRun>& runs_;
    size_t run_ = 0;
    uint64_t within_ = 0;
};

// Decodes compressed data unit by unit. A unit whose last cluster is allocated is stored as it
// is; one without allocated clusters is a hole; the others are LZNT1 over their allocated part.
bool produceCompressed(DataOutput& out, const std::vector<MftRun>& runs, const RunGeometry& g, uint64_t units,
                       uint64_t size) {
    const uint64_t unitBytes = units * g.clusterSize;
    std::vector<uint8_t> input(static_cast<size_t>(unitBytes)), output(static_cast<size_t>(unitBytes));
    std::vector<MftRun> slots(static_cast<size_t>(units));
    ClusterCursor cursor(runs);
    for (uint64_t pos = 0; pos < size;) {
        const uint64_t want = std::min(unitBytes, size - pos);
        bool anyAllocated = false, anyLost = false;
        for (MftRun& s : slots) {
            s = cursor.next();
            const bool outside = !s.sparse && !s.missing && (s.start < 0 || uint64_t(s.start) >= g.volumeClusters);
            if (s.missing || outside) anyLost = true;
            if (!s.sparse) anyAllocated = true;
        }
        std::vector<DataRun> stored;
        if (!anyAllocated) {
            if (!out.putRun({DataRun::Kind::Hole, 0, want})) return false;
        } else if (!slots.back().sparse) {
            for (const MftRun& s : slots) appendRun(s, g, stored);
            uint64_t left = want;
            for (DataRun r : stored) {
                if (left == 0) break;
                r.length = std::min(r.length, left);
                if (!out.putRun(r)) return false;
                left -= r.length;
            }
        } else if (anyLost) {
            if (!out.putRun({DataRun::Kind::PastVolume, 0, want})) return false;
        } else {
            uint64_t used = 0, unreadable = 0;
            for (const MftRun& s : slots) {
                if (s.sparse) break;
                unreadable += out.readVolume(uint64_t(s.start) * g.clusterSize, input.data() + used, uint32_t(g.clusterSize));
                used += g.clusterSize;
            }
            if (unreadable > 0) {
                if (!out.putUnreadable(want)) return false;
            } else {
                const Lznt1Result r = decompressLznt1(input.data(), size_t(used), output.data(), output.size());
                // A unit that decodes short ends in zeros; after a decoding error the rest is lost.
                const uint64_t good = std::min<uint64_t>(r.produced, want);
                if (!r.ok) {
                    if (!out.putBytes(output.data(), good) || !out.putUnreadable(want - good)) return false;
                } else {
                    std::fill(output.begin() + ptrdiff_t(good), output.begin() + ptrdiff_t(want), uint8_t(0));
                    if (!out.putBytes(output.data(), want)) return false;
                }
            }
        }
        pos += want;
    }
    return true;
}
}  // namespace

FileData ntfs::ntfsFileData(int64_t index) const {
    FileData d;
    d.source = reader;
    d.readUnit = sectorSize_;
    const MftEntry* e = entry(index);
    const uint64_t offset = dataRecordOffset(index);
    if (!e || !e->named || !e->isRecord || offset == UINT64_MAX) {
        d.unsupported = "not a valid entry...";
        return d;
    }
    if (e->kind == 'D') {
        d.unsupported = format("This is  %s directory .Please specify file names ", e->name.c_str());
        return d;
    }
    if (e->hasTimes) {
        d.modificationTime = fileTimeToUnix(e->modificationTime);
        d.accessTime = fileTimeToUnix(e->accessTime);
    }
    const NtfsStream s = readStream(offset, kAttrData);
    if (!s.found) return d;  // no data stream: an empty file
    if (s.resident) {
        d.size = s.residentBytes.size();
        d.resident = s.residentBytes;
        return d;
    }
    const RunGeometry g{clusterSize_, clusterSize_ ? volumeBytes_ / clusterSize_ : 0};
    if (g.clusterSize == 0) {
        d.unsupported = "the cluster size is unknown";
        return d;
    }
    uint64_t clusters = 0;
    for (const MftRun& r : s.runs) clusters += r.count;  // each run is bounded by its extent
    const uint64_t covered = clusters > UINT64_MAX / g.clusterSize ? UINT64_MAX : clusters * g.clusterSize;
    d.size = std::min(s.realSize, covered);
    // Zeros that stand for no volume bytes (holes, missing runs) are bounded, so that a damaged
    // run list cannot make a save write zeros without end: at most twice the volume, 2 GiB at least.
    const uint64_t zeroLimit = std::max<uint64_t>(volumeBytes_, 1ull << 30) * 2;
    uint64_t zeros = 0, pos = 0;
    for (const MftRun& r : s.runs) {
        if (pos >= d.size) break;
        const uint64_t bytes = std::min(r.count, (d.size - pos) / g.clusterSize + 1) * g.clusterSize;
        if (r.sparse || r.missing || r.start < 0 || uint64_t(r.start) >= g.volumeClusters) {
            if (zeros + bytes > zeroLimit) {
                d.size = std::min(d.size, pos + (zeroLimit - zeros));
                break;
            }
            zeros += bytes;
        }
        pos += bytes;
    }

    const uint64_t units = s.compressionExponent < 16 ? uint64_t(1) << s.compressionExponent : 0;
    const bool compressed = (s.flags & 0x00FF) != 0 && units > 1 && units * g.clusterSize <= kMaxUnitBytes;
    if (!compressed) {
        std::vector<DataRun> runs;
        for (const MftRun& r : s.runs) appendRun(r, g, runs);
        d.runs = cutAtInitialized(std::move(runs), s.initializedSize);
        return d;
    }
    const uint64_t size = d.size;
    d.produce = [runs = s.runs, g, units, size](DataOutput& out) { return produceCompressed(out, runs, g, units, size); };
    return d;
}

}  // namespace quarvell
