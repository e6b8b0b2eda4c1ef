#pragma once
// Finds the volumes of a drive: the standard scan reads the partition tables (MBR with its
// extended chain, or GPT); the advanced scan reads every sector looking for boot records.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disk/VolumeEntry.h"

namespace quarvell {

inline constexpr const char* kSectorZeroUnreadableText = "sector 0 could not be read: no partition table was found";
inline constexpr const char* kGptHeaderUnreadableText = "the GPT header (sector 1) could not be read: no partition table was found";

class readWriteInterface;
class UiSink;
class WorkerControl;

class Partition {
public:
    UiSink* statusLabel = nullptr;                 // status texts and progress (range 0..1000)
    std::vector<VolumeEntry>* resultsPage = nullptr;  // where finds are appended
    // Advanced scan: called for each find as soon as it is listed (the page inserts its row).
    std::function<void(const VolumeEntry&)> onFound;
    // The job's stop flag and pause gate (may be null: the scan then runs to its end). A stopped
    // scan clears the stop flag on its way out; an abort stays set.
    WorkerControl* control = nullptr;
    bool skipVolumeSize = false;
    int64_t customStartSector = 0;
    int64_t customEndSector = 0;
    bool gptMode = false;

    // Sectors that could not be read during the last scan (read as zeros, scan went on).
    int64_t unreadableSectors = 0;
    // Standard scan: why the partition table itself could not be read (sector 0, or the GPT
    // header of a GPT disk); empty when it was read. The scan then lists nothing.
    std::string tableFailure;
    // A table read with doubts (a damaged GPT header); empty when there are none.
    std::string tableWarning;
    // Standard scan: the table was read as GPT (ticked, or found behind a protective MBR).
    bool readAsGpt = false;

    // driveSectorCount: the medium's length in 512-byte sectors.
    void scanPartitionTables(readWriteInterface& reader, int64_t driveSectorCount);
    void scanDriveForVolumes(readWriteInterface& reader, int64_t driveSectorCount);

    static bool isExfatAt(readWriteInterface& reader, int64_t sector);
    static bool isHfsPlusAt(readWriteInterface& reader, int64_t sector);
};

}  // namespace quarvell
