// Ends of JPEG, PNG, GIF and BMP pictures.
#include <algorithm>
#include <cstring>

#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

bool isFrameMarker(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Markers a JPEG may begin with after its SOI.
bool isOpeningMarker(uint8_t m) {
    return m >= 0xE0 || m == 0xDB || m == 0xC4 || m == 0xDD || m == 0xFE || isFrameMarker(m);
}

bool isChunkLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

// Marker segments by their lengths (an APPn segment holding a thumbnail is skipped whole), each
// scan's entropy-coded data to the next marker, up to the EOI after a frame.
WalkResult walkJpeg(WalkSource& s, int64_t start, int64_t) {
    int64_t p = start + 2;
    bool frame = false;
    int64_t segments = 0;
    for (;;) {
        if (s.u8(p) != 0xFF) return segments == 0 ? notThisType() : unknownEnd();
        while (s.u8(p) == 0xFF) ++p;  // fill bytes
        const uint8_t m = s.u8(p++);
        if (m == 0xD9) return frame ? exactLength(p - start) : unknownEnd();
        if ((m >= 0xD0 && m <= 0xD7) || m == 0x01) continue;  // markers without a length
        if (m == 0x00 || m == 0xD8 || (segments == 0 && !isOpeningMarker(m)))
            return segments == 0 ? notThisType() : unknownEnd();
        const uint16_t length = s.be16(p);
        if (length < 2) return segments == 0 ? notThisType() : unknownEnd();
        ++segments;
        if (isFrameMarker(m)) frame = true;
        p += length;
        if (m != 0xDA) continue;
        if (!frame) return unknownEnd();
        // Entropy-coded data: 0xFF is followed by a stuffed zero, a restart marker, more fill,
        // or the marker that ends the scan.
        for (;;) {
            const int64_t q = s.find(p, uint8_t(0xFF));
            const uint8_t next = s.u8(q + 1);
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                p = q + 2;
            } else if (next == 0xFF) {
                p = q + 1;
            } else {
                p = q;
                break;
            }
        }
    }
}

// Chunks by their lengths, starting with IHDR, up to IEND and its CRC.
WalkResult walkPng(WalkSource& s, int64_t start, int64_t) {
    if (!s.matches(start, "\x89PNG\r\n\x1a\n", 8)) return notThisType();
    int64_t p = start + 8;
    for (bool first = true;; first = false) {
        const uint32_t length = s.be32(p);
        uint8_t type[4];
        s.read(p + 4, type, 4);
        bool letters = true;
        for (uint8_t c : type) letters = letters && isChunkLetter(c);
        if (length > 0x7FFFFFFFu || !letters) return first ? notThisType() : unknownEnd();
        if (first && (std::memcmp(type, "IHDR", 4) != 0 || length != 13)) return notThisType();
        p += 12 + int64_t(length);
        s.need(p);
        if (std::memcmp(type, "IEND", 4) == 0) return exactLength(p - start);
    }
}

// The block structure: colour tables, extensions and images with their sub-blocks, up to the
// trailer. Data bytes "00 3B" inside an image are only data.
WalkResult walkGif(WalkSource& s, int64_t start, int64_t) {
    if (!s.matches(start, "GIF87a", 6) && !s.matches(start, "GIF89a", 6)) return notThisType();
    const uint8_t screenFlags = s.u8(start + 10);
    int64_t p = start + 13;
    if (screenFlags & 0x80) p += 3 * (int64_t(2) << (screenFlags & 7));
    auto skipSubBlocks = [&] {
        for (;;) {
            const uint8_t n = s.u8(p++);
            if (n == 0) return;
            p += n;
        }
    };
    for (bool first = true;; first = false) {
        const uint8_t introducer = s.u8(p);
        if (introducer == 0x3B) return exactLength(p + 1 - start);
        if (introducer == 0x21) {
            p += 2;  // introducer and label
            skipSubBlocks();
        } else if (introducer == 0x2C) {
            const uint8_t flags = s.u8(p + 9);
            p += 10;
            if (flags & 0x80) p += 3 * (int64_t(2) << (flags & 7));
            const uint8_t codeSize = s.u8(p++);
            if (codeSize < 1 || codeSize > 12) return unknownEnd();
            skipSubBlocks();
        } else {
            return first ? notThisType() : unknownEnd();
        }
    }
}

// The header's file size, checked against the pixel data it must hold.
WalkResult walkBmp(WalkSource& s, int64_t start, int64_t maxLength) {
    const uint32_t fileSize = s.le32(start + 2);
    const uint32_t dataOffset = s.le32(start + 10);
    const uint32_t infoSize = s.le32(start + 14);
    if (infoSize != 12 && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 64 && infoSize != 108 &&
        infoSize != 124)
        return notThisType();
    int64_t width, height;
    uint16_t planes, bits;
    uint32_t compression = 0;
    if (infoSize == 12) {
        width = s.le16(start + 18);
        height = s.le16(start + 20);
        planes = s.le16(start + 22);
        bits = s.le16(start + 24);
    } else {
        width = int32_t(s.le32(start + 18));
        height = int32_t(s.le32(start + 22));
        planes = s.le16(start + 26);
        bits = s.le16(start + 28);
        compression = s.le32(start + 30);
    }
    if (height < 0) height = -height;
    if (planes != 1 || width <= 0 || width > 1 << 20 || height == 0 || height > 1 << 20) return notThisType();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return notThisType();
    if (dataOffset < 14 + infoSize || int64_t(dataOffset) >= maxLength) return notThisType();
    if (compression == 0 || compression == 3 || compression == 6) {
        const int64_t pixels = (width * bits + 31) / 32 * 4 * height;
        const int64_t needed = int64_t(dataOffset) + pixels;
        // A size field smaller than the pixel data (or zero, which some writers leave) is wrong:
        // the pixel data is there. A somewhat larger one holds padding or a colour profile; one
        // far larger is not believed either.
        const int64_t slack = std::max<int64_t>(65536, needed / 8);
        const int64_t length = int64_t(fileSize) >= needed && int64_t(fileSize) <= needed + slack ? int64_t(fileSize) : needed;
        if (length > maxLength) return unknownEnd();
        s.need(start + length);
        return exactLength(length);
    }
    if (fileSize <= dataOffset) return unknownEnd();
    s.need(start + int64_t(fileSize));
    return exactLength(fileSize);
}

}  // namespace quarvell
