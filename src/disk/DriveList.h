#pragma once
// What this machine offers for recovery: whole block devices (the physical drives) and the
// partitions on them that carry a recognised file system (the volumes).
#include <cstdint>
#include <string>
#include <vector>

#include "disk/VolumeEntry.h"

namespace quarvell {

struct DriveInfo {
    std::string path;   // "/dev/sda"
    std::string model;  // from /sys/block/X/device/model; empty when the drive does not say
    uint64_t sizeBytes = 0;
    // The text a drive list shows: the model, or the device path when the model is empty.
    std::string displayText() const { return model.empty() ? path : model; }
};

// Whole block devices under sysRoot/block, in name order: every device of non-zero size
// (attached loop devices included) except ram and zram devices.
std::vector<DriveInfo> listPhysicalDrives(const std::string& sysRoot = "/sys");

// Partitions of those drives with a recognised file system, as VolumeEntry records:
// fileSystem = the label ("NTFS", "FAT32", "FAT16", "FAT12", "FAT64", "HFS+", "extX", or the
// reported name of any other file system), displayName = volumeName = the device path,
// sizeText = "%d  MB" of the size in MiB, startSector = 0, sectorCount = exact size.
std::vector<VolumeEntry> listVolumes(const std::string& sysRoot = "/sys", const std::string& devRoot = "/dev",
                                     const std::string& udevDataRoot = "/run/udev/data");

// Maps a Linux file-system type name to the label the pages use. For "vfat" the boot sector
// decides between FAT32, FAT16 and FAT12 (bootSector may be null: then "FAT32").
std::string labelForFsType(const std::string& linuxType, const uint8_t* bootSector = nullptr);

}  // namespace quarvell
