#pragma once
// Never write onto the medium being recovered: the storage that holds an output folder is
// resolved down to what finally stores it (the whole disk behind a partition or a
// device-mapper device, the backing file of a loop device, the source device of a fuseblk
// mount) and compared with the source being read.
#include <string>

namespace quarvell {

struct SameDiskVerdict {
    bool same = false;   // writing into the folder would write onto the source
    std::string reason;  // why, naming the storage found (empty when not the same)
};

// Where the system's tables are read from; tests point them at a made-up system.
struct SystemTables {
    std::string mountInfo = "/proc/self/mountinfo";
    std::string sysRoot = "/sys";
};

// sourcePath: the image file or block device being recovered. outputFolder: the folder to write
// into; when it does not exist yet, the nearest folder above it that does decides.
// A device source is refused when the folder's storage is the device itself, one of its
// partitions, or a device-mapper or loop device stacked on it (also through a loop device's
// backing file that lies on it); an image source when the storage is the image file itself or a
// loop device backed by it. The file system that merely holds an image file is not the image.
SameDiskVerdict checkOutputAgainstSource(const std::string& sourcePath, const std::string& outputFolder);
SameDiskVerdict checkOutputAgainstSource(const std::string& sourcePath, const std::string& outputFolder,
                                         const SystemTables& tables);

}  // namespace quarvell
