#pragma once
// Finds the volumes of a drive: the standard scan reads the partition tables (MBR with its
// extended chain, or GPT); the advanced scan reads every sector looking for boot records.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "partition/VolumeEntry.h"

namespace quarvell {

class readWriteInterface;
class UiSink;
class PauseGate;

class Partition {
public:
    UiSink* statusLabel = nullptr;                 // status texts and progress (range 0..1000)
    std::vector<VolumeEntry>* resultsPage = nullptr;  // where finds are appended
    // Advanced scan: called for each find as soon as it is listed (the page inserts its row).
    std::function<void(const VolumeEntry&)> onFound;
    PauseGate* pauseGate = nullptr;                // polled with stopRequested
    bool skipVolumeSize = false;
    std::atomic<bool> stopRequested{false};
    int64_t customStartSector = 0;
    int64_t customEndSector = 0;
    bool gptMode = false;

    // Sectors that could not be read during the last scan (read as zeros, scan went on).
    int64_t unreadableSectors = 0;

    // driveSectorCount: the medium's length in 512-byte sectors.
    void scanPartitionTables(readWriteInterface& reader, int64_t driveSectorCount);
    void scanDriveForVolumes(readWriteInterface& reader, int64_t driveSectorCount);

    static bool isExfatAt(readWriteInterface& reader, int64_t sector);
    static bool isHfsPlusAt(readWriteInterface& reader, int64_t sector);
};

}  // namespace quarvell
