#pragma once
// The parser shared by FAT12, FAT16 and FAT32 volumes: the boot sector, a cached file allocation
// table, the directory walk (short and long names, deleted entries), the first-child /
// next-sibling links, the top level of the result tree, the texts, and a file's data as cluster
// runs. The advanced road finds FAT copies on a volume whose boot sector is gone, carves
// directory entries and rebuilds the tree from a chosen FAT position. Fat32Class and
// Fat16Class differ only in the points their constructors set.
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"
#include "fs/fat/FatEntry.h"
#include "partition/VolumeEntry.h"

namespace quarvell {

class readWriteInterface;
class UiSink;
class WorkerControl;

class FatParser {
public:
    FatParser(const FatParser&) = delete;
    FatParser& operator=(const FatParser&) = delete;
    virtual ~FatParser() = default;

    // Hand-off links, set before the parse starts.
    VolumeEntry volume;
    readWriteInterface* reader = nullptr;
    ResultTree* tree = nullptr;
    UiSink* sink = nullptr;
    WorkerControl* control = nullptr;
    std::string rootName = "ROOT";
    // "Is Drive Formated..?": chains are not followed; a file's data is its consecutive clusters.
    bool driveFormatted = false;

    // Sets the reader's origin to the volume's first byte and inserts "ROOT".
    bool attachFatReader();
    // The volume's length in bytes (the parse takes it from the volume record).
    void setVolumeSize(uint64_t bytes) { volumeBytes_ = bytes; }
    // Reads the boot sector: a valid BIOS parameter block and this class's FAT-size test.
    bool readFatBootSector();
    // The root directory's size: FAT32 its clusters along the chain from the root cluster,
    // FAT12/16 the fixed region. Returns the size in bytes.
    uint64_t countRootFatEntries();
    bool readRootDirectory();
    void walkFatDirectories();
    void linkFatEntries();
    void fillFatTree();

    // The successor of a cluster in the FAT, or 0 at the end of the chain (end marks, free or
    // bad clusters, numbers outside the volume, and always with driveFormatted).
    uint32_t nextFatCluster(uint32_t cluster) const;

    std::string formatFatEntrySize(const FatEntry& entry) const;
    EntryTexts formatFatEntryTimes(const FatEntry& entry) const;
    FileData fatFileData(const FatEntry& entry) const;

    // Advanced road. Byte positions of FAT starts, at most `wanted`; messages receive the finds.
    std::vector<uint64_t> findFatStarts(uint64_t wanted, std::vector<std::string>* messages = nullptr);
    // Takes the FAT at `position` and a cluster size of sectorsPerCluster x 512 bytes (0: the
    // boot sector's when it is usable, else an estimate from the carved entries).
    bool readFatAtPosition(uint64_t position, uint32_t sectorsPerCluster);
    void carveFatDirectoryEntries();
    // The entry list from the carved slots: "DUMMY ENTRY", "ORPHAN ENTRY", the root directory
    // walked from the estimated root, and every carved slot no directory walk reached.
    void rebuildFatEntries();

    bool isFat32() const { return fat32_; }
    unsigned entryBits() const { return entryBits_; }
    uint32_t clusterSize() const { return clusterSize_; }
    uint64_t dataStart() const { return dataStart_; }
    uint32_t clusterLimit() const { return clusterLimit_; }
    uint64_t fatStart() const { return fatStart_; }
    const std::vector<FatEntry>& entries() const { return entries_; }
    // The recycle-bin restoration gives a "$R" file the name it had before it was deleted.
    bool restoreName(int64_t index, const std::string& name) {
        if (index < 0 || uint64_t(index) >= entries_.size()) return false;
        entries_[size_t(index)].name = name;
        return true;
    }
    const std::vector<uint64_t>& carvedSlots() const { return carved_; }
    // Bytes of FAT and directories that could not be read (read as zeros) or were left out.
    uint64_t unreadableMetadata() const { return unreadableMetadata_; }
    // Deleted files whose data is read from their first cluster through free clusters.
    uint64_t deletedReadFromFreeClusters() const { return deletedFromFree_; }
    // The raw FAT entry of a cluster (28 bits on FAT32).
    uint32_t fatEntry(uint32_t cluster) const;
    // Whether a cluster is free in the FAT (no live chain uses it).
    bool clusterFree(uint32_t cluster) const { return fatEntry(cluster) == 0; }

    const std::string& walkStatus() const { return walkStatus_; }
    const std::string& formatFailure() const { return formatFailure_; }

protected:
    explicit FatParser(bool fat32);
    bool fat32_;
    std::string walkStatus_;
    std::string formatFailure_;

private:
    struct PendingLongName {
        std::vector<uint8_t> units;  // 13 UTF-16 units per slot, in slot order
        unsigned pieces = 0;
        unsigned lastSequence = 0;   // live: the sequence number of the last slot taken
        uint8_t checksum = 0;
        bool deleted = false;
        bool active = false;
        uint64_t lastSlot = 0;       // volume offset of the last slot taken
        void clear() { units.clear(); pieces = 0; active = false; deleted = false; }
    };
    struct PendingDirectory {
        uint32_t entry;
        uint32_t cluster;
    };

    bool stopPolled() const;
    void status(const std::string& text) const;
    // Zeroes buf, then reads count bytes at a volume offset; returns the bytes that failed.
    uint64_t readAt(uint64_t offset, uint8_t* buf, uint32_t count) const;
    const uint8_t* fatBlock(uint64_t block) const;
    uint8_t fatByte(uint64_t offset) const;
    bool setGeometry(uint32_t bytesPerSector, uint32_t sectorsPerCluster, uint64_t fatStart, uint64_t fatBytes,
                     unsigned numFats, uint64_t dataStart, uint64_t totalBytes);
    uint64_t clusterOffset(uint32_t cluster) const { return dataStart_ + uint64_t(cluster - 2) * clusterSize_; }
    // Reads a directory from its first cluster along its chain (each cluster once per parse).
    void readDirectoryClusters(uint32_t first, std::vector<uint8_t>& bytes, std::vector<uint64_t>& where);
    // Walks 32-byte slots; `where` gives the volume offset of each `segment`-byte piece.
    void walkSlots(const std::vector<uint8_t>& bytes, const std::vector<uint64_t>& where, uint64_t segment,
                   uint32_t parent, bool insideDeleted, bool requireDot);
    // Handles one slot. Returns false at the end of the directory (a first byte of 0).
    bool takeSlot(const uint8_t* slot, uint64_t position, uint32_t parent, bool insideDeleted);
    void appendFromSlot(const uint8_t* slot, uint64_t position, uint32_t parent, bool insideDeleted,
                        const std::string& name);
    bool isAncestor(uint32_t candidate, uint32_t of) const;
    void drainDirectories();
    void countDeletedFromFree();
    bool plausibleSlot(const uint8_t* slot) const;
    bool isDotSlot(const uint8_t* slot) const;
    bool advancedGeometry(uint32_t sectorsPerCluster, uint64_t dataStart);
    void estimateGeometryFromDots();

    // Geometry.
    uint64_t volumeBytes_ = 0;
    uint32_t bytesPerSector_ = 512;
    uint32_t sectorsPerCluster_ = 0;
    uint32_t clusterSize_ = 0;
    uint64_t fatStart_ = 0;
    uint64_t fatBytes_ = 0;
    unsigned numFats_ = 1;
    uint64_t dataStart_ = 0;
    uint32_t clusterLimit_ = 0;  // one past the highest cluster number in use
    unsigned entryBits_ = 32;
    uint32_t rootCluster_ = 2;
    uint64_t rootStart_ = 0;     // FAT12/16: the fixed root region
    uint64_t rootBytes_ = 0;
    bool bootSectorUsable_ = false;
    bool advanced_ = false;

    // The FAT cache: 64 KiB blocks of the first FAT (the second copy stands in for blocks that
    // cannot be read).
    mutable std::unordered_map<uint64_t, std::vector<uint8_t>> fatBlocks_;
    mutable uint64_t unreadableFat_ = 0;

    std::vector<uint8_t> rootBuffer_;
    std::vector<uint64_t> rootWhere_;
    std::vector<FatEntry> entries_;
    std::unordered_map<uint32_t, uint32_t> walkedFolders_;  // first cluster -> entry walked from it
    std::vector<bool> directoryClusters_;                   // clusters already read as a directory
    std::deque<PendingDirectory> liveQueue_, deletedQueue_;
    PendingLongName longName_;
    std::unordered_set<uint64_t> takenSlots_;  // rebuild: slots a directory walk reached
    bool rebuilding_ = false;
    std::vector<uint64_t> carved_;
    std::vector<std::pair<uint64_t, uint32_t>> dots_;  // carved "." slots: position, cluster
    uint64_t chosenFat_ = 0;
    uint32_t chosenSectorsPerCluster_ = 0;             // 0: not chosen
    uint64_t unreadableMetadata_ = 0;
    uint64_t deletedFromFree_ = 0;
    TreeItem topItem_ = kNoItem;
};

// FAT32: 28-bit entries, the root directory a cluster chain.
class Fat32Class final : public FatParser {
public:
    Fat32Class();
};

// FAT16 and FAT12 (the entry width follows the cluster count): a fixed root region.
class Fat16Class final : public FatParser {
public:
    Fat16Class();
};

}  // namespace quarvell
