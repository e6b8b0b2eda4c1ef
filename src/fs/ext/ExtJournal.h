#pragma once
// The journal of an ext3/ext4 volume (the JBD2 format, kept in the journal inode): its
// superblock, descriptor, commit and revoke blocks, 32- and 64-bit tags, checksums v2/v3. The
// whole log area is scanned, not only the part a replay would use, so the copies of blocks that
// older transactions left behind are found too. For every file-system block it lists the copies
// the journal holds, newest transaction first; a copy is read (unescaped and, where the journal
// carries checksums, verified) only when asked for.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quarvell {

class ext2Class;

struct JournalCopy {
    int64_t age = 0;           // transaction order: larger is newer
    uint32_t sequence = 0;     // the transaction's number
    uint32_t position = 0;     // journal block holding the copy
    uint32_t checksum = 0;     // of the stored bytes, when the journal keeps checksums
    bool escaped = false;      // its first four bytes were the journal's magic
};

class ExtJournal {
public:
    // Reads the journal superblock and scans the log. False, with `problem()` saying why, when
    // there is no journal to read.
    bool load(const ext2Class& fs);

    // The copies of one file-system block, newest first (null when the journal holds none).
    const std::vector<JournalCopy>* copiesOf(uint64_t block) const;
    const std::unordered_map<uint64_t, std::vector<JournalCopy>>& copies() const { return copies_; }
    // The bytes of a copy (one block); false when it cannot be read or fails its checksum.
    bool readCopy(const JournalCopy& copy, std::vector<uint8_t>& out) const;
    // A copy from a transaction a replay would still apply: newer than the volume's own block.
    bool newerThanVolume(const JournalCopy& copy) const { return replayPending_ && copy.age >= 0; }

    const std::string& problem() const { return problem_; }
    // What the scan passed by: tags naming blocks past the volume, transactions cut by newer ones.
    uint64_t tagsPastVolume() const { return tagsPastVolume_; }
    uint64_t copiesDropped() const { return copiesDropped_; }
    uint64_t transactions() const { return transactions_; }

private:
    bool fail(const std::string& why) {
        problem_ = why;
        return false;
    }

    const ext2Class* fs_ = nullptr;
    std::vector<uint64_t> map_;  // journal block -> file-system block (0: not mapped)
    std::unordered_map<uint64_t, std::vector<JournalCopy>> copies_;
    uint32_t blockSize_ = 0;
    bool checksums_ = false;  // v2 or v3
    bool fullChecksums_ = false;  // v3: 32-bit tag checksums
    uint32_t seed_ = 0;
    bool replayPending_ = false;
    std::string problem_;
    uint64_t tagsPastVolume_ = 0;
    uint64_t copiesDropped_ = 0;
    uint64_t transactions_ = 0;
};

}  // namespace quarvell
