#include "fs/hfsplus/HfsKind.h"

#include <memory>
#include <string>

#include "common/UiSink.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsEntryAdapter.h"
#include "fs/hfsplus/HfsProbe.h"

namespace quarvell {

namespace {

constexpr const char* kStartStatus = "HFS+ partition selected....";

// The adapter of a parse owns its parser.
class OwningHfsAdapter final : public HfsEntryAdapter {
public:
    explicit OwningHfsAdapter(std::unique_ptr<HFSP> parser) : HfsEntryAdapter(*parser), parser_(std::move(parser)) {}

private:
    std::unique_ptr<HFSP> parser_;
};

// The standard road walks the catalog B-tree; every other mode scans the volume for leaves.
ParseResult parseHfs(const ParseRequest& request) {
    ParseResult out;
    auto owned = std::make_unique<HFSP>();
    HFSP& parser = *owned;
    parser.volume = request.volume;
    parser.reader = &request.reader;
    parser.tree = &request.tree;
    parser.sink = &request.sink;
    parser.control = &request.control;
    out.adapter = std::make_unique<OwningHfsAdapter>(std::move(owned));

    request.sink.setStatus(kStartStatus);
    parser.attachVolume();
    bool ok = parser.readVolumeHeader();
    if (ok) ok = request.mode == ParseMode::Standard ? parser.walkCatalogNodes() : parser.scanForCatalogLeaves();
    if (ok) ok = parser.walkExtentsNodes();
    if (ok) {
        parser.parseCatalogLeaves();
        parser.linkParentChild();
        parser.populateTopLevel();
        request.sink.setStatus("Work Done.");
        out.completed = true;
        out.unreadableMetadata = parser.unreadableMetadata();
        if (out.unreadableMetadata > 0)
            request.sink.setStatus(std::to_string(out.unreadableMetadata) +
                                   " bytes of catalog and extents nodes could not be read and were skipped");
    } else {
        request.sink.setStatus("Work Aborted....");
        out.failure = "the HFS+ volume could not be parsed";
    }
    return out;
}

}  // namespace

FileSystemKind hfsPlusKind() {
    FileSystemKind kind;
    kind.id = "hfsplus";
    kind.labels = {"HFS+"};
    kind.modes = ModeOffer{true, false, true, false};
    kind.startStatus = kStartStatus;
    kind.showsDoneMessage = false;  // the status line says "Work Done." or "Work Aborted...."
    kind.treatAsPlace = 6;  // after ntfs, fat16, fat32, fat64 and extX
    kind.probe = probeHfsPlus;
    kind.parse = parseHfs;
    return kind;
}

}  // namespace quarvell
