#pragma once
// The byte matcher of the carving engine: a flat table of 2 x n entries (every header in
// signature order, then every footer), a byte 0x2A ('*') in a signature matching any byte.
// Built once per scan; matching allocates nothing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "raw/SignatureMatchEntry.h"

namespace quarvell {

inline constexpr uint8_t kWildcardByte = 0x2A;

struct MatchResult {
    char kind = 0;        // 'S' header, 'E' footer, 0 none
    int64_t number = -1;  // the signature's number, -1 for none
};

class SignatureMatcher {
public:
    // Entry j < n: signature j's header; entry n + j: its footer.
    bool build(const std::vector<SignatureMatchEntry>& entries);

    // Tests the bytes at a position against every table entry in order; the first entry of at
    // least 2 bytes whose bytes all match wins. `available` bytes may be read (at most 10 are).
    MatchResult matchAt(const uint8_t* bytes, size_t available = kMaxSignatureBytes) const;

    // The header part of matchAt, through an index on the first two bytes: the lowest-numbered
    // signature whose header matches, or -1.
    int64_t headerAt(const uint8_t* bytes, size_t available) const;

    // First position q in [from, to) where signature s's footer starts, its bytes lying inside
    // [data, data + size); -1 when there is none. Positions are offsets into data.
    int64_t findFooter(size_t s, const uint8_t* data, size_t size, size_t from, size_t to) const;

private:
    struct Entry {
        uint8_t length = 0;
        int64_t number = -1;
        uint8_t bytes[kMaxSignatureBytes] = {};
        uint8_t fixedCount = 0;                      // positions that are not wildcards
        uint8_t fixed[kMaxSignatureBytes] = {};
    };
    bool matches(const Entry& e, const uint8_t* bytes, size_t available) const;

    size_t count_ = 0;
    std::vector<Entry> table_;
    // Header entries whose first two bytes are fixed, grouped by those two bytes (slot start
    // offsets into slotEntries_), and those starting with a wildcard, each list in table order.
    std::vector<uint64_t> slotUsed_;  // one bit per slot: a cheap first test that stays in cache
    std::vector<uint32_t> slotStart_;
    std::vector<uint32_t> slotEntries_;
    std::vector<uint32_t> wildcardEntries_;
    // Per footer: the byte searched for first (the rarest-looking fixed byte), -1 when all wildcard.
    std::vector<int> footerAnchor_;
};

}  // namespace quarvell
