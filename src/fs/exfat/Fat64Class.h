#pragma once
// Parser of one exFAT volume: the boot sector, the directory tree walked from the root
// directory through its entry sets (live and deleted), the records linked under a
// "DUMMY ENTRY" root, the result tree's top level, the texts, and a file's data as cluster
// runs. For damaged volumes, the advanced road searches the volume for FAT starts and cluster
// heap starts, carves entry sets with a chosen geometry and rebuilds the tree from them.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "fs/exfat/ExfatRecords.h"
#include "partition/VolumeEntry.h"

namespace quarvell {

class readWriteInterface;
class UiSink;
class WorkerControl;

// Consecutive clusters of a file or directory.
struct ExfatClusterRun {
    uint32_t first = 0;
    uint64_t count = 0;
};

class Fat64Class {
public:
    Fat64Class() = default;
    Fat64Class(const Fat64Class&) = delete;
    Fat64Class& operator=(const Fat64Class&) = delete;

    // Hand-off links, set before the parse starts.
    VolumeEntry volume;
    readWriteInterface* reader = nullptr;
    ResultTree* tree = nullptr;
    UiSink* sink = nullptr;
    WorkerControl* control = nullptr;
    bool driveFormatted = false;  // "Is Drive Formated..?": every file as consecutive clusters
    std::string rootName = "ROOT";
    uint64_t volumeSize = 0;      // bytes

    // Normal road.
    bool attachExfatReader();
    bool readExfatBootSector();
    bool readExfatRootCluster();
    // The sectors-per-cluster shift of the backup boot sector (sector 12) when it is an exFAT
    // boot sector with 512-byte sectors; -1 otherwise.
    int backupBootClusterShift() const;
    void walkExfatDirectories();
    void linkExfatEntries();
    void fillExfatTree();

    // Advanced road.
    std::vector<uint64_t> findExfatFatStarts(int wanted);
    std::vector<uint64_t> findExfatHeapStarts(int wanted);
    // The chosen cluster value is the shift: sectors per cluster = 2^shift, 512-byte sectors.
    void setExfatGeometry(unsigned shift);
    void carveExfatEntrySets();
    bool rebuildExfatTree(uint64_t heapPosition, uint64_t fatPosition);

    // Chain step: the FAT entry of `cluster`, or -1 when the chain ends here.
    int64_t nextExfatCluster(uint32_t cluster) const;

    std::string formatExfatEntrySize(const ExfatEntry& e) const;
    EntryTexts formatExfatEntryTimes(const ExfatEntry& e) const;
    FileData exfatFileData(const ExfatEntry& e) const;
    // The length a saved file gets: its data length, never more than the cluster heap holds.
    uint64_t savedSize(const ExfatEntry& e) const;

    const std::vector<ExfatEntry>& entries() const { return entries_; }
    const ExfatEntry* entry(int64_t index) const;
    // The recycle-bin restoration gives a "$R" file the name it had before it was deleted.
    bool restoreName(int64_t index, const std::string& name) {
        if (index < 0 || uint64_t(index) >= entries_.size()) return false;
        entries_[size_t(index)].name = name;
        return true;
    }
    const std::vector<uint64_t>& foundFats() const { return foundFats_; }
    const std::vector<uint64_t>& foundHeaps() const { return foundHeaps_; }
    const std::vector<uint64_t>& carvedPositions() const { return carved_; }
    uint64_t clusterSize() const { return clusterSize_; }
    uint64_t heapOffset() const { return heapOffset_; }
    uint64_t fatOffset() const { return fatOffset_; }
    uint32_t rootCluster() const { return rootCluster_; }
    bool bootSectorValid() const { return bootValid_; }
    // One past the last cluster number that lies on the volume.
    uint64_t clusterEnd() const;
    uint64_t unreadableMetadata() const { return unreadableMetadata_; }
    // Deleted files whose set says FAT chain: read from their first cluster through the clusters
    // no live file uses, unless their old chain is still intact.
    uint64_t deletedChainedFiles() const;
    uint64_t chainLookups() const { return chainLookups_; }

    // The clusters `bytes` of data occupy, from the entry's first cluster, as the flags, the
    // formatted-drive choice and (for deleted entries) the clusters in use decide. Never more
    // than needed; fewer when the chain or the volume ends first.
    std::vector<ExfatClusterRun> clusterRuns(const ExfatEntry& e, uint64_t bytes) const;

private:
    struct DirectoryWork {
        uint32_t index = 0;      // the directory's record (0: the root)
        bool liveContext = false;
    };

    bool stopPolled() const;
    void status(const std::string& text) const;
    void progressRange(int64_t high) const;
    void progressPos(int64_t pos) const;
    // Reads around bad sectors; returns the bytes that could not be read (left zero).
    uint64_t readVolume(uint64_t offset, uint8_t* buf, size_t count) const;
    uint64_t clusterOffset(uint32_t cluster) const { return heapOffset_ + uint64_t(cluster - 2) * clusterSize_; }
    bool validCluster(uint64_t cluster) const { return cluster >= 2 && cluster < clusterEnd(); }
    uint32_t fatEntry(uint32_t cluster) const;

    // Walks the queued directories, live ones first, one directory in memory at a time.
    void runDirectoryWalk(std::vector<DirectoryWork>& live, std::vector<DirectoryWork>& deleted);
    // The clusters of a directory (the root: index 0), stopping at clusters already walked.
    std::vector<uint32_t> directoryClusters(uint32_t index);
    // Parses the 32-byte slots of one directory's bytes into records below `parent`.
    void parseDirectory(const std::vector<uint8_t>& bytes, const std::vector<uint32_t>& clusters, uint32_t parent,
                        bool liveContext, std::vector<DirectoryWork>& live, std::vector<DirectoryWork>& deleted);
    // Reads one entry set at slot `i` of `bytes`; returns the slots it spans (0: not a set).
    size_t readEntrySet(const uint8_t* bytes, size_t slots, size_t i, ExfatEntry& out) const;
    void appendDummy();
    // Marks the clusters live records, the root and the system files use (built once, on demand).
    const std::vector<bool>& liveClusters() const;
    std::vector<ExfatClusterRun> chainRuns(uint32_t first, uint64_t wanted, bool requireFree, bool& intact) const;
    std::vector<ExfatClusterRun> freeClusterRuns(uint32_t first, uint64_t wanted) const;
    std::vector<uint64_t> scanSignature(int wanted, bool fatStart);

    uint8_t boot_[512] = {};
    bool bootValid_ = false;
    uint64_t bytesPerSector_ = 512;
    uint64_t sectorsPerCluster_ = 8;
    uint64_t clusterSize_ = 4096;
    uint64_t fatOffset_ = 0;
    uint64_t heapOffset_ = 0;
    bool chosenHeap_ = false;
    uint32_t rootCluster_ = 0;
    std::vector<uint64_t> foundFats_, foundHeaps_;
    std::vector<uint64_t> carved_;
    uint64_t labelPosition_ = 0;   // last volume label entry the carving met (0: none)
    uint64_t bitmapPosition_ = 0;  // last allocation bitmap entry the carving met (0: none)
    std::unordered_set<uint32_t> visitedClusters_;  // directory clusters already walked
    std::vector<ExfatClusterRun> systemRuns_;       // allocation bitmap and up-case table
    std::vector<uint32_t> liveDirectoryClusters_;   // clusters of the live directories walked
    std::vector<ExfatEntry> entries_;
    bool liveWalkDone_ = false;
    uint64_t unreadableMetadata_ = 0;
    mutable uint64_t chainLookups_ = 0;
    mutable std::unordered_map<uint64_t, std::vector<uint8_t>> fatPages_;
    mutable std::vector<bool> live_;
    mutable bool liveBuilt_ = false;
    TreeItem topItem_ = kNoItem;
};

}  // namespace quarvell
