// The one table of file systems. Adding one is a folder under src/fs/ and a line here.
#include <algorithm>

#include "common/TextFormat.h"
#include "fs/FileSystemKind.h"
#include "fs/exfat/ExfatKind.h"
#include "fs/fat/FatKind.h"
#include "fs/ext/ExtKind.h"
#include "fs/hfsplus/HfsKind.h"
#include "fs/ntfs/NtfsKind.h"

namespace quarvell {

const std::vector<FileSystemKind>& fileSystemKinds() {
    static const std::vector<FileSystemKind> kinds = {
        ntfsKind(),
        fat32Kind(),
        fat16Kind(),
        fat12Kind(),
        extKind(),
        exfatKind(),
        hfsPlusKind(),
    };
    return kinds;
}

const FileSystemKind* findFileSystemKind(const std::string& label) {
    for (const FileSystemKind& kind : fileSystemKinds())
        for (const std::string& l : kind.labels)
            if (equalsNoCase(label, l)) return &kind;
    return nullptr;
}

std::vector<std::string> treatAsLabels() {
    std::vector<const FileSystemKind*> offered;
    for (const FileSystemKind& kind : fileSystemKinds())
        if (kind.treatAsPlace > 0 && !kind.labels.empty()) offered.push_back(&kind);
    std::stable_sort(offered.begin(), offered.end(),
                     [](const FileSystemKind* a, const FileSystemKind* b) { return a->treatAsPlace < b->treatAsPlace; });
    std::vector<std::string> out;
    for (const FileSystemKind* kind : offered) out.push_back(kind->labels.front());
    return out;
}

}  // namespace quarvell
