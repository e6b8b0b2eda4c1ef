#pragma once
// What saving one file did.
#include <cstdint>
#include <string>
#include <vector>

namespace quarvell {

enum class SaveStatus {
    Failed,      // no file was left under a final name
    Incomplete,  // saved, with zeros for unreadable or missing bytes
    Complete,
};

const char* saveStatusText(SaveStatus status);  // "failed", "incomplete", "complete"

// A stretch of the saved file, by its offset in the file and its length.
struct FileRange {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// At most this many unreadable ranges are kept per file; adjacent ones are merged first.
inline constexpr size_t kMaxUnreadableRanges = 4096;

struct SaveReport {
    SaveStatus status = SaveStatus::Failed;
    std::string outputPath;        // the file written (empty when it failed)
    uint64_t bytesWritten = 0;     // the output file's length
    uint64_t unreadableBytes = 0;  // could not be read; written as zeros
    uint64_t missingBytes = 0;     // of the recorded size, no known data covers them; zeros
    uint64_t holeBytes = 0;        // sparse holes written as zeros (not a loss)
    // Where the unreadable bytes lie in the file, ascending and merged; when a file has more
    // than kMaxUnreadableRanges of them the list stops and `unreadableRangesCapped` is set
    // (unreadableBytes still counts them all).
    std::vector<FileRange> unreadableRanges;
    bool unreadableRangesCapped = false;
    std::string sha256;            // of the bytes written, lowercase hex (when asked for)
    std::string problem;           // why it failed, or what is wrong with it
    bool overwritten = false;      // a deleted file's blocks were allocated again: saved incomplete

    bool saved() const { return status != SaveStatus::Failed; }
};

}  // namespace quarvell
