#include "fs/ext/ExtJournal.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/Bytes.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"
#include "fs/ext/ext2Class.h"

namespace quarvell {

namespace {

constexpr uint32_t kJournalMagic = 0xC03B3998;
constexpr uint32_t kDescriptor = 1, kCommit = 2, kSuperblockV1 = 3, kSuperblockV2 = 4, kRevoke = 5;
constexpr uint32_t kIncompat64Bit = 0x2, kIncompatCsumV2 = 0x8, kIncompatCsumV3 = 0x10,
                   kIncompatFastCommit = 0x20;
constexpr uint32_t kTagEscaped = 0x1, kTagSameUuid = 0x2, kTagLast = 0x8;
constexpr uint32_t kDefaultFastCommitBlocks = 256;
constexpr size_t kReadBatch = 1u << 20;

// CRC-32C (Castagnoli), reflected, without the final inversion: the journal's own convention.
uint32_t crc32c(uint32_t crc, const uint8_t* p, size_t n) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

struct Tag {
    uint64_t block;
    uint32_t checksum;
    bool escaped;
};

struct Descriptor {
    uint32_t position;
    uint32_t sequence;
    std::vector<Tag> tags;
};

}  // namespace

bool ExtJournal::load(const ext2Class& fs) {
    fs_ = &fs;
    const ExtGeometry& geo = fs.geometry();
    if (!geo.hasJournal) return fail("this volume has no journal");
    if (geo.journalInode == 0) return fail("journal on another device: not read");
    const std::vector<uint8_t> inode = fs.readInode(int64_t(geo.journalInode) - 1);
    if (inode.empty()) return fail("the journal's inode could not be read");
    blockSize_ = geo.blockSize;
    const uint64_t size = uint64_t(le32(inode.data() + 4)) | uint64_t(le32(inode.data() + 108)) << 32;
    const uint64_t length = std::min<uint64_t>(size / blockSize_, std::min<uint64_t>(fs.volumeBlocks(), UINT32_MAX));
    if (length < 2) return fail("the journal is empty");
    const ExtBlockMap blocks = fs.collectExtBlocks(inode.data(), length);
    map_.assign(size_t(length), 0);
    for (const ExtBlockRun& r : blocks.runs)
        if (r.kind == ExtBlockRun::Kind::Data)
            for (uint64_t i = 0; i < r.count && r.logical + i < length; ++i) map_[size_t(r.logical + i)] = r.physical + i;

    std::vector<uint8_t> sb;
    if (!readCopy(JournalCopy{0, 0, 0, 0, false}, sb)) return fail("the journal's superblock could not be read");
    const uint32_t type = be32(sb.data() + 4);
    if (be32(sb.data()) != kJournalMagic || (type != kSuperblockV1 && type != kSuperblockV2))
        return fail("the journal's superblock is damaged");
    if (be32(sb.data() + 12) != blockSize_) return fail("the journal's block size differs from the volume's");
    const uint64_t maxLength = std::min<uint64_t>(be32(sb.data() + 16), length);
    const uint32_t first = be32(sb.data() + 20);
    const uint32_t nextSequence = be32(sb.data() + 24);
    replayPending_ = be32(sb.data() + 28) != 0;
    const uint32_t incompat = type == kSuperblockV2 ? be32(sb.data() + 40) : 0;
    if (first == 0 || first >= maxLength) return fail("the journal's superblock is damaged");
    const bool wide = incompat & kIncompat64Bit;
    fullChecksums_ = incompat & kIncompatCsumV3;
    checksums_ = fullChecksums_ || (incompat & kIncompatCsumV2);
    seed_ = crc32c(0xFFFFFFFFu, sb.data() + 48, 16);
    size_t tagSize = fullChecksums_ ? 16 : 8 + (checksums_ ? 2 : 0) + (wide ? 4 : 0);
    uint64_t end = maxLength;
    if (incompat & kIncompatFastCommit) {
        const uint32_t fc = be32(sb.data() + 84) ? be32(sb.data() + 84) : kDefaultFastCommitBlocks;
        end = fc < end - first ? end - fc : end;
    }

    // One pass over the log: which blocks are journal blocks of their own (descriptors, commits,
    // revokes), and the tags of every descriptor.
    std::vector<bool> header(size_t(end), false);
    std::vector<Descriptor> descriptors;
    const size_t tail = checksums_ ? 4 : 0;
    std::vector<uint8_t> batch;
    for (uint64_t pos = first; pos < end;) {
        // A stretch of journal blocks that lie side by side on the volume is read at once.
        uint64_t n = 1;
        while (pos + n < end && n * blockSize_ < kReadBatch && map_[size_t(pos + n)] != 0 &&
               map_[size_t(pos + n)] == map_[size_t(pos)] + n)
            ++n;
        if (map_[size_t(pos)] == 0) {
            ++pos;
            continue;
        }
        batch.assign(size_t(n * blockSize_), 0);
        readSalvaging(*fs.reader, int64_t(map_[size_t(pos)] * blockSize_), batch.data(), uint32_t(batch.size()), 512);
        for (uint64_t k = 0; k < n; ++k) {
            const uint8_t* b = batch.data() + k * blockSize_;
            if (be32(b) != kJournalMagic) continue;
            const uint32_t kind = be32(b + 4);
            if (kind != kDescriptor && kind != kCommit && kind != kRevoke) continue;
            header[size_t(pos + k)] = true;
            if (kind == kCommit) ++transactions_;
            if (kind != kDescriptor) continue;
            Descriptor d{uint32_t(pos + k), be32(b + 8), {}};
            for (size_t at = 12; at + tagSize <= blockSize_ - tail;) {
                const uint8_t* t = b + at;
                const uint32_t flags = fullChecksums_ ? be32(t + 4) : be16(t + 6);
                uint64_t block = be32(t);
                if (wide) block |= uint64_t(be32(t + 8)) << 32;
                const uint32_t sum = fullChecksums_ ? be32(t + 12) : be16(t + 4);
                d.tags.push_back({block, sum, (flags & kTagEscaped) != 0});
                at += tagSize + ((flags & kTagSameUuid) ? 0 : 16);
                if (flags & kTagLast) break;
            }
            descriptors.push_back(std::move(d));
        }
        pos += n;
    }

    // A tag's copy follows its descriptor (wrapping at the log's end). A journal block of its
    // own where a copy should be means newer transactions wrote over the rest of this one.
    const uint64_t logLength = end - first;
    const uint64_t volumeBlocks = fs.volumeBlocks();
    const uint64_t maxCopies = 2 * logLength;
    uint64_t total = 0;
    for (const Descriptor& d : descriptors) {
        uint64_t pos = d.position;
        for (size_t i = 0; i < d.tags.size(); ++i) {
            pos = pos + 1 >= end ? first : pos + 1;
            if (pos == d.position || header[size_t(pos)] || i >= logLength) {
                copiesDropped_ += d.tags.size() - i;
                break;
            }
            const Tag& t = d.tags[i];
            if (t.block == 0 || t.block >= volumeBlocks) {
                ++tagsPastVolume_;
                continue;
            }
            if (total >= maxCopies) {
                ++copiesDropped_;
                continue;
            }
            ++total;
            const int64_t age = int64_t(int32_t(d.sequence - nextSequence));
            copies_[t.block].push_back({age, d.sequence, uint32_t(pos), t.checksum, t.escaped});
        }
    }
    for (auto& [block, list] : copies_)
        std::stable_sort(list.begin(), list.end(), [](const JournalCopy& a, const JournalCopy& b) {
            return a.age != b.age ? a.age > b.age : a.position > b.position;
        });
    return true;
}

const std::vector<JournalCopy>* ExtJournal::copiesOf(uint64_t block) const {
    auto it = copies_.find(block);
    return it == copies_.end() ? nullptr : &it->second;
}

bool ExtJournal::readCopy(const JournalCopy& copy, std::vector<uint8_t>& out) const {
    out.assign(blockSize_, 0);
    if (!fs_ || copy.position >= map_.size() || map_[copy.position] == 0) return false;
    if (readSalvaging(*fs_->reader, int64_t(map_[copy.position] * blockSize_), out.data(), blockSize_, 512) != 0)
        return false;
    if (checksums_ && copy.position != 0) {
        uint8_t seq[4] = {uint8_t(copy.sequence >> 24), uint8_t(copy.sequence >> 16), uint8_t(copy.sequence >> 8),
                          uint8_t(copy.sequence)};
        uint32_t sum = crc32c(crc32c(seed_, seq, 4), out.data(), out.size());
        if (!fullChecksums_) sum &= 0xFFFF;
        if (sum != copy.checksum) return false;
    }
    if (copy.escaped) {
        out[0] = 0xC0;
        out[1] = 0x3B;
        out[2] = 0x39;
        out[3] = 0x98;
    }
    return true;
}

}  // namespace quarvell
