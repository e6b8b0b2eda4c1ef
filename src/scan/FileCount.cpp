#include "scan/FileCount.h"

#include <algorithm>
#include <vector>

namespace quarvell {

namespace {
uint64_t countBelow(const EntryAdapter& adapter, EntryKey folder, std::vector<EntryKey>& path) {
    if (path.size() >= kMaxFolderDepth || std::find(path.begin(), path.end(), folder) != path.end()) return 0;
    path.push_back(folder);
    uint64_t n = 0;
    for (EntryKey child : adapter.children(folder)) {
        if (adapter.isFolder(child)) n += countBelow(adapter, child, path);
        else if (adapter.countsAsFile(child)) ++n;
    }
    path.pop_back();
    return n;
}
}  // namespace

uint64_t countFiles(const EntryAdapter& adapter, EntryKey folder) {
    std::vector<EntryKey> path;
    return countBelow(adapter, folder, path);
}

}  // namespace quarvell
