#pragma once
// Writes carved files: the bytes [start, start + length) from the reader, under the item's name
// inside the output folder, through the run writer (bounded memory, a temporary file renamed into
// place only when complete, removed on a failure or a stop).
#include <cstdint>
#include <string>

#include "fs/SaveReport.h"

namespace quarvell {

class readWriteInterface;
class WorkerControl;

struct CarvedSaveResult {
    bool ok = false;
    std::string path;              // the file written
    int64_t unreadableBytes = 0;   // written as zeros because the medium could not give them
    std::string sha256;            // of the bytes written
    std::string error;             // why nothing (or not everything) could be written
    SaveReport report;             // the run writer's whole report (unreadable ranges included)
};

class CarvedFileSaver {
public:
    // The name is made one safe entry of the folder (safeComponent). Never overwrites: a name
    // that is taken gets the next free number. A stop or abort through `control` ends the file
    // unsaved. With computeSha256 the result carries the hash of the bytes written.
    static CarvedSaveResult save(readWriteInterface& reader, const std::string& folder, const std::string& name,
                                 int64_t start, int64_t length, WorkerControl& control, bool computeSha256 = false);
    static CarvedSaveResult save(readWriteInterface& reader, const std::string& folder, const std::string& name,
                                 int64_t start, int64_t length);
};

}  // namespace quarvell
