// HFSP: attaching the volume, the volume header, and collecting B-tree nodes.
#include "fs/hfsplus/HFSP.h"

#include <algorithm>
#include <unordered_map>

#include "common/Bytes.h"
#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"

namespace quarvell {

namespace {
constexpr uint64_t kHeaderOffset = 1024;
constexpr size_t kHeaderBytes = 512;
constexpr uint32_t kMinNodeSize = 512;
constexpr uint32_t kMaxNodeSize = 32768;
constexpr size_t kWalkBatchBytes = 1 << 20;
constexpr size_t kDeepChunkBytes = 16 << 20;
constexpr size_t kDescriptorBytes = 14;

bool validNodeSize(uint32_t n) { return n >= kMinNodeSize && n <= kMaxNodeSize && (n & (n - 1)) == 0; }

// The record offsets of a node: record i at the 16-bit slot (node size − 2 × (i + 1)).
std::vector<uint16_t> recordOffsetsOf(const uint8_t* node, uint32_t nodeSize, uint16_t count) {
    std::vector<uint16_t> out;
    const size_t slots = std::min<size_t>(count, nodeSize / 2);
    out.reserve(slots);
    for (size_t i = 0; i < slots; ++i) out.push_back(be16(node + nodeSize - 2 * (i + 1)));
    return out;
}
}  // namespace

bool HFSP::stopPolled() const {
    return control && control->poll();
}

void HFSP::status(const std::string& text) const {
    if (sink) sink->setStatus(text);
}

void HFSP::progressRange(int64_t high) const {
    if (sink) sink->setProgressRange(0, high);
}

void HFSP::progressPos(int64_t pos) const {
    if (sink) sink->setProgressPos(pos);
}

bool HFSP::readAt(uint64_t offset, uint8_t* buf, size_t count) const {
    std::fill(buf, buf + count, uint8_t(0));
    if (!reader || count > UINT32_MAX || offset > uint64_t(INT64_MAX)) return false;
    if (!reader->seek(int64_t(offset))) return false;
    return reader->read(buf, uint32_t(count));
}

uint64_t HFSP::readBlocks(uint64_t offset, uint8_t* buf, size_t count) const {
    if (!reader || count > UINT32_MAX || offset > uint64_t(INT64_MAX)) {
        std::fill(buf, buf + count, uint8_t(0));
        return count;
    }
    return readSalvaging(*reader, int64_t(offset), buf, uint32_t(count), uint32_t(blockSize_));
}

uint64_t HFSP::volumeBytes() const {
    uint64_t fromEntry = volume.lengthInBytes();
    uint64_t fromMedium = 0;
    if (reader && reader->mediumLength > uint64_t(std::max<int64_t>(reader->volumeOrigin, 0)))
        fromMedium = reader->mediumLength - uint64_t(std::max<int64_t>(reader->volumeOrigin, 0));
    if (fromEntry && fromMedium) return std::min(fromEntry, fromMedium);
    return fromEntry ? fromEntry : fromMedium;
}

void HFSP::attachVolume() {
    if (reader) reader->volumeOrigin = volume.startSector * 512;
    if (tree) topItem_ = tree->insertItem(rootName, kIconFolder, kNoItem);
}

bool HFSP::readVolumeHeader() {
    if (!reader) return false;
    uint8_t bytes[kHeaderBytes];
    readAt(kHeaderOffset, bytes, sizeof bytes);
    header_ = HfsVolumeHeader::fromBytes(bytes);
    usedAlternateHeader_ = false;
    const uint64_t size = volumeBytes();
    if (!header_.usable() && size >= 2 * kHeaderOffset + kHeaderBytes) {
        readAt(size - kHeaderOffset, bytes, sizeof bytes);
        HfsVolumeHeader alternate = HfsVolumeHeader::fromBytes(bytes);
        if (alternate.usable()) {
            header_ = alternate;
            usedAlternateHeader_ = true;
            status("Volume header damaged: using the alternate volume header....");
        }
    }
    bool accepted = header_.usable();
    if (!accepted && header_.geometryUsable(size)) {
        // Both signatures damaged (header_ is still the primary): its geometry still serves.
        accepted = true;
        status("Volume header signatures damaged: using the primary header's geometry....");
    }
    blockSize_ = accepted ? header_.blockSize : 0;
    return true;
}

HfsTreeInfo HFSP::readTreeHeader(uint32_t startBlock) const {
    HfsTreeInfo info;
    if (blockSize_ == 0) return info;
    info.startOffset = uint64_t(startBlock) * blockSize_;
    uint8_t bytes[kHeaderBytes];
    readAt(info.startOffset, bytes, sizeof bytes);
    const uint8_t* rec = bytes + kDescriptorBytes;  // header record
    info.firstLeaf = be32(rec + 10);
    info.nodeSize = be16(rec + 18);
    const uint32_t total = be32(rec + 22);
    const uint64_t size = volumeBytes();
    if (!validNodeSize(info.nodeSize) || info.startOffset >= size || size - info.startOffset < info.nodeSize)
        return info;
    info.totalNodes = uint32_t(std::min<uint64_t>(total, (size - info.startOffset) / info.nodeSize));
    const int8_t kind = int8_t(bytes[8]);
    const uint16_t count = be16(bytes + 10);
    info.usable = info.totalNodes > 0 && kind >= -1 && kind <= 2 && count != 0;
    return info;
}

// Visits every node slot of a tree in order and keeps those whose descriptor is plausible.
bool HFSP::walkTree(const HfsTreeInfo& info, std::vector<HfsNodeRecord>& out) {
    const uint32_t nodeSize = info.nodeSize;
    const size_t perBatch = std::max<size_t>(1, kWalkBatchBytes / nodeSize);
    std::vector<uint8_t> buf(perBatch * nodeSize);
    progressRange(info.totalNodes);
    for (uint64_t first = 0; first < info.totalNodes; first += perBatch) {
        if (stopPolled()) break;
        progressPos(int64_t(first));
        const size_t n = size_t(std::min<uint64_t>(perBatch, info.totalNodes - first));
        // One bad sector costs the nodes it lies in: they read as zeros and fail the test below.
        unreadableMetadata_ += readBlocks(info.startOffset + first * nodeSize, buf.data(), n * nodeSize);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* node = buf.data() + i * nodeSize;
            const int8_t kind = int8_t(node[8]);
            const uint16_t count = be16(node + 10);
            if (kind < -1 || kind > 2 || count == 0) continue;
            HfsNodeRecord r;
            r.byteOffset = info.startOffset + (first + i) * nodeSize;
            r.forwardLink = be32(node);
            r.kind = kind;
            r.height = node[9];
            r.recordCount = count;
            r.recordOffsets = recordOffsetsOf(node, nodeSize, count);
            out.push_back(std::move(r));
        }
    }
    if (control) control->clear();
    return true;
}

bool HFSP::walkCatalogNodes() {
    if (blockSize_ == 0) return false;
    catalog_ = readTreeHeader(header_.catalogFile.extents[0].startBlock);
    if (!validNodeSize(catalog_.nodeSize) || catalog_.totalNodes == 0) return false;
    catalogNodes_.clear();
    walkTree(catalog_, catalogNodes_);
    markLinkedLeaves();
    return true;
}

bool HFSP::walkExtentsNodes() {
    if (blockSize_ == 0) return false;
    extents_ = readTreeHeader(header_.extentsFile.extents[0].startBlock);
    extentsNodes_.clear();
    extentIndex_.clear();
    if (!extents_.usable) {
        status("Extents overflow file not usable: files keep the extents of their catalog records....");
        return true;
    }
    walkTree(extents_, extentsNodes_);
    buildExtentIndex();
    return true;
}

void HFSP::buildExtentIndex() {
    const uint32_t nodeSize = extents_.nodeSize;
    std::vector<uint8_t> node(nodeSize);
    for (size_t i = 0; i < extentsNodes_.size(); ++i) {
        const HfsNodeRecord& r = extentsNodes_[i];
        if (r.kind != -1) continue;
        if (stopPolled()) break;
        progressPos(int64_t(i));
        unreadableMetadata_ += readBlocks(r.byteOffset, node.data(), nodeSize);
        for (uint16_t o : r.recordOffsets) {
            // Key: length (16), fork type (8), pad (8), file ID (32), start block (32); then 8 extents.
            if (size_t(o) + 12 + 64 > nodeSize) continue;
            const uint8_t* p = node.data() + o;
            HfsExtentKey key{be32(p + 4), p[2], be32(p + 8)};
            HfsExtentRecord rec;
            rec.nodeOffset = r.byteOffset;
            rec.recordOffset = o;
            for (size_t e = 0; e < 8; ++e) rec.extents[e] = {be32(p + 12 + 8 * e), be32(p + 16 + 8 * e)};
            extentIndex_[key] = rec;
        }
    }
    if (control) control->clear();
}

// Marks the catalog leaves that the tree still links, following the leaf chain from the
// header's first leaf; a node met twice ends the chain.
void HFSP::markLinkedLeaves() {
    catalogNodeLinked_.assign(catalogNodes_.size(), false);
    if (!validNodeSize(catalog_.nodeSize) || catalog_.totalNodes == 0) return;
    std::unordered_map<uint64_t, size_t> byOffset;
    for (size_t i = 0; i < catalogNodes_.size(); ++i) byOffset.emplace(catalogNodes_[i].byteOffset, i);
    uint64_t n = catalog_.firstLeaf;
    while (n != 0 && n < catalog_.totalNodes) {
        auto it = byOffset.find(catalog_.startOffset + n * catalog_.nodeSize);
        if (it == byOffset.end() || catalogNodes_[it->second].kind != -1 || catalogNodeLinked_[it->second]) break;
        catalogNodeLinked_[it->second] = true;
        n = catalogNodes_[it->second].forwardLink;
    }
}

bool HFSP::scanForCatalogLeaves() {
    if (blockSize_ == 0) return false;
    catalog_ = readTreeHeader(header_.catalogFile.extents[0].startBlock);
    deepMode_ = true;
    const uint64_t size = volumeBytes();
    const uint32_t nodeSize = catalog_.nodeSize;
    if (!validNodeSize(nodeSize) || size / blockSize_ == 0 || size < nodeSize) {
        status("BlockSize not valid .Aborting..");
        return false;
    }
    const uint64_t step = std::min<uint64_t>(blockSize_, nodeSize);
    // A small volume needs no more than its own size of buffer.
    std::vector<uint8_t> chunk(size_t(std::min<uint64_t>(kDeepChunkBytes, size) + nodeSize));
    catalogNodes_.clear();
    progressRange(int64_t(size / blockSize_));
    bool stopped = false;
    for (uint64_t pos = 0; !stopped && pos + nodeSize <= size; pos += kDeepChunkBytes) {
        if (stopPolled()) break;
        const size_t want = size_t(std::min<uint64_t>(chunk.size(), size - pos));
        std::fill(chunk.begin() + want, chunk.end(), uint8_t(0));
        unreadableMetadata_ += readBlocks(pos, chunk.data(), want);
        progressPos(int64_t(pos / blockSize_));
        for (uint64_t k = 0; k < kDeepChunkBytes && k + nodeSize <= chunk.size() && pos + k + nodeSize <= size;
             k += step) {
            if ((k / step) % 4096 == 0 && stopPolled()) {
                stopped = true;
                break;
            }
            const uint8_t* node = chunk.data() + k;
            const uint16_t count = be16(node + 10);
            if (node[8] != 0xFF || node[9] == 0 || node[nodeSize - 2] != 0x00 || node[nodeSize - 1] != 0x0E ||
                count < 1 || count > 999)
                continue;
            HfsNodeRecord r;
            r.byteOffset = pos + k;
            r.forwardLink = be32(node);
            r.kind = -1;
            r.height = node[9];
            r.recordCount = count;
            for (uint16_t o : recordOffsetsOf(node, nodeSize, count))
                if (o != 0 && o < 0x8000) r.recordOffsets.push_back(o);
            catalogNodes_.push_back(std::move(r));
        }
    }
    markLinkedLeaves();
    if (control) control->clear();
    return true;
}

}  // namespace quarvell
