#pragma once
// A medium described sparsely, so that fuzz inputs stay small whatever the volume's size: a
// length, then stretches of sectors (index, count, bytes); everything else reads as zeros.
//   u32 LE  medium length in bytes (at most kMaxMediumBytes)
//   then repeated: u32 LE first sector, u16 LE sector count, count × 512 bytes (cut at the end)
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "disk/readWriteInterface.h"

namespace quarvell::fuzzing {

inline constexpr uint64_t kMaxMediumBytes = 64u << 20;

class SparseMedium final : public readWriteInterface {
public:
    SparseMedium(const uint8_t* data, size_t size) {
        if (size < 4) return;
        uint64_t length = uint64_t(data[0]) | uint64_t(data[1]) << 8 | uint64_t(data[2]) << 16 | uint64_t(data[3]) << 24;
        mediumLength = std::min(length, kMaxMediumBytes);
        for (size_t at = 4; at + 6 <= size;) {
            const uint64_t sector = uint64_t(data[at]) | uint64_t(data[at + 1]) << 8 | uint64_t(data[at + 2]) << 16 |
                                    uint64_t(data[at + 3]) << 24;
            const size_t count = size_t(data[at + 4] | data[at + 5] << 8);
            at += 6;
            const size_t bytes = std::min(count * 512, size - at);
            if (sector * 512 < mediumLength && bytes > 0)
                stretches_.push_back({sector * 512, data + at, std::min<uint64_t>(bytes, mediumLength - sector * 512)});
            at += bytes;
        }
    }

    bool open(const std::string&, UiSink* = nullptr) override { return true; }
    bool seek(int64_t offset, int origin = 0) override {
        if (origin != 0 || offset + volumeOrigin < 0) return false;
        position_ = uint64_t(offset + volumeOrigin);
        return true;
    }
    bool read(void* buffer, uint32_t count) override {
        if (position_ >= mediumLength) return count == 0;  // nothing came: the buffer stays as it was
        std::memset(buffer, 0, count);
        const uint64_t end = position_ + count;
        for (const Stretch& s : stretches_) {
            const uint64_t from = std::max(position_, s.offset), to = std::min(end, s.offset + s.length);
            if (from < to) std::memcpy(static_cast<uint8_t*>(buffer) + (from - position_), s.bytes + (from - s.offset), to - from);
        }
        const bool whole = end <= mediumLength;
        position_ = std::min(end, std::max(position_, mediumLength));
        return whole;
    }
    bool reread(int64_t offset, void* buffer, uint32_t count) override { return seek(offset) && read(buffer, count); }

private:
    struct Stretch {
        uint64_t offset;
        const uint8_t* bytes;
        uint64_t length;
    };
    std::vector<Stretch> stretches_;
    uint64_t position_ = 0;
};

}  // namespace quarvell::fuzzing
