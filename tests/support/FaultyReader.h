#pragma once
// A reader over bytes in memory that fails like a worn disk: chosen sectors are unreadable
// (a read touching them stops there: the bytes before come, then zeros, and the read fails),
// and reads can be cut short at chosen offsets. A failed read can be made slow, as a disk
// retrying a bad sector is, and failed reads and re-reads are counted.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <set>
#include <vector>

#include "disk/readWriteInterface.h"

namespace quarvell::testing {

class FaultyReader : public readWriteInterface {
public:
    explicit FaultyReader(std::vector<uint8_t> bytes = {}) : data(std::move(bytes)) { mediumLength = data.size(); }

    bool open(const std::string&, UiSink* = nullptr) override { mediumLength = data.size(); return true; }
    bool seek(int64_t offset, int origin = 0) override {
        if (origin != 0) return false;
        int64_t target = offset + volumeOrigin;
        if (target < 0) return false;
        position = uint64_t(target);
        ++seeks;
        return true;
    }
    bool read(void* buffer, uint32_t count) override {
        ++reads;
        if (cacheWindow > 0 && !exact_ && nearBadSector(position, count)) {
            std::memset(buffer, 0, count);
            ++failedReads;
            return false;
        }
        uint64_t end = std::min<uint64_t>(position + count, data.size());
        uint64_t stop = position < end ? end : position;
        for (uint64_t s : badSectors) {
            uint64_t b = s * 512;
            if (b + 512 > position && b < stop) stop = std::max<uint64_t>(position, b);
        }
        for (uint64_t cut : shortReadAt)
            if (cut > position && cut < stop) stop = cut;
        uint64_t got = stop > position ? stop - position : 0;
        if (got > 0) {
            std::memcpy(buffer, data.data() + position, size_t(got));
            if (got < count) std::memset(static_cast<uint8_t*>(buffer) + got, 0, count - got);
        }
        position += got;
        if (got == count) return true;
        ++failedReads;
        if (failDelay.count() > 0) std::this_thread::sleep_for(failDelay);
        return false;
    }
    bool reread(int64_t offset, void* buffer, uint32_t count) override {
        ++rereads;
        exact_ = true;
        const bool ok = seek(offset) && read(buffer, count);
        exact_ = false;
        return ok;
    }

    std::vector<uint8_t> data;
    std::set<uint64_t> badSectors;   // 512-byte sectors that cannot be read
    std::set<uint64_t> shortReadAt;  // byte offsets where a read stops short
    uint64_t position = 0;
    std::chrono::milliseconds failDelay{0};  // how long each failed read takes
    // Like a block device read through its page cache: a plain read fails when it comes within
    // this many sectors of a bad one (the cache reads whole windows); a re-read is exact.
    uint64_t cacheWindow = 0;
    int reads = 0, seeks = 0, failedReads = 0, rereads = 0;

private:
    bool nearBadSector(uint64_t at, uint32_t count) const {
        for (uint64_t s : badSectors)
            if (at / 512 + count / 512 + cacheWindow > s && at / 512 < s + cacheWindow) return true;
        return false;
    }
    bool exact_ = false;
};

}  // namespace quarvell::testing
