#include "fs/ext/ExtInline.h"

#include <cstring>

#include "common/Bytes.h"

namespace quarvell {

namespace {
constexpr uint32_t kXattrMagic = 0xEA020000;
constexpr uint8_t kSystemIndex = 7;
}  // namespace

std::vector<uint8_t> inlineDataAttribute(const uint8_t* inode, size_t inodeSize) {
    if (inodeSize <= 128 + 4) return {};
    const size_t extra = le16(inode + 128);
    const size_t header = 128 + extra;
    if (extra % 4 != 0 || header + 4 > inodeSize || le32(inode + header) != kXattrMagic) return {};
    const size_t first = header + 4;  // value offsets count from the first entry
    for (size_t at = first; at + 16 <= inodeSize;) {
        const uint8_t nameLen = inode[at];
        const uint8_t nameIndex = inode[at + 1];
        if (nameLen == 0 && nameIndex == 0 && le16(inode + at + 2) == 0) break;  // end of entries
        const size_t valueOffset = le16(inode + at + 2);
        const uint32_t valueInode = le32(inode + at + 4);
        const size_t valueSize = le32(inode + at + 8);
        if (at + 16 + nameLen > inodeSize) break;
        if (nameIndex == kSystemIndex && nameLen == 4 && std::memcmp(inode + at + 16, "data", 4) == 0) {
            if (valueInode != 0 || valueOffset > inodeSize - first || valueSize > inodeSize - first - valueOffset)
                return {};
            const uint8_t* v = inode + first + valueOffset;
            return std::vector<uint8_t>(v, v + valueSize);
        }
        at += (16 + size_t(nameLen) + 3) & ~size_t(3);
    }
    return {};
}

}  // namespace quarvell
