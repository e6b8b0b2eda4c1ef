#include "fs/ext/ExtKind.h"

#include <memory>
#include <string>

#include "common/UiSink.h"
#include "fs/ext/ExtEntryAdapter.h"
#include "fs/ext/ExtProbe.h"
#include "fs/ext/ext2Class.h"

namespace quarvell {

namespace {

constexpr const char* kDone = "Scanning processing done.Select save button to save the data.";

class OwningExtAdapter final : public ExtEntryAdapter {
public:
    explicit OwningExtAdapter(std::unique_ptr<ext2Class> parser) : ExtEntryAdapter(*parser), parser_(std::move(parser)) {}

private:
    std::unique_ptr<ext2Class> parser_;
};

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

ParseResult parseExt(const ParseRequest& request) {
    ParseResult out;
    auto owned = std::make_unique<ext2Class>();
    ext2Class& parser = *owned;
    parser.volume = request.volume;
    parser.reader = &request.reader;
    parser.tree = &request.tree;
    parser.sink = &request.sink;
    parser.control = &request.control;
    out.adapter = std::make_unique<OwningExtAdapter>(std::move(owned));

    bool ok = parser.attachExtVolume();
    if (ok) {
        parser.volumeSize = request.volume.lengthInBytes();
        ok = parser.volumeSize != 0 && parser.findSuperblock() && parser.readGroupDescriptors();
    }
    if (!ok) {
        // The Part's worker finishes whether or not the checks passed.
        request.sink.messageBox(kDone, kCaption, MsgIcon::Information);
        request.sink.setStatus(kDone);
        out.failure = "no usable ext2/ext3/ext4 superblock and group descriptors were found";
        return out;
    }
    parser.readInodeTables();
    if (!parser.rootDirectoryInUse()) {
        out.failure = std::string(kRootUnreadable) + "inode 2 is not a directory in use.";
        request.sink.messageBox(out.failure, kCaption, MsgIcon::Information);
        return out;
    }
    parser.walkDirectories();
    if (request.mode == ParseMode::Deep) parser.recoverFromJournal();
    parser.buildExtEntryMap();
    parser.linkExtParentChild();
    parser.fillExtRootEntries();
    out.completed = true;
    out.unreadableMetadata = parser.unreadableMetadata();
    if (!parser.unsupportedFeatures().empty())
        request.sink.setStatus("this volume uses ext4 features that are not supported (" +
                               joined(parser.unsupportedFeatures()) +
                               "): its files are listed, but the affected files are not saved");
    if (out.unreadableMetadata > 0)
        request.sink.setStatus(std::to_string(out.unreadableMetadata) +
                               " bytes of inode tables and directory blocks could not be read and were skipped");
    return out;
}

}  // namespace

FileSystemKind extKind() {
    FileSystemKind kind;
    kind.id = "ext";
    kind.labels = {"extX"};
    kind.modes = ModeOffer{true, false, true, false};
    kind.marksDeleted = true;  // the deep mode's entries from the journal
    kind.treatAsPlace = 5;  // after ntfs, fat16, fat32 and fat64
    kind.probe = probeExt;
    kind.parse = parseExt;
    return kind;
}

}  // namespace quarvell
