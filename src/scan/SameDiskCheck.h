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

// sourcePath: the image file or block device being recovered. outputFolder: an existing folder.
SameDiskVerdict checkOutputAgainstSource(const std::string& sourcePath, const std::string& outputFolder);

}  // namespace quarvell
