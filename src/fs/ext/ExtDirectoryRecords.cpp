#include "fs/ext/ExtDirectoryRecords.h"

#include "common/Bytes.h"

namespace quarvell {

namespace {

constexpr uint8_t kChecksumTailType = 0xDE;

uint32_t ownLength(uint32_t nameLength) { return (8 + nameLength + 3) & ~3u; }

bool plausibleName(const uint8_t* name, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        if (name[i] == 0 || name[i] == '/') return false;
    return true;
}

// A record that may stand at `at` inside [at, limit): one deleted entry of the slack.
bool slackRecord(const uint8_t* b, size_t at, size_t limit, uint32_t inodesCount, bool fileTypes, ExtNameRecord& out) {
    if (at + 8 > limit) return false;
    const uint32_t inode = le32(b + at);
    const uint32_t recLen = le16(b + at + 4);
    const uint32_t nameLen = fileTypes ? b[at + 6] : le16(b + at + 6);
    const uint8_t type = fileTypes ? b[at + 7] : 0;
    if (inode == 0 || inode > inodesCount || nameLen == 0 || type > 7) return false;
    if (at + 8 + nameLen > limit || recLen < ownLength(nameLen) || recLen % 4 != 0) return false;
    if (!plausibleName(b + at + 8, nameLen)) return false;
    out = {inode, type, true, std::string(reinterpret_cast<const char*>(b + at + 8), nameLen)};
    return true;
}

}  // namespace

ExtDirectoryBlock readDirectoryBlock(const uint8_t* b, size_t size, uint32_t inodesCount, bool fileTypes) {
    ExtDirectoryBlock out;
    std::vector<ExtNameRecord> records;
    size_t at = 0;
    bool first = true;
    while (at < size) {
        if (at + 8 > size) return out;
        const uint32_t inode = le32(b + at);
        const uint32_t recLen = le16(b + at + 4);
        const uint32_t nameLen = fileTypes ? b[at + 6] : le16(b + at + 6);
        const uint8_t type = fileTypes ? b[at + 7] : 0;
        if (recLen < 12 || recLen % 4 != 0 || at + recLen > size || inode > inodesCount) return out;
        const bool tail = inode == 0 && nameLen == 0 && type == kChecksumTailType && recLen == 12 && at + 12 == size;
        if (!tail && (type > 7 || 8 + nameLen > recLen)) return out;
        if (inode != 0 && (nameLen == 0 || !plausibleName(b + at + 8, nameLen))) return out;
        const std::string name(reinterpret_cast<const char*>(b + at + 8), tail ? 0 : nameLen);
        if (first && inode != 0 && name == ".") out.selfInode = inode;
        first = false;
        if (inode != 0 && name != "." && name != "..") records.push_back({inode, type, false, name});
        // The slack after the record's own bytes.
        for (size_t q = at + ownLength(tail ? 0 : nameLen); q + 8 <= at + recLen;) {
            ExtNameRecord r;
            if (slackRecord(b, q, at + recLen, inodesCount, fileTypes, r)) {
                q += ownLength(uint32_t(r.name.size()));
                if (r.name != "." && r.name != "..") records.push_back(std::move(r));
            } else {
                q += 4;
            }
        }
        at += recLen;
    }
    out.valid = at == size;
    if (out.valid) out.records = std::move(records);
    return out;
}

}  // namespace quarvell
