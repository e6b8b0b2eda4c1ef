#pragma once
// What the drive-parsing-modes page hands the volume list: the drive and how to scan it.
#include <cstdint>
#include <string>

#include "partition/VolumeListModel.h"

namespace quarvell::ui {

struct PopulateDriveSettings {
    std::string drivePath;
    ScanMode scanMode = ScanMode::Standard;
    bool gptMode = false;
    bool doNotSkipVolumeSize = false;
    int64_t customStartSector = 0;  // 0 = from the drive's start
    int64_t customEndSector = 0;    // 0 = to the drive's end
};

}  // namespace quarvell::ui
