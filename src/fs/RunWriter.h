#pragma once
// The one way a recovered file reaches disk. Its data (runs, resident bytes or a producer) is
// written in bounded memory through the salvaging read to a temporary file in the destination
// folder, which is renamed to the file's name only when everything was written: a failure, a
// full disk or a Stop removes it, so no partial file is ever left under a final name. A name
// already taken gets the next free number, atomically, so concurrent saves never collide.
#include <cstdint>
#include <memory>
#include <string>

#include "common/WorkerControl.h"
#include "fs/FileData.h"
#include "fs/SaveReport.h"

namespace quarvell {

class RunWriter {
public:
    // With computeSha256 the report carries the hash of the bytes written (zeros included, so
    // a huge sparse or missing stretch costs hashing time: only callers that report it ask).
    explicit RunWriter(WorkerControl& control, bool computeSha256 = false)
        : control_(control), computeSha256_(computeSha256) {}

    // Writes `data` into `folder` under the safe form of `name` (or its next free number). One
    // save at a time per writer: its read buffer serves file after file.
    SaveReport save(const FileData& data, const std::string& folder, const std::string& name);

private:
    WorkerControl& control_;
    bool computeSha256_;
    std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace quarvell
