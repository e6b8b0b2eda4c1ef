#include "raw/SignatureMatcher.h"

#include <algorithm>
#include <cstring>

namespace quarvell {

namespace {

// How often a byte value turns up in ordinary data: zero and 0xFF fill whole regions, text
// bytes are common, the rest is rarer.
int commonness(uint8_t b) {
    if (b == 0x00) return 3;
    if (b == 0xFF) return 2;
    if (b >= 0x20 && b < 0x7F) return 1;
    return 0;
}

}  // namespace

bool SignatureMatcher::build(const std::vector<SignatureMatchEntry>& entries) {
    count_ = entries.size();
    table_.assign(2 * count_, Entry{});
    footerAnchor_.assign(count_, -1);
    for (size_t j = 0; j < count_; ++j) {
        const auto& m = entries[j];
        Entry& h = table_[j];
        Entry& f = table_[count_ + j];
        h.length = std::min<uint8_t>(m.headerLength, kMaxSignatureBytes);
        f.length = std::min<uint8_t>(m.footerLength, kMaxSignatureBytes);
        h.number = f.number = int64_t(j);
        std::memcpy(h.bytes, m.header.data(), kMaxSignatureBytes);
        std::memcpy(f.bytes, m.footer.data(), kMaxSignatureBytes);
        for (Entry* e : {&h, &f})
            for (uint8_t i = 0; i < e->length; ++i)
                if (e->bytes[i] != kWildcardByte) e->fixed[e->fixedCount++] = i;
        int best = -1;
        for (int i = 0; i < f.length; ++i) {
            if (f.bytes[i] == kWildcardByte) continue;
            if (best < 0 || commonness(f.bytes[i]) < commonness(f.bytes[best])) best = i;
        }
        footerAnchor_[j] = best;
    }

    std::vector<uint32_t> counts(65536, 0);
    wildcardEntries_.clear();
    for (size_t j = 0; j < count_; ++j) {
        const Entry& h = table_[j];
        if (h.length < 2) continue;
        if (h.bytes[0] == kWildcardByte || h.bytes[1] == kWildcardByte) wildcardEntries_.push_back(uint32_t(j));
        else ++counts[size_t(h.bytes[0]) << 8 | h.bytes[1]];
    }
    slotUsed_.assign(1024, 0);
    for (size_t s = 0; s < 65536; ++s)
        if (counts[s]) slotUsed_[s >> 6] |= uint64_t(1) << (s & 63);
    slotStart_.assign(65537, 0);
    for (size_t s = 0; s < 65536; ++s) slotStart_[s + 1] = slotStart_[s] + counts[s];
    slotEntries_.assign(slotStart_[65536], 0);
    std::vector<uint32_t> fill(slotStart_.begin(), slotStart_.end() - 1);
    for (size_t j = 0; j < count_; ++j) {
        const Entry& h = table_[j];
        if (h.length < 2 || h.bytes[0] == kWildcardByte || h.bytes[1] == kWildcardByte) continue;
        slotEntries_[fill[size_t(h.bytes[0]) << 8 | h.bytes[1]]++] = uint32_t(j);
    }
    return true;
}

bool SignatureMatcher::matches(const Entry& e, const uint8_t* bytes, size_t available) const {
    if (e.length < 2 || e.length > available) return false;
    for (size_t k = 0; k < e.fixedCount; ++k)
        if (e.bytes[e.fixed[k]] != bytes[e.fixed[k]]) return false;
    return true;
}

MatchResult SignatureMatcher::matchAt(const uint8_t* bytes, size_t available) const {
    for (size_t j = 0; j < table_.size(); ++j) {
        if (matches(table_[j], bytes, available)) return {j < count_ ? 'S' : 'E', table_[j].number};
    }
    return {};
}

int64_t SignatureMatcher::headerAt(const uint8_t* bytes, size_t available) const {
    if (available < 2 || count_ == 0) return -1;
    size_t slot = size_t(bytes[0]) << 8 | bytes[1];
    const bool used = (slotUsed_[slot >> 6] >> (slot & 63)) & 1;
    if (!used && wildcardEntries_.empty()) return -1;
    const uint32_t* a = slotEntries_.data() + (used ? slotStart_[slot] : 0);
    const uint32_t* aEnd = slotEntries_.data() + (used ? slotStart_[slot + 1] : 0);
    const uint32_t* w = wildcardEntries_.data();
    const uint32_t* wEnd = w + wildcardEntries_.size();
    // Both lists are in table order: walk them merged so the lowest number wins.
    while (a != aEnd || w != wEnd) {
        uint32_t j;
        if (w == wEnd || (a != aEnd && *a < *w)) j = *a++;
        else j = *w++;
        if (matches(table_[j], bytes, available)) return table_[j].number;
    }
    return -1;
}

int64_t SignatureMatcher::findFooter(size_t s, const uint8_t* data, size_t size, size_t from, size_t to) const {
    const Entry& f = table_[count_ + s];
    if (f.length < 2 || f.length > size) return -1;
    to = std::min(to, size - f.length + 1);
    if (from >= to) return -1;
    int anchor = footerAnchor_[s];
    if (anchor < 0) return int64_t(from);  // all wildcards: matches everywhere
    const uint8_t want = f.bytes[anchor];
    size_t q = from;
    while (q < to) {
        const void* hit = std::memchr(data + q + size_t(anchor), want, to - q);
        if (!hit) return -1;
        q = size_t(static_cast<const uint8_t*>(hit) - data) - size_t(anchor);
        if (matches(f, data + q, size - q)) return int64_t(q);
        ++q;
    }
    return -1;
}

}  // namespace quarvell
