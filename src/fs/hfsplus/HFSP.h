#pragma once
// Parser of one HFS+ volume: the volume header, every node slot of the catalog and extents
// B-trees (or, in deep mode, every catalog leaf found anywhere on the volume), the catalog
// entries linked into first-child / next-sibling chains, their texts, and saving a file's data
// fork. Nodes are addressed by byte offset, so node and block sizes need not match.
#include <cstdint>
#include <map>
#include <unordered_map>
#include <string>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/hfsplus/HfsRecords.h"
#include "fs/hfsplus/HfsVolumeHeader.h"
#include "partition/VolumeEntry.h"
#include "fs/EntryAdapter.h"

namespace quarvell {

class readWriteInterface;
class UiSink;
class WorkerControl;

// The three times a saved file receives, in seconds since 1970-01-01 UTC.
struct HfsFileTimes {
    int64_t creation = 0;
    int64_t lastAccess = 0;
    int64_t lastWrite = 0;
};

// Header record of a B-tree (node 0), as far as the walks use it.
struct HfsTreeInfo {
    uint64_t startOffset = 0;  // byte offset of node 0
    uint32_t nodeSize = 0;
    uint32_t totalNodes = 0;   // clipped to the nodes that fit on the volume
    uint32_t firstLeaf = 0;
    bool usable = false;
};

class HFSP {
public:
    HFSP() = default;
    HFSP(const HFSP&) = delete;
    HFSP& operator=(const HFSP&) = delete;

    // Hand-off links, set before the parse starts.
    VolumeEntry volume;
    readWriteInterface* reader = nullptr;
    ResultTree* tree = nullptr;
    UiSink* sink = nullptr;
    WorkerControl* control = nullptr;  // the job's stop flag and pause gate
    std::string rootName = "ROOT";

    // Sets the reader's origin to the volume's first byte and inserts the top item "ROOT".
    void attachVolume();
    // Reads the volume header; the alternate header stands in for an unusable one.
    bool readVolumeHeader();
    bool walkCatalogNodes();
    // Walks the extents overflow B-tree and builds the extent index. An unusable tree is
    // reported and leaves the index empty; the parse goes on.
    bool walkExtentsNodes();
    // Deep mode: finds catalog leaf nodes anywhere on the volume.
    bool scanForCatalogLeaves();
    bool parseCatalogLeaves();
    bool linkParentChild();
    bool populateTopLevel();

    std::string formatHfsEntrySize(const HfsCatalogEntry& entry) const;
    EntryTexts formatHfsEntryTimes(const HfsCatalogEntry& entry) const;
    // The entry's data fork as volume runs, with the times the saved file receives.
    FileData hfsFileData(const HfsCatalogEntry& entry) const;
    // Appends the data-fork extents that follow the first blocksSoFar blocks of fileId, from the
    // extent index, until totalBlocks are covered. False when a needed record is missing.
    bool collectOverflowExtents(uint64_t blocksSoFar, uint32_t fileId, uint64_t totalBlocks,
                                std::vector<HfsExtent>& runs) const;
    HfsFileTimes computeHfsFileTimes(const HfsCatalogEntry& entry) const;

    const HfsCatalogEntry* findEntry(uint64_t id) const;
    const std::map<uint64_t, HfsCatalogEntry>& entries() const { return entries_; }
    const std::vector<HfsNodeRecord>& catalogNodes() const { return catalogNodes_; }
    const std::map<HfsExtentKey, HfsExtentRecord>& extentIndex() const { return extentIndex_; }
    const HfsTreeInfo& catalogTree() const { return catalog_; }
    const HfsTreeInfo& extentsTree() const { return extents_; }
    bool deepMode() const { return deepMode_; }
    bool usedAlternateHeader() const { return usedAlternateHeader_; }
    uint64_t volumeBytes() const;
    // Bytes of B-tree nodes (or, deep, of the volume) that could not be read: read as zeros.
    uint64_t unreadableMetadata() const { return unreadableMetadata_; }

private:
    bool stopPolled() const;
    void status(const std::string& text) const;
    void progressRange(int64_t high) const;
    void progressPos(int64_t pos) const;
    // Zeroes buf, then reads count bytes at a volume-relative offset. True when all came.
    bool readAt(uint64_t offset, uint8_t* buf, size_t count) const;
    // Reads count bytes at a volume-relative offset, re-reading block by block when that fails;
    // returns how many bytes could not be read (they stay zero).
    uint64_t readBlocks(uint64_t offset, uint8_t* buf, size_t count) const;
    HfsTreeInfo readTreeHeader(uint32_t startBlock) const;
    bool walkTree(const HfsTreeInfo& info, std::vector<HfsNodeRecord>& out);
    void buildExtentIndex();
    void markLinkedLeaves();
    void parseLeaf(const HfsNodeRecord& node, const uint8_t* bytes, bool linked);
    void linkNormal();
    void keepLoopedFolders();
    void linkDeep();

    HfsVolumeHeader header_;
    bool usedAlternateHeader_ = false;
    uint64_t blockSize_ = 0;
    HfsTreeInfo catalog_, extents_;
    std::vector<HfsNodeRecord> catalogNodes_;
    std::vector<HfsNodeRecord> extentsNodes_;
    std::vector<bool> catalogNodeLinked_;  // per catalog node record: on the live leaf chain
    std::map<HfsExtentKey, HfsExtentRecord> extentIndex_;
    std::map<uint64_t, HfsCatalogEntry> entries_;
    // Lookup by ID once the entries are complete (the tree asks for entries many times each).
    std::unordered_map<uint64_t, const HfsCatalogEntry*> entryIndex_;
    uint64_t orphanId_ = 0;
    uint64_t unreadableMetadata_ = 0;
    bool deepMode_ = false;
    TreeItem topItem_ = kNoItem;
};

}  // namespace quarvell
