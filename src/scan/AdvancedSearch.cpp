#include "scan/AdvancedSearch.h"

#include <cstdlib>
#include <memory>

#include "common/TextFormat.h"
#include "fs/exfat/Fat64Class.h"
#include "fs/fat/FatParser.h"

namespace quarvell {

namespace {

bool isKind(const FileSystemKind& kind, const char* id) { return kind.id == id; }

// The boot sector's sectors per cluster, when the boot sector is still valid and the value is
// non-zero and even; -1 otherwise.
int fatBootSectorsPerCluster(bool fat32, const ParseRequest& request) {
    std::unique_ptr<FatParser> parser;
    if (fat32) parser = std::make_unique<Fat32Class>();
    else parser = std::make_unique<Fat16Class>();
    parser->volume = request.volume;
    parser->reader = &request.reader;
    parser->attachFatReader();
    parser->setVolumeSize(request.volume.lengthInBytes());
    if (!parser->readFatBootSector()) return -1;
    const uint32_t spc = parser->clusterSize() / 512;
    return spc != 0 && spc % 2 == 0 ? int(spc) : -1;
}

// The boot sector's cluster shift (in 512-byte sectors); a wiped boot sector leaves the backup's
// at sector 12; -1 when neither is valid.
int exfatBootShift(const ParseRequest& request) {
    Fat64Class parser;
    parser.volume = request.volume;
    parser.reader = &request.reader;
    parser.attachExfatReader();
    if (!parser.readExfatBootSector()) return parser.backupBootClusterShift();
    const uint64_t sectors = parser.clusterSize() / 512;
    if (sectors == 0) return -1;
    int shift = 0;
    while (shift < 31 && (uint64_t(1) << (shift + 1)) <= sectors) ++shift;
    return shift;
}

// The fixed cluster choices with the boot sector's value (when not -1) first and not repeated. The
// FAT lists end with 1 sector per cluster, which small FAT volumes use and a wiped boot sector no
// longer tells.
std::vector<std::string> withFirst(int first, std::vector<std::string> fixed) {
    if (first < 0) return fixed;
    std::vector<std::string> out{std::to_string(first)};
    for (std::string& item : fixed)
        if (item != out.front()) out.push_back(std::move(item));
    return out;
}

}  // namespace

const FileSystemKind* advancedSearchKind(const std::string& label) {
    const FileSystemKind* kind = findFileSystemKind(label);
    return kind && kind->modes.advanced && kind->findCandidates ? kind : nullptr;
}

AdvancedSearchLayout advancedSearchLayout(const FileSystemKind& kind) {
    AdvancedSearchLayout layout;
    layout.entriesLabel = "TFS :";
    if (isKind(kind, "ntfs")) {
        layout.startStatus = "ntfs partition selected....";
    } else if (isKind(kind, "fat16")) {
        layout.entriesLabel = "Total fat16 Entries Found:";
        layout.startStatus = "Finding Fat entries....";
    } else if (isKind(kind, "exfat")) {
        layout.entriesLabel = "Total fat64 Entries Found:";
        layout.heapList = true;
        layout.startStatus = "Finding Fat64 entries....";
    }
    return layout;
}

AdvancedSearchOutcome runAdvancedSearch(const FileSystemKind& kind, const ParseRequest& request, int wanted) {
    AdvancedSearchOutcome out;
    if (wanted < 1) wanted = 3;
    out.doneStatus = "Parsing done.Click Next to continue.";
    if (isKind(kind, "ntfs")) {
        out.found = kind.findCandidates(request, wanted);
        out.clusterItems = {"8", "4", "2", "16", "32", "64"};
        out.message = format("Number of MFT-ENTRY found = %d . Please select the choice from combo box and click "
                             "Next button to proceed.",
                             int(out.found.primary.size()));
        out.doneStatus = "Parsing done.Click next to continue.";
    } else if (isKind(kind, "fat16")) {
        const int boot = fatBootSectorsPerCluster(false, request);
        out.found = kind.findCandidates(request, wanted);
        out.clusterItems = withFirst(boot, {"4", "8", "16", "2", "32", "64", "128", "1"});
        out.message = format("Number of FAT-ENTRY found = %d . Please select the choice from combo box and click "
                             "Next button to proceed.",
                             int(out.found.primary.size()));
    } else if (isKind(kind, "fat32")) {
        const int boot = fatBootSectorsPerCluster(true, request);
        out.found = kind.findCandidates(request, wanted);
        out.clusterItems = withFirst(boot, {"2", "4", "16", "32", "64", "8", "1"});
        out.message = out.found.primary.empty()
                          ? std::string("NO FAT  FAT32-ENTRY found ..")
                          : format("Number of FAT32-ENTRY found = %d . Please select the choice from combo box and "
                                   "click Next button to proceed.",
                                   int(out.found.primary.size()));
    } else if (isKind(kind, "exfat")) {
        const int boot = exfatBootShift(request);
        out.found = kind.findCandidates(request, wanted);
        out.clusterItems = withFirst(boot, {"8", "9", "10", "11"});
        out.message = format("Number of FAT64-ENTRY found = %d and Number of HeapOffset-ENTRY found =  %d  . Please "
                             "select the choice from ( Entry and Heap ) Combobox and click Next button to proceed.",
                             int(out.found.primary.size()), int(out.found.heap.size()));
    } else {
        out.found = kind.findCandidates(request, wanted);
        out.message = format("%d candidates found", int(out.found.primary.size()));
    }
    // The search's own lines: the per-find lines were status lines already, the closing message
    // is shown once.
    for (const std::string& m : out.found.messages)
        if (m != out.message && !m.starts_with("found fat entry")) out.notes.push_back(m);
    return out;
}

int sectorsPerClusterOf(const FileSystemKind& kind, const std::string& item) {
    char* end = nullptr;
    const long n = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || end == item.c_str() || *end != '\0' || n <= 0) return 0;
    if (isKind(kind, "exfat")) return n < 31 ? int(1L << n) : 0;
    return n <= 1 << 16 ? int(n) : 0;
}

}  // namespace quarvell
