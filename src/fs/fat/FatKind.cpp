#include "fs/fat/FatKind.h"

#include <memory>

#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "fs/fat/FatEntryAdapter.h"
#include "fs/fat/FatParser.h"
#include "fs/fat/FatProbe.h"

namespace quarvell {

namespace {

constexpr const char* kNoFat12Advanced =
    "The advanced mode has no FAT12 road: parse this FAT12 volume with the standard mode";

std::unique_ptr<FatParser> makeParser(bool fat32, const ParseRequest& request) {
    std::unique_ptr<FatParser> p;
    if (fat32) p = std::make_unique<Fat32Class>();
    else p = std::make_unique<Fat16Class>();
    p->volume = request.volume;
    p->reader = &request.reader;
    p->tree = &request.tree;
    p->sink = &request.sink;
    p->control = &request.control;
    return p;
}

// A FAT12 volume: labelled so, or with a readable boot sector that says so by its cluster count.
bool isFat12(const ParseRequest& request) {
    if (equalsNoCase(request.volume.fileSystem, "FAT12")) return true;
    Fat16Class probe;
    probe.volume = request.volume;
    probe.reader = &request.reader;
    probe.attachFatReader();
    probe.setVolumeSize(request.volume.lengthInBytes());
    return probe.readFatBootSector() && probe.entryBits() == 12;
}

void finishStatuses(FatParser& parser, UiSink& sink, ParseResult& out) {
    out.completed = true;
    out.unreadableMetadata = parser.unreadableMetadata();
    if (parser.deletedReadFromFreeClusters() > 0)
        sink.setStatus(format("%llu deleted files are read from their first cluster on through free clusters",
                              static_cast<unsigned long long>(parser.deletedReadFromFreeClusters())));
    if (out.unreadableMetadata > 0)
        sink.setStatus(format("%llu bytes of the FAT and of directories could not be read and were skipped",
                              static_cast<unsigned long long>(out.unreadableMetadata)));
}

ParseResult parseStandard(bool fat32, const ParseRequest& request) {
    ParseResult out;
    auto owned = makeParser(fat32, request);
    FatParser& parser = *owned;
    out.adapter = std::make_unique<FatEntryAdapter>(std::move(owned));
    UiSink& sink = request.sink;
    parser.attachFatReader();
    parser.setVolumeSize(request.volume.lengthInBytes());
    if (!parser.readFatBootSector()) {
        sink.messageBox(parser.formatFailure(), kCaption, MsgIcon::Information);
        out.failure = parser.formatFailure();
        return out;
    }
    parser.countRootFatEntries();
    if (!parser.readRootDirectory()) {
        // FAT12 has no other road to offer.
        out.failure = std::string(kRootUnreadable) +
                      (parser.entryBits() == 12 ? "its root directory lies outside the volume." : kTryDeepOrAdvanced);
        sink.messageBox(out.failure, kCaption, MsgIcon::Information);
        return out;
    }
    parser.walkFatDirectories();
    sink.setStatus("maintaining tree Structure in vector...");
    parser.linkFatEntries();
    sink.setStatus("Creating Tree Structure....");
    parser.fillFatTree();
    sink.setStatus("Tree Structure Created.");
    if (!fat32) {
        sink.setProgressRange(0, 100);
        sink.setProgressPos(100);
    }
    finishStatuses(parser, sink, out);
    return out;
}

ParseResult parseAdvanced(bool fat32, const ParseRequest& request) {
    ParseResult out;
    if (!fat32 && isFat12(request)) {
        request.sink.setStatus(kNoFat12Advanced);
        out.failure = kNoFat12Advanced;
        return out;
    }
    auto owned = makeParser(fat32, request);
    FatParser& parser = *owned;
    out.adapter = std::make_unique<FatEntryAdapter>(std::move(owned));
    UiSink& sink = request.sink;
    request.control.clear();
    request.tree.deleteAllItems();
    parser.attachFatReader();
    parser.setVolumeSize(request.volume.lengthInBytes());
    parser.driveFormatted = request.advanced.driveFormatted;
    const int wanted = std::max(request.advanced.candidate + 1, 1);
    const std::vector<uint64_t> starts = parser.findFatStarts(uint64_t(wanted));
    if (request.advanced.candidate < 0 || size_t(request.advanced.candidate) >= starts.size()) {
        out.adapter.reset();
        out.failure = format("there is no FAT position %d: the search found %zu", request.advanced.candidate,
                             starts.size());
        sink.setStatus(out.failure);
        return out;
    }
    const uint64_t position = starts[size_t(request.advanced.candidate)];
    if (!parser.readFatAtPosition(position, uint32_t(std::max(request.advanced.sectorsPerCluster, 0)))) {
        out.adapter.reset();
        out.failure = "the FAT at that position does not fit the volume";
        sink.setStatus(out.failure);
        return out;
    }
    parser.carveFatDirectoryEntries();
    sink.setStatus("Maintaining directory Structure in AdvanceScanning");
    parser.rebuildFatEntries();
    sink.setStatus(fat32 ? "Maintaining TreeStructure for Tree Control" : "Maintaining Tree Structure for Tree Control");
    parser.linkFatEntries();
    parser.fillFatTree();
    finishStatuses(parser, sink, out);
    return out;
}

ParseResult parseFat(bool fat32, const ParseRequest& request) {
    return request.mode == ParseMode::Advanced ? parseAdvanced(fat32, request) : parseStandard(fat32, request);
}

ParseResult parseFat32(const ParseRequest& request) { return parseFat(true, request); }
ParseResult parseFat16(const ParseRequest& request) { return parseFat(false, request); }

CandidateSearch findStarts(bool fat32, const ParseRequest& request, int maxCandidates) {
    CandidateSearch found;
    if (!fat32 && isFat12(request)) {
        found.messages.push_back(kNoFat12Advanced);
        return found;
    }
    auto parser = makeParser(fat32, request);
    parser->tree = nullptr;
    parser->attachFatReader();
    parser->setVolumeSize(request.volume.lengthInBytes());
    const std::vector<uint64_t> starts =
        parser->findFatStarts(uint64_t(maxCandidates < 1 ? 3 : maxCandidates), &found.messages);
    for (size_t i = 0; i < starts.size(); ++i)
        found.primary.push_back(
            Candidate{int(i), format(fat32 ? "FAT32_ENTRY:%d" : "FAT_ENTRY:%d", int(i)), starts[i]});
    found.completed = !request.control.aborted();
    return found;
}

CandidateSearch findFat32Starts(const ParseRequest& r, int max) { return findStarts(true, r, max); }
CandidateSearch findFat16Starts(const ParseRequest& r, int max) { return findStarts(false, r, max); }

}  // namespace

FileSystemKind fat32Kind() {
    FileSystemKind kind;
    kind.id = "fat32";
    kind.labels = {"fat32"};
    kind.modes = ModeOffer{true, true, false, true};
    kind.marksDeleted = true;
    kind.restoresRecycleBin = true;
    kind.treatAsPlace = 3;
    kind.probe = probeFat32;
    kind.parse = parseFat32;
    kind.findCandidates = findFat32Starts;
    return kind;
}

FileSystemKind fat16Kind() {
    FileSystemKind kind;
    kind.id = "fat16";
    kind.labels = {"fat16", "fat"};
    kind.modes = ModeOffer{true, true, false, true};
    kind.marksDeleted = true;
    kind.treatAsPlace = 2;
    kind.probe = probeFat16;
    kind.parse = parseFat16;
    kind.findCandidates = findFat16Starts;
    return kind;
}

// FAT12 is read by the FAT16 class with 12-bit entries; the advanced road has no FAT12 search,
// so the standard mode is the only one offered. "Treat file system as:" offers "fat16", which
// reads a FAT12 volume by its cluster count.
FileSystemKind fat12Kind() {
    FileSystemKind kind;
    kind.id = "fat12";
    kind.labels = {"FAT12"};
    kind.modes = ModeOffer{true, false, false, false};
    kind.marksDeleted = true;
    kind.probe = probeFat12;
    kind.parse = parseFat16;
    return kind;
}

}  // namespace quarvell
