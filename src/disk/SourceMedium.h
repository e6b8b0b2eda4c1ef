#pragma once
// The medium being recovered: its one read-only reader and its size. The wizard's application
// object and the command line both hold one.
#include <cstdint>
#include <memory>
#include <string>

#include "disk/FileReadSeek.h"

namespace quarvell {

class UiSink;

class SourceMedium {
public:
    std::unique_ptr<FileReadSeek> reader;
    int64_t driveSectorCount = 0;

    // Destroys the current reader and puts a fresh, unopened one in its place.
    FileReadSeek& replaceReader();
    // Opens the reader (creating one when there is none) and takes the medium's sector count.
    // A failure shows "invalid handle ..." through sink.
    bool openReader(const std::string& path, UiSink* sink = nullptr);
};

}  // namespace quarvell
