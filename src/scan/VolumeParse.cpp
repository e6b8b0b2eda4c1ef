#include "scan/VolumeParse.h"

#include "common/UiSink.h"
#include "scan/LazyTree.h"
#include "scan/RecycleBinNames.h"

namespace quarvell {

ParseResult parseVolume(const ParseRequest& request) {
    const FileSystemKind* kind = findFileSystemKind(request.volume.fileSystem);
    if (!kind || !kind->parse) {
        request.sink.messageBox("not a valid drive.", kCaption, MsgIcon::Information);
        request.sink.setStatus("Not a valid Drive .Go back");
        ParseResult none;
        none.failure = "not a valid drive.";
        return none;
    }
    ParseResult result = kind->parse(request);
    if (result.completed && result.adapter) {
        addPlaceholders(request.tree, *result.adapter);
        if (kind->restoresRecycleBin) restoreRecycleBinNames(request.tree, *result.adapter);
        if (kind->showsDoneMessage) {
            const char* done = "Scanning processing done.Select save button to save the data.";
            request.sink.messageBox(done, kCaption, MsgIcon::Information);
            request.sink.setStatus(done);
        }
    }
    return result;
}

}  // namespace quarvell
