#include "scan/VolumeParse.h"

#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsEntryAdapter.h"
#include "scan/LazyTree.h"

namespace quarvell {

namespace {
ParsedVolume parseHfs(const VolumeEntry& volume, readWriteInterface& reader, ResultTree& tree, UiSink& sink,
                      int parseMode, PauseGate* gate, const StopFlagReady& onStopFlag) {
    ParsedVolume out;
    auto parser = std::make_shared<HFSP>();
    parser->volume = volume;
    parser->reader = &reader;
    parser->tree = &tree;
    parser->sink = &sink;
    parser->gate = gate;
    if (onStopFlag) onStopFlag(parser->cancelRequested);
    out.adapter = std::make_unique<HfsEntryAdapter>(*parser);
    out.parser = parser;

    sink.setStatus("HFS+ partition selected....");
    parser->attachVolume();
    bool ok = parser->readVolumeHeader();
    if (ok) ok = parseMode == kParseStandard ? parser->walkCatalogNodes() : parser->scanForCatalogLeaves();
    if (ok) ok = parser->walkExtentsNodes();
    if (ok) {
        parser->parseCatalogLeaves();
        parser->linkParentChild();
        parser->populateTopLevel();
        addPlaceholders(tree, *out.adapter);
        sink.setStatus("Work Done.");
        out.completed = true;
    } else {
        sink.setStatus("Work Aborted....");
        out.failure = "the HFS+ volume could not be parsed";
    }
    return out;
}
}  // namespace

ParsedVolume parseVolume(const VolumeEntry& volume, readWriteInterface& reader, ResultTree& tree, UiSink& sink,
                         int parseMode, PauseGate* gate, const StopFlagReady& onStopFlag) {
    static const char* const kOrder[] = {"ntfs", "fat32", "fat16", "fat", "extX", "fat64", "exFat", "HFS+"};
    for (const char* label : kOrder) {
        if (!equalsNoCase(volume.fileSystem, label)) continue;
        if (equalsNoCase(label, "HFS+")) return parseHfs(volume, reader, tree, sink, parseMode, gate, onStopFlag);
        ParsedVolume none;
        none.failure = format("%s volumes cannot be parsed by this build yet", label);
        return none;
    }
    sink.messageBox("not a valid drive.", kCaption, MsgIcon::Information);
    sink.setStatus("Not a valid Drive .Go back");
    ParsedVolume none;
    none.failure = "not a valid drive.";
    return none;
}

}  // namespace quarvell
