// Ends of TIFF files and the camera raw formats built on them (CR2, NEF, ARW, DNG): the image
// file directories, their sub-directories and EXIF directories, and the farthest byte any of
// them points at (strips, tiles, thumbnails, maker notes, values).
#include <algorithm>
#include <vector>

#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

constexpr int kMaxDirectories = 512;
constexpr uint32_t kMaxEntries = 4096;
constexpr uint64_t kMaxArray = 1 << 20;  // strips or tiles in one directory

int typeSize(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;     // BYTE ASCII SBYTE UNDEFINED
        case 3: case 8: return 2;                     // SHORT SSHORT
        case 4: case 9: case 11: case 13: return 4;   // LONG SLONG FLOAT IFD
        case 5: case 10: case 12: return 8;           // RATIONAL SRATIONAL DOUBLE
        default: return 0;
    }
}

bool pointsAtDirectories(uint16_t tag) { return tag == 330 || tag == 34665 || tag == 34853 || tag == 40965; }

struct Tiff {
    WalkSource& s;
    int64_t start;
    bool little;
    uint16_t u16(int64_t at) { return little ? s.le16(at) : s.be16(at); }
    uint32_t u32(int64_t at) { return little ? s.le32(at) : s.be32(at); }
    // Element i of an entry's SHORT or LONG array.
    uint32_t element(int64_t entry, uint16_t type, uint32_t count, uint64_t i) {
        const int size = typeSize(type);
        const int64_t base = uint64_t(size) * count <= 4 ? entry + 8 : start + u32(entry + 8);
        return size == 2 ? u16(base + int64_t(2 * i)) : u32(base + int64_t(4 * i));
    }
};

}  // namespace

WalkResult walkTiff(WalkSource& s, int64_t start, int64_t maxLength) {
    Tiff t{s, start, s.u8(start) == 'I'};
    if (!(t.little ? s.matches(start, "II*\0", 4) : s.matches(start, "MM\0*", 4))) return notThisType();
    const uint32_t first = t.u32(start + 4);
    if (first < 8 || first >= maxLength) return notThisType();

    int64_t end = start + 8;
    std::vector<uint32_t> todo{first};
    std::vector<uint32_t> seen;
    bool firstDirectory = true;
    while (!todo.empty() && int(seen.size()) < kMaxDirectories) {
        const uint32_t offset = todo.back();
        todo.pop_back();
        if (offset < 8 || offset >= maxLength || std::find(seen.begin(), seen.end(), offset) != seen.end()) continue;
        seen.push_back(offset);
        const int64_t dir = start + offset;
        const uint16_t count = t.u16(dir);
        if (count == 0 || count > kMaxEntries) {
            if (firstDirectory) return notThisType();
            continue;
        }
        const int64_t dirEnd = dir + 2 + 12 * int64_t(count) + 4;
        end = std::max(end, dirEnd);
        int64_t offsets = -1, counts = -1, thumbnail = -1, thumbnailLength = -1;
        uint16_t previousTag = 0;
        for (uint16_t i = 0; i < count; ++i) {
            const int64_t e = dir + 2 + 12 * int64_t(i);
            const uint16_t tag = t.u16(e);
            const uint16_t type = t.u16(e + 2);
            const uint32_t n = t.u32(e + 4);
            const int size = typeSize(type);
            if (size == 0 || (i > 0 && tag <= previousTag)) {
                if (firstDirectory) return notThisType();
                if (size == 0) continue;
            }
            previousTag = tag;
            const uint64_t bytes = uint64_t(size) * n;
            if (bytes > 4) {
                const uint64_t valueEnd = uint64_t(t.u32(e + 8)) + bytes;
                if (valueEnd <= uint64_t(maxLength)) end = std::max(end, start + int64_t(valueEnd));
                else if (firstDirectory && tag != 37500) return notThisType();
            }
            if (pointsAtDirectories(tag) && (type == 4 || type == 13) && n <= 64)
                for (uint32_t k = 0; k < n; ++k) todo.push_back(t.element(e, type, n, k));
            if ((tag == 273 || tag == 324) && (type == 3 || type == 4)) offsets = e;
            if ((tag == 279 || tag == 325) && (type == 3 || type == 4)) counts = e;
            if (tag == 513) thumbnail = e;
            if (tag == 514) thumbnailLength = e;
        }
        if (offsets >= 0 && counts >= 0) {
            const uint16_t oType = t.u16(offsets + 2), cType = t.u16(counts + 2);
            const uint32_t oCount = t.u32(offsets + 4), cCount = t.u32(counts + 4);
            const uint64_t k = std::min<uint64_t>(std::min(oCount, cCount), kMaxArray);
            for (uint64_t i = 0; i < k; ++i) {
                const uint64_t dataEnd = uint64_t(t.element(offsets, oType, oCount, i)) + t.element(counts, cType, cCount, i);
                if (dataEnd <= uint64_t(maxLength)) end = std::max(end, start + int64_t(dataEnd));
            }
        }
        if (thumbnail >= 0 && thumbnailLength >= 0) {
            const uint64_t dataEnd = uint64_t(t.u32(thumbnail + 8)) + t.u32(thumbnailLength + 8);
            if (dataEnd <= uint64_t(maxLength)) end = std::max(end, start + int64_t(dataEnd));
        }
        const uint32_t next = t.u32(dirEnd - 4);
        if (next != 0) todo.push_back(next);
        firstDirectory = false;
    }
    s.need(end);
    return exactLength(end - start);
}

}  // namespace quarvell
