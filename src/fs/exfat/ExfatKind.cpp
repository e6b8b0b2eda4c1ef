#include "fs/exfat/ExfatKind.h"

#include <memory>
#include <string>

#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "fs/exfat/ExfatEntryAdapter.h"
#include "fs/exfat/ExfatProbe.h"
#include "fs/exfat/Fat64Class.h"

namespace quarvell {

namespace {

constexpr const char* kNotExfat = "Selected Drive is not in exFat Format";
constexpr unsigned kDefaultShift = 8;  // the advanced page's first cluster choice without a boot sector

class OwningExfatAdapter final : public ExfatEntryAdapter {
public:
    explicit OwningExfatAdapter(std::unique_ptr<Fat64Class> parser)
        : ExfatEntryAdapter(*parser), parser_(std::move(parser)) {}

private:
    std::unique_ptr<Fat64Class> parser_;
};

void link(Fat64Class& parser, const ParseRequest& request, ResultTree* tree) {
    parser.volume = request.volume;
    parser.reader = &request.reader;
    parser.tree = tree;
    parser.sink = &request.sink;
    parser.control = &request.control;
    parser.driveFormatted = request.advanced.driveFormatted;
}

// Sectors per cluster (a power of two) as the shift the geometry takes.
unsigned shiftOf(int sectorsPerCluster) {
    unsigned shift = 0;
    while (shift < 16 && (1 << (shift + 1)) <= sectorsPerCluster) ++shift;
    return shift;
}

void reportDeletedChains(const Fat64Class& parser, UiSink& sink) {
    if (uint64_t n = parser.deletedChainedFiles())
        sink.setStatus(format("%llu deleted files are read from their first cluster through the clusters no live "
                              "file uses, unless their old chain is intact",
                              static_cast<unsigned long long>(n)));
}

ParseResult parseStandard(const ParseRequest& request, Fat64Class& parser, ParseResult out) {
    parser.attachExfatReader();
    if (!parser.readExfatBootSector()) {
        request.sink.messageBox(kNotExfat, kCaption, MsgIcon::Information);
        out.failure = kNotExfat;
        return out;
    }
    if (!parser.readExfatRootCluster()) {
        // The parse still finishes, with nothing below "ROOT": the root could not be read.
        request.sink.messageBox("error...", kCaption, MsgIcon::Information);
        out.completed = true;
        out.unreadableMetadata = parser.clusterSize();
        return out;
    }
    request.sink.setStatus("processing file and directory entries...");
    request.sink.setStatus("Finding Fat64 File And Directory entries recursively....");
    parser.walkExfatDirectories();
    parser.linkExfatEntries();
    request.sink.setStatus("creating tree Structure...");
    parser.fillExfatTree();
    reportDeletedChains(parser, request.sink);
    out.completed = true;
    out.unreadableMetadata = parser.unreadableMetadata();
    return out;
}

ParseResult parseAdvanced(const ParseRequest& request, Fat64Class& parser, ParseResult out) {
    const AdvancedChoice& choice = request.advanced;
    const int fatIndex = choice.candidate;
    const int heapIndex = choice.heap >= 0 ? choice.heap : choice.candidate;
    if (fatIndex < 0 || heapIndex < 0) {
        out.failure = "no FAT64_ENTRY and HEAP_OFFSET_ENTRY chosen";
        return out;
    }
    parser.attachExfatReader();
    const bool boot = parser.readExfatBootSector();
    unsigned shift = kDefaultShift;
    if (choice.sectorsPerCluster > 0) shift = shiftOf(choice.sectorsPerCluster);
    else if (boot) shift = shiftOf(int(parser.clusterSize() / 512));
    else if (parser.backupBootClusterShift() >= 0) shift = unsigned(parser.backupBootClusterShift());
    request.sink.setStatus("Finding Fat64 entries....");
    const std::vector<uint64_t> fats = parser.findExfatFatStarts(std::max(3, fatIndex + 1));
    const std::vector<uint64_t> heaps = parser.findExfatHeapStarts(std::max(3, heapIndex + 1));
    parser.setExfatGeometry(shift);
    parser.carveExfatEntrySets();
    const uint64_t fat = size_t(fatIndex) < fats.size() ? fats[size_t(fatIndex)] : 0;
    const uint64_t heap = size_t(heapIndex) < heaps.size() ? heaps[size_t(heapIndex)] : 0;
    request.sink.setStatus("Maintaining TreeStructure for Tree Control");
    if (fat == 0 || heap == 0) {
        out.failure = format("there is no FAT64_ENTRY:%d and HEAP_OFFSET_ENTRY:%d (the search found %zu and %zu)",
                             fatIndex, heapIndex, fats.size(), heaps.size());
        return out;
    }
    parser.rebuildExfatTree(heap, fat);
    parser.linkExfatEntries();
    parser.fillExfatTree();
    reportDeletedChains(parser, request.sink);
    out.completed = true;
    out.unreadableMetadata = parser.unreadableMetadata();
    return out;
}

ParseResult parseExfat(const ParseRequest& request) {
    ParseResult out;
    auto owned = std::make_unique<Fat64Class>();
    Fat64Class& parser = *owned;
    link(parser, request, &request.tree);
    out.adapter = std::make_unique<OwningExfatAdapter>(std::move(owned));
    if (request.mode == ParseMode::Advanced) return parseAdvanced(request, parser, std::move(out));
    return parseStandard(request, parser, std::move(out));
}

CandidateSearch findExfatCandidates(const ParseRequest& request, int maxCandidates) {
    CandidateSearch found;
    Fat64Class parser;
    link(parser, request, nullptr);
    parser.attachExfatReader();
    parser.readExfatBootSector();
    request.sink.setStatus("Finding Fat64 entries....");
    const std::vector<uint64_t> fats = parser.findExfatFatStarts(maxCandidates);
    const std::vector<uint64_t> heaps = parser.findExfatHeapStarts(maxCandidates);
    for (size_t i = 0; i < fats.size(); ++i)
        found.primary.push_back({int(i), format("FAT64_ENTRY:%d", int(i)), fats[i]});
    for (size_t i = 0; i < heaps.size(); ++i)
        found.heap.push_back({int(i), format("HEAP_OFFSET_ENTRY:%d", int(i)), heaps[i]});
    found.messages.push_back(format("Number of FAT64-ENTRY found = %d and Number of HeapOffset-ENTRY found =  %d  . "
                                    "Please select the choice from ( Entry and Heap ) Combobox and click Next button "
                                    "to proceed.",
                                    int(fats.size()), int(heaps.size())));
    found.completed = !request.control.aborted();
    return found;
}

}  // namespace

FileSystemKind exfatKind() {
    FileSystemKind kind;
    kind.id = "exfat";
    kind.labels = {"fat64", "exFat"};
    kind.modes = ModeOffer{true, true, false, true};
    kind.marksDeleted = true;
    kind.restoresRecycleBin = true;
    kind.treatAsPlace = 4;  // after ntfs, fat16 and fat32
    kind.probe = probeExfat;
    kind.parse = parseExfat;
    kind.findCandidates = findExfatCandidates;
    return kind;
}

}  // namespace quarvell
