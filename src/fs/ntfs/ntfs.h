#pragma once
// Parser of one NTFS volume: the boot sector, the four roads to the MFT (the boot sector, a
// scan for the first MFT record when the boot sector is gone, a deep scan for every record,
// and a found MFT copy the user picked), the records turned into entries linked into a
// directory tree, the size and time texts, and a file's data as runs or decoded units.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/FileData.h"
#include "fs/FileSystemKind.h"
#include "fs/ntfs/NtfsRecords.h"
#include "partition/VolumeEntry.h"

namespace quarvell {

class readWriteInterface;
class UiSink;
class WorkerControl;

// The boot sector fields the parser uses.
struct NtfsBootSector {
    bool valid = false;  // "NTFS" at byte 3
    uint32_t bytesPerSector = 512;
    uint32_t sectorsPerCluster = 0;
    uint64_t totalSectors = 0;
    uint64_t mftCluster = 0;
    uint32_t recordSize = 1024;  // from the clusters-per-record byte when it gives 1024 or 4096
};

class ntfs {
public:
    ntfs() = default;
    ntfs(const ntfs&) = delete;
    ntfs& operator=(const ntfs&) = delete;

    // Hand-off links, set before the parse starts.
    VolumeEntry volume;
    readWriteInterface* reader = nullptr;
    ResultTree* tree = nullptr;
    UiSink* sink = nullptr;
    WorkerControl* control = nullptr;
    ParseMode parseMode = ParseMode::Standard;
    std::string rootName = "ROOT";

    // Sets the reader's origin to the volume's first byte and inserts the top item "ROOT".
    void attachVolume();
    bool readNtfsBootSector();
    // The boot sector's MFT, or, when the boot sector is not an NTFS one, the first record
    // named "$MF..." found on the volume.
    bool locateMftFromBootSector();
    // Deep mode: every plausible record on the volume becomes an entry. Returns false (there
    // is no MFT run list on this road).
    bool scanVolumeForMftRecords();
    // Records that start an MFT: $MFT with $Boot seven records later (never $MFTMirr).
    std::vector<Candidate> findMftCandidates(uint64_t wanted);
    bool selectMftCandidate(uint32_t index);
    // Cluster size for the advanced road: sectors per cluster x 512 when above 0.
    void setSectorsPerCluster(uint32_t sectors);
    void loadMftRecords();
    // The run list of the unnamed $DATA attribute of the record at that offset, its extents in
    // extension records included, ordered by VCN.
    std::vector<MftRun> readAttributeRuns(uint64_t recordOffset, uint32_t attributeType);
    // The unnamed stream of that type; `lookup` maps extension record numbers (null: the MFT
    // run list, or in deep mode the records the scan met).
    NtfsStream readStream(uint64_t recordOffset, uint32_t attributeType,
                          const std::vector<MftRun>* lookup = nullptr) const;
    bool parseMftRecord(uint64_t recordOffset, uint32_t entryIndex);
    bool buildNtfsTree();
    std::string formatNtfsEntrySize(int64_t index) const;
    EntryTexts formatNtfsEntryTimes(int64_t index) const;
    // The entry's unnamed data stream for the run writer.
    FileData ntfsFileData(int64_t index) const;
    void releaseNtfsNames();
    // The recycle-bin restoration gives an entry its former name.
    bool restoreName(int64_t index, const std::string& name);

    const std::vector<MftEntry>& entries() const { return entries_; }
    const MftEntry* entry(int64_t index) const {
        return index >= 0 && uint64_t(index) < entries_.size() ? &entries_[size_t(index)] : nullptr;
    }
    const NtfsBootSector& bootSector() const { return boot_; }
    const std::vector<MftRun>& mftRuns() const { return mftRuns_; }
    uint64_t clusterSize() const { return clusterSize_; }
    uint32_t recordSize() const { return recordSize_; }
    uint64_t volumeBytes() const { return volumeBytes_; }
    int64_t rootIndex() const { return rootIndex_; }
    int64_t orphanIndex() const { return orphanIndex_; }
    bool mftUsable() const { return mftUsable_; }
    uint64_t unreadableMetadata() const { return unreadableMetadata_; }
    // The record of an entry (its own, or for a hard link's second name the linked one).
    uint64_t dataRecordOffset(int64_t index) const;
    // Reads and fixes up the record at that offset; false when it is not a record.
    bool readRecord(uint64_t offset, std::vector<uint8_t>& record) const;
    // The volume offset of MFT record number n through the MFT run list (false: not covered).
    bool recordOffsetOf(uint64_t number, uint64_t& offset, const std::vector<MftRun>* runs = nullptr) const;

private:
    friend class NtfsVolumeScan;
    bool stopPolled() const;
    void status(const std::string& text) const;
    void progressRange(int64_t high) const;
    void progressPos(int64_t pos) const;
    uint64_t readSalvaged(uint64_t offset, uint8_t* buf, size_t count) const;
    // The road-2 scan for the first "$MF" record.
    bool scanForFirstMftRecord();
    // Cluster size when the boot sector is unusable: the one that puts the $MFT's first run
    // at the record it was found in, else 4096.
    uint64_t inferClusterSize(uint64_t recordOffset, const std::vector<MftRun>& runs) const;
    uint32_t recordSizeOf(const uint8_t* record) const;
    void takeMftRuns(uint64_t recordOffset);
    void fillEntry(MftEntry& e, const ParsedRecord& parsed);
    void takeName(MftEntry& e, const ParsedRecord& parsed);
    void noteHardLinks(int64_t index, const ParsedRecord& parsed);
    void parseAllRecords();
    void noteUnreadable(uint64_t batchStart, uint64_t at, uint64_t lost);
    void addHardLinkNames();
    void linkStandard();
    void breakParentCycles(std::vector<int64_t>& parentOf) const;
    void linkDeep();
    void prependToOrphans(int64_t index);
    void appendChild(int64_t parent, int64_t child);
    void fillTopLevel();

    NtfsBootSector boot_;
    std::vector<MftRun> mftRuns_;
    std::vector<MftEntry> entries_;
    // Further long names of a record in other folders (hard links): (entry, name).
    std::vector<std::pair<int64_t, NtfsFileName>> extraNames_;
    std::vector<int64_t> aliasOf_;            // per entry from aliasBase_: the linked entry
    uint64_t aliasBase_ = UINT64_MAX;         // index of the first hard-link entry
    // Deep mode: record number -> offset of every plausible record, for extension records.
    std::unordered_map<int64_t, uint64_t> deepRecordOffsets_;
    // Offsets of records with sectors that could not be read: never read again.
    mutable std::unordered_set<uint64_t> unreadableRecords_;
    uint64_t lostFrom_ = 0, lostTo_ = 0;  // the lost stretch being joined during a batch read
    // [start, end) of the MFT batches that held unreadable sectors, sorted: records there are
    // read on the exact path, never through the cache again.
    std::vector<std::pair<uint64_t, uint64_t>> suspectBatches_;
    bool besideBadSectors(uint64_t offset) const;
    uint64_t volumeBytes_ = 0;
    uint64_t clusterSize_ = 0;
    uint32_t recordSize_ = 1024;
    uint32_t sectorSize_ = 512;
    bool runPending_ = true;
    bool mftUsable_ = false;
    int64_t rootIndex_ = 5;
    int64_t orphanIndex_ = -1;
    uint64_t unreadableMetadata_ = 0;
    TreeItem topItem_ = kNoItem;
};

}  // namespace quarvell
