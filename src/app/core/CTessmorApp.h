#pragma once
// The application's shared state: the one sector reader and the values that later pages and the
// parsers read. Plain C++ so the CLI and the tests share it with the desktop program.
#include <cstdint>
#include <memory>
#include <string>

#include "disk/FileReadSeek.h"

namespace quarvell {

class UiSink;

class CTessmorApp {
public:
    bool driveFormatted = false;
    int64_t driveSectorCount = 0;
    std::unique_ptr<FileReadSeek> reader;
    int32_t previousDialogId = 0;
    bool isVolumeSelected = false;
    std::string searchText;
    std::string rootName = "ROOT";

    // Destroys the current reader and puts a fresh, unopened one in its place.
    FileReadSeek& replaceReader();
    // Opens the reader (creating one when there is none) and takes the medium's sector count.
    bool openReader(const std::string& path, UiSink* sink = nullptr);
};

}  // namespace quarvell
