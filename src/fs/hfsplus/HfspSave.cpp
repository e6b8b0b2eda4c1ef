// HFSP: writing a file's data fork from its extents and the extents overflow records.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/WriteAll.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsTexts.h"

namespace quarvell {

namespace {
constexpr uint64_t kSaveChunkBytes = 1 << 20;

uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
}  // namespace

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
    return {hfsDateToUnix(e.createDate), hfsDateToUnix(e.accessDate), hfsDateToUnix(e.attributeModDate)};
}

// Copies the runs' blocks into fd up to size bytes. Blocks that cannot be read, or that lie
// past the volume's end, are written as zeros and counted, so every other byte keeps its offset.
bool HFSP::writeRuns(int fd, const std::vector<HfsExtent>& runs, uint64_t size, SaveReport& report) const {
    const uint64_t bs = blockSize_;
    const uint64_t volumeBlocks = volumeBytes() / bs;
    const uint64_t chunkBlocks = std::max<uint64_t>(1, kSaveChunkBytes / bs);
    std::vector<uint8_t> buf(size_t(chunkBlocks * bs));
    uint64_t remaining = size;
    for (const HfsExtent& run : runs) {
        if (remaining == 0) break;
        const uint64_t start = run.startBlock, end = start + run.blockCount;
        const uint64_t inVolumeEnd = std::min(end, std::max(start, volumeBlocks));
        for (uint64_t b = start; b < inVolumeEnd && remaining > 0;) {
            const uint64_t n = std::min(chunkBlocks, inVolumeEnd - b);
            const size_t bytes = size_t(std::min(n * bs, remaining));
            const size_t readBytes = size_t((bytes + bs - 1) / bs * bs);
            // Blocks that fail keep what they deliver; the rest stays zero.
            report.unreadableBlocks += readBlocks(b * bs, buf.data(), readBytes) / bs;
            if (!writeAll(fd, buf.data(), bytes)) {
                report.problem = std::string("write failed: ") + std::strerror(errno);
                return false;
            }
            report.bytesWritten += bytes;
            remaining -= bytes;
            b += n;
        }
        if (end > inVolumeEnd && remaining > 0) {
            const uint64_t beyond = std::min((end - inVolumeEnd) * bs, remaining);
            report.unreadableBlocks += (beyond + bs - 1) / bs;
            if (::lseek(fd, off_t(beyond), SEEK_CUR) < 0) {
                report.problem = std::string("seek failed: ") + std::strerror(errno);
                return false;
            }
            report.bytesWritten += beyond;
            remaining -= beyond;
        }
    }
    return true;
}

SaveReport HFSP::saveHfsEntry(const std::string& outputPath, const HfsCatalogEntry& e) {
    SaveReport report;
    std::vector<HfsExtent> runs = e.extents;
    uint64_t listed = 0;
    for (const HfsExtent& x : runs) listed += x.blockCount;
    if (listed < e.totalBlocks) collectOverflowExtents(listed, uint32_t(e.id), e.totalBlocks, runs);
    uint64_t covered = 0;
    for (const HfsExtent& x : runs) covered = saturatingAdd(covered, uint64_t(x.blockCount) * blockSize_);
    const uint64_t size = std::min(e.logicalSize, covered);
    report.missingBytes = e.logicalSize - size;

    const int fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        report.problem = std::string("cannot create the file: ") + std::strerror(errno);
        return report;
    }
    bool ok = size == 0 || writeRuns(fd, runs, size, report);
    if (ok && ::ftruncate(fd, off_t(report.bytesWritten)) != 0) {
        report.problem = std::string("cannot set the file's length: ") + std::strerror(errno);
        ok = false;
    }
    const HfsFileTimes times = computeHfsFileTimes(e);
    const struct timespec stamps[2] = {{times.lastAccess, 0}, {times.lastWrite, 0}};
    ::futimens(fd, stamps);
    if (::close(fd) != 0 && ok) {
        report.problem = std::string("cannot close the file: ") + std::strerror(errno);
        ok = false;
    }
    report.saved = ok;
    if (ok && report.missingBytes > 0)
        report.problem = "the extents of the last " + std::to_string(report.missingBytes) + " bytes are missing";
    else if (ok && report.unreadableBlocks > 0)
        report.problem = std::to_string(report.unreadableBlocks) + " unreadable blocks written as zeros";
    return report;
}

}  // namespace quarvell
