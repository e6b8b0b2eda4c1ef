#pragma once
// Where the drive page gets its entries: the machine's drives and volumes, and whether this user
// may read a device. Tests give the page their own.
#include <functional>
#include <string>
#include <vector>

#include "disk/DriveList.h"

namespace quarvell::ui {

struct DriveSources {
    std::function<std::vector<DriveInfo>()> drives;
    std::function<std::vector<VolumeEntry>()> volumes;
    std::function<bool(const std::string& path)> readable;

    // This machine, through the platform layer.
    static DriveSources system();
};

}  // namespace quarvell::ui
