// Ends of SQLite databases: page size times page count.
#include "raw/walkers/Walker.h"

namespace quarvell {

WalkResult walkSqlite(WalkSource& s, int64_t start, int64_t) {
    if (!s.matches(start, "SQLite format 3\0", 16)) return notThisType();
    const uint32_t pageSize = s.be16(start + 16) == 1 ? 65536 : s.be16(start + 16);
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) return notThisType();
    const uint8_t write = s.u8(start + 18), read = s.u8(start + 19);
    if (write < 1 || write > 2 || read < 1 || read > 2 || s.u8(start + 21) != 64 || s.u8(start + 22) != 32 ||
        s.u8(start + 23) != 32)
        return notThisType();
    const uint32_t pages = s.be32(start + 28);
    // The page count is valid only when written by the same change as the version number.
    if (pages == 0 || s.be32(start + 24) != s.be32(start + 92)) return unknownEnd();
    const int64_t length = int64_t(pageSize) * pages;
    s.need(start + length);
    return exactLength(length);
}

}  // namespace quarvell
