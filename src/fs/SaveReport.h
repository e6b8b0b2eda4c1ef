#pragma once
// What saving one file did.
#include <cstdint>
#include <string>

namespace quarvell {

enum class SaveStatus {
    Failed,      // no file was left under a final name
    Incomplete,  // saved, with zeros for unreadable or missing bytes
    Complete,
};

const char* saveStatusText(SaveStatus status);  // "failed", "incomplete", "complete"

struct SaveReport {
    SaveStatus status = SaveStatus::Failed;
    std::string outputPath;        // the file written (empty when it failed)
    uint64_t bytesWritten = 0;     // the output file's length
    uint64_t unreadableBytes = 0;  // could not be read; written as zeros
    uint64_t missingBytes = 0;     // of the recorded size, no known data covers them; zeros
    uint64_t holeBytes = 0;        // sparse holes written as zeros (not a loss)
    std::string sha256;            // of the bytes written, lowercase hex (when asked for)
    std::string problem;           // why it failed, or what is wrong with it

    bool saved() const { return status != SaveStatus::Failed; }
};

}  // namespace quarvell
