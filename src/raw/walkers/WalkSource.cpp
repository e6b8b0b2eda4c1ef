#include "raw/walkers/WalkSource.h"

#include <algorithm>
#include <cstring>

#include "disk/SalvagingRead.h"

namespace quarvell {

WalkSource::WalkSource(readWriteInterface& reader, int64_t mediumSize)
    : reader_(reader), mediumSize_(std::max<int64_t>(mediumSize, 0)), limit_(mediumSize_) {}

void WalkSource::setLimit(int64_t limit) { limit_ = std::clamp<int64_t>(limit, 0, mediumSize_); }

const uint8_t* WalkSource::view(int64_t at, size_t* available) {
    if (at < 0 || at >= limit_) throw PastLimit{};
    if (blockStart_ < 0 || at < blockStart_ || at >= blockStart_ + blockValid_) {
        if (block_.empty()) block_.resize(size_t(kBlockSize));
        blockStart_ = at / kBlockSize * kBlockSize;
        blockValid_ = std::min<int64_t>(kBlockSize, mediumSize_ - blockStart_);
        // Unreadable sectors come back as zeros: a walker then meets a broken structure and
        // leaves the end to the signature's rules.
        readSalvaging(reader_, blockStart_, block_.data(), uint32_t(blockValid_), 512);
        bytesRead_ += blockValid_;
    }
    const int64_t offset = at - blockStart_;
    if (available) *available = size_t(std::min(blockStart_ + blockValid_, limit_) - at);
    return block_.data() + offset;
}

int WalkSource::peek(int64_t at) {
    if (at < 0 || at >= limit_) return -1;
    return u8(at);
}

void WalkSource::read(int64_t at, uint8_t* out, size_t count) {
    need(at + int64_t(count));
    while (count > 0) {
        size_t n = 0;
        const uint8_t* p = view(at, &n);
        n = std::min(n, count);
        std::memcpy(out, p, n);
        out += n;
        at += int64_t(n);
        count -= n;
    }
}

bool WalkSource::matches(int64_t at, const char* text, size_t count) {
    if (at < 0 || at + int64_t(count) > limit_) return false;
    uint8_t bytes[16];
    if (count > sizeof bytes) return false;
    read(at, bytes, count);
    return std::memcmp(bytes, text, count) == 0;
}

uint16_t WalkSource::le16(int64_t at) {
    uint8_t b[2];
    read(at, b, 2);
    return uint16_t(b[0] | b[1] << 8);
}
uint32_t WalkSource::le32(int64_t at) {
    uint8_t b[4];
    read(at, b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
uint64_t WalkSource::le64(int64_t at) { return uint64_t(le32(at)) | uint64_t(le32(at + 4)) << 32; }
uint16_t WalkSource::be16(int64_t at) {
    uint8_t b[2];
    read(at, b, 2);
    return uint16_t(b[0] << 8 | b[1]);
}
uint32_t WalkSource::be32(int64_t at) {
    uint8_t b[4];
    read(at, b, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}
uint64_t WalkSource::be64(int64_t at) { return uint64_t(be32(at)) << 32 | be32(at + 4); }

int64_t WalkSource::find(int64_t from, uint8_t byte) {
    for (int64_t at = std::max<int64_t>(from, 0);;) {
        size_t n = 0;
        const uint8_t* p = view(at, &n);  // throws at the limit
        if (const void* hit = std::memchr(p, byte, n)) return at + (static_cast<const uint8_t*>(hit) - p);
        at += int64_t(n);
    }
}

WalkSource::SearchMemo& WalkSource::memoFor(const char* text, size_t count) {
    for (SearchMemo& m : memos_)
        if (m.text.size() == count && m.text.compare(0, count, text, count) == 0) return m;
    memos_.push_back({std::string(text, count)});
    return memos_.back();
}

int64_t WalkSource::find(int64_t from, const char* text, size_t count) {
    SearchMemo& m = memoFor(text, count);
    int64_t at = std::max<int64_t>(from, 0);
    if (m.from >= 0 && m.from <= at && (m.hit < 0 || m.hit >= at)) {
        if (m.hit >= 0) {
            need(m.hit + int64_t(count));
            return m.hit;
        }
        at = std::max(at, m.clearTo);
    } else {
        m.from = m.clearTo = at;
        m.hit = -1;
    }
    for (;; ++at) {
        try {
            at = find(at, uint8_t(text[0]));
        } catch (const PastLimit&) {
            m.clearTo = std::max(m.clearTo, limit_);  // the first byte is nowhere before the limit
            throw;
        }
        m.clearTo = at;
        need(at + int64_t(count));  // an occurrence may still start here, reaching past the limit
        if (matches(at, text, count)) {
            m.hit = at;
            return at;
        }
    }
}

}  // namespace quarvell
