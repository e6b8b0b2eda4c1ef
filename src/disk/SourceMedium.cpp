#include "disk/SourceMedium.h"

namespace quarvell {

FileReadSeek& SourceMedium::replaceReader() {
    reader = std::make_unique<FileReadSeek>();
    return *reader;
}

bool SourceMedium::openReader(const std::string& path, UiSink* sink) {
    if (!reader) replaceReader();
    if (!reader->open(path, sink)) return false;
    driveSectorCount = int64_t(reader->driveSectorCount());
    return true;
}

}  // namespace quarvell
