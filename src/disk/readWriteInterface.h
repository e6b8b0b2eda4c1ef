#pragma once
// The sector reader every byte from a disk passes through.
// `seek` positions at a byte offset relative to `volumeOrigin`; `read` fills a caller's buffer.
// read() results: all bytes -> true; a short read -> the bytes that came, then zeros, false;
// nothing read -> the buffer is left untouched, false.
#include <cstdint>
#include <string>

namespace quarvell {

class UiSink;

class readWriteInterface {
public:
    virtual ~readWriteInterface() = default;
    // Opens path read-only. Reports "invalid handle ..." through sink (when given) on failure.
    virtual bool open(const std::string& path, UiSink* sink = nullptr) = 0;
    virtual bool read(void* buffer, uint32_t byteCount) { (void)buffer; (void)byteCount; return true; }
    // offset is relative to volumeOrigin; origin 0 = from the beginning (the only one used).
    virtual bool seek(int64_t offset, int origin = 0) { (void)offset; (void)origin; return true; }
    // Reads `byteCount` bytes at `offset` (relative to volumeOrigin) again after a failed read, by
    // the most exact way the medium offers: a block device reads through an uncached descriptor
    // so that only the sectors asked for are read (the page cache would widen one bad sector
    // into a whole failing window). Same results as read(); the position is left undefined.
    virtual bool reread(int64_t offset, void* buffer, uint32_t byteCount) {
        return seek(offset) && read(buffer, byteCount);
    }

    // Medium size in 512-byte sectors (exact: medium bytes / 512); 0 when unknown.
    uint64_t driveSectorCount() const { return mediumLength / 512; }

    int64_t volumeOrigin = 0;   // bytes added to every seek
    uint64_t mediumLength = 0;  // bytes of the opened medium
};

}  // namespace quarvell
