#pragma once
// A file's data as the save path sees it: where its bytes lie on the volume, run by run, or the
// bytes themselves when the file system keeps them in its metadata, or a producer for data that
// must be decoded (compression units). Parsers describe; only the run writer creates files.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarvell {

class readWriteInterface;

struct DataRun {
    enum class Kind {
        Volume,      // `length` bytes at volume byte `offset`
        Hole,        // a sparse hole: zeros that are part of the file (it stays complete)
        PastVolume,  // the file system places data outside the volume: zeros, counted as missing
    };
    Kind kind = Kind::Volume;
    uint64_t offset = 0;
    uint64_t length = 0;
};

// What a producer writes into. Every call keeps the file's offsets: zeros stand in for what
// cannot be produced. Calls return false when writing failed or the job was stopped.
class DataOutput {
public:
    virtual ~DataOutput() = default;
    virtual bool putBytes(const uint8_t* data, uint64_t count) = 0;
    virtual bool putRun(const DataRun& run) = 0;
    // Zeros for bytes that could not be read (the file becomes incomplete).
    virtual bool putUnreadable(uint64_t count) = 0;
    // Reads volume bytes around bad sectors; returns how many could not be read (left zero).
    virtual uint64_t readVolume(uint64_t offset, uint8_t* buffer, uint32_t count) = 0;
};

struct FileData {
    readWriteInterface* source = nullptr;  // the volume's reader (origin at the volume's start)
    uint64_t size = 0;                     // the file's logical length: the output's length
    std::vector<DataRun> runs;             // in file order
    std::optional<std::vector<uint8_t>> resident;  // the whole content, kept in metadata
    std::function<bool(DataOutput&)> produce;      // for data that must be decoded
    uint32_t readUnit = 512;               // re-read granularity after a failed read
    std::optional<int64_t> modificationTime;  // seconds since 1970 UTC; unset leaves the time alone
    std::optional<int64_t> accessTime;
    std::string unsupported;               // why the data cannot be produced; empty when it can
    // For file systems without sparse files: a size past the last run holding data is missing,
    // and the output ends with that data instead of a stretch of zeros of the recorded size.
    bool endsAtAllocation = false;
    // A deleted file whose blocks were allocated again since: its bytes may belong to another
    // file now, so the save is never complete.
    bool overwritten = false;
};

}  // namespace quarvell
