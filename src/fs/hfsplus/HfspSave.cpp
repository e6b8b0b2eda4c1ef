// HFSP: a file's data fork as volume runs, from its extents and the extents overflow records.
#include <algorithm>

#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsTexts.h"

namespace quarvell {

bool HFSP::collectOverflowExtents(uint64_t blocksSoFar, uint32_t fileId, uint64_t totalBlocks,
                                  std::vector<HfsExtent>& runs) const {
    uint64_t count = blocksSoFar;
    while (count < totalBlocks) {
        if (count > UINT32_MAX) return false;
        auto it = extentIndex_.find(HfsExtentKey{fileId, kHfsDataFork, uint32_t(count)});
        if (it == extentIndex_.end()) return false;
        uint64_t added = 0;
        for (const HfsExtent& x : it->second.extents) {
            if (x.startBlock == 0 || x.blockCount == 0) continue;
            runs.push_back(x);
            added += x.blockCount;
        }
        if (added == 0) return true;
        count += added;
    }
    return true;
}

HfsFileTimes HFSP::computeHfsFileTimes(const HfsCatalogEntry& e) const {
    // The file list's "Modification Time" is the content-modification date; the saved file
    // carries the same one.
    return {hfsDateToUnix(e.createDate), hfsDateToUnix(e.accessDate), hfsDateToUnix(e.contentModDate)};
}

FileData HFSP::hfsFileData(const HfsCatalogEntry& e) const {
    FileData data;
    data.source = reader;
    data.size = e.logicalSize;
    data.endsAtAllocation = true;
    std::vector<HfsExtent> extents = e.extents;
    uint64_t listed = 0;
    for (const HfsExtent& x : extents) listed += x.blockCount;
    if (listed < e.totalBlocks) collectOverflowExtents(listed, uint32_t(e.id), e.totalBlocks, extents);

    // Blocks past the volume's end are missing data; the run writer zero-fills and counts them.
    const uint64_t volumeBlocks = volumeBytes() / blockSize_;
    uint64_t covered = 0;
    for (const HfsExtent& x : extents) {
        if (covered >= e.logicalSize) break;
        const uint64_t start = x.startBlock, end = start + x.blockCount;
        const uint64_t inside = std::min(end, std::max(start, volumeBlocks));
        if (inside > start) data.runs.push_back({DataRun::Kind::Volume, start * blockSize_, (inside - start) * blockSize_});
        if (end > inside) data.runs.push_back({DataRun::Kind::PastVolume, 0, (end - inside) * blockSize_});
        covered += uint64_t(x.blockCount) * blockSize_;
    }
    const HfsFileTimes times = computeHfsFileTimes(e);
    data.accessTime = times.lastAccess;
    data.modificationTime = times.lastWrite;
    return data;
}

}  // namespace quarvell
