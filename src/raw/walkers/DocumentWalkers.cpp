// Ends of PDF documents and OLE2 compound files (Word, Excel, PowerPoint 97-2003, MSI, MSG).
#include <algorithm>
#include <vector>

#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isSpace(int c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0; }

// Whether an incremental update starts at `p`: "N G obj" or a cross-reference table, after a
// little white space.
bool updateFollows(WalkSource& s, int64_t p) {
    for (int i = 0; i < 4 && isSpace(s.peek(p)); ++i) ++p;
    if (s.matches(p, "xref", 4)) return true;
    int digits = 0;
    while (isDigit(s.peek(p)) && digits < 11) ++p, ++digits;
    if (digits == 0 || s.peek(p) != ' ') return false;
    ++p;
    digits = 0;
    while (isDigit(s.peek(p)) && digits < 6) ++p, ++digits;
    return digits > 0 && s.peek(p) == ' ' && s.matches(p + 1, "obj", 3);
}

}  // namespace

// Through the last "%%EOF" of the incremental updates and the end-of-line after it, never past
// the header of a following PDF.
WalkResult walkPdf(WalkSource& s, int64_t start, int64_t) {
    if (!isDigit(s.u8(start + 5)) || s.u8(start + 6) != '.') return notThisType();
    int64_t best = -1;
    int64_t p = start + 7;
    for (;;) {
        int64_t q;
        try {
            q = s.find(p, '%');
        } catch (const PastLimit&) {
            if (best > 0) return exactLength(best - start);
            throw;
        }
        if (s.matches(q, "%PDF-", 5)) return best > 0 ? exactLength(best - start) : unknownEnd();
        if (!s.matches(q, "%%EOF", 5)) {
            p = q + 1;
            continue;
        }
        int64_t end = q + 5;
        if (s.peek(end) == '\r') ++end;
        if (s.peek(end) == '\n') ++end;
        best = end;
        if (!updateFollows(s, end)) return exactLength(best - start);
        p = end;
    }
}

// The sectors the allocation table uses: the file ends after the highest one in use.
WalkResult walkOle2(WalkSource& s, int64_t start, int64_t maxLength) {
    if (!s.matches(start, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return notThisType();
    const uint16_t major = s.le16(start + 0x1A);
    const uint16_t shift = s.le16(start + 0x1E);
    if (s.le16(start + 0x1C) != 0xFFFE || s.le16(start + 0x20) != 6) return notThisType();
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return notThisType();
    const int64_t sector = int64_t(1) << shift;
    const int64_t perSector = sector / 4;
    const uint32_t fatSectors = s.le32(start + 0x2C);
    const int64_t maxSectors = maxLength / sector;
    if (fatSectors == 0 || int64_t(fatSectors) > maxSectors / perSector + 1) return notThisType();

    std::vector<uint32_t> fat;
    fat.reserve(std::min<uint32_t>(fatSectors, 4096));
    for (int i = 0; i < 109 && fat.size() < fatSectors; ++i) fat.push_back(s.le32(start + 0x4C + 4 * i));
    uint32_t difat = s.le32(start + 0x44);
    const uint32_t difatCount = s.le32(start + 0x48);
    for (uint32_t k = 0; k < difatCount && fat.size() < fatSectors; ++k) {
        if (difat >= 0xFFFFFFFA || int64_t(difat) >= maxSectors) return unknownEnd();
        const int64_t at = start + (int64_t(difat) + 1) * sector;
        for (int64_t i = 0; i + 1 < perSector && fat.size() < fatSectors; ++i) fat.push_back(s.le32(at + 4 * i));
        difat = s.le32(at + 4 * (perSector - 1));
    }
    if (fat.size() < fatSectors) return unknownEnd();

    int64_t highest = -1;
    std::vector<uint8_t> bytes(static_cast<size_t>(sector));
    for (size_t j = 0; j < fat.size(); ++j) {
        if (fat[j] >= 0xFFFFFFFA || int64_t(fat[j]) >= maxSectors) return j == 0 ? notThisType() : unknownEnd();
        s.read(start + (int64_t(fat[j]) + 1) * sector, bytes.data(), bytes.size());
        for (int64_t i = perSector - 1; i >= 0; --i) {
            const uint8_t* b = bytes.data() + 4 * i;
            if ((b[0] & b[1] & b[2] & b[3]) != 0xFF) {
                highest = std::max<int64_t>(highest, int64_t(j) * perSector + i);
                break;
            }
        }
    }
    if (highest < 0) return notThisType();
    const int64_t length = (highest + 2) * sector;
    s.need(start + length);
    return exactLength(length);
}

}  // namespace quarvell
