// Ends of RIFF files (WAV, AVI, WEBP), ISO base media files (MP4, MOV, M4A, HEIC, 3GP) and MP3.
#include <cstring>

#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

bool printable4(const uint8_t* b) {
    for (int i = 0; i < 4; ++i)
        if (b[i] < 0x20 || b[i] > 0x7E) return false;
    return true;
}

// Boxes that stand at the top level of an ISO base media file.
bool topLevelBox(const uint8_t* t) {
    static const char* const kBoxes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "moof",
                                         "mfra", "pdin", "styp", "sidx", "ssix", "prft", "emsg", "pnot", "udta"};
    for (const char* b : kBoxes)
        if (std::memcmp(t, b, 4) == 0) return true;
    return false;
}

struct Mpeg {
    int version;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer;    // 3 layer I, 2 layer II, 1 layer III
    int rate;     // sample rate index
    int length;   // frame bytes
};

// An MPEG audio frame header, or length 0.
Mpeg mpegFrame(const uint8_t* h) {
    Mpeg f{(h[1] >> 3) & 3, (h[1] >> 1) & 3, (h[2] >> 2) & 3, 0};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || f.version == 1 || f.layer == 0 || f.rate == 3) return f;
    const int index = h[2] >> 4;
    if (index == 0 || index == 15) return f;
    static const int kBitrates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 layers II, III
    };
    static const int kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = f.version == 3;
    const int table = mpeg1 ? 3 - f.layer : (f.layer == 3 ? 3 : 4);
    const int64_t bitrate = int64_t(kBitrates[table][index]) * 1000;
    const int64_t rate = kRates[f.rate] >> (mpeg1 ? 0 : f.version == 2 ? 1 : 2);
    const int padding = (h[2] >> 1) & 1;
    if (f.layer == 3) f.length = int((12 * bitrate / rate + padding) * 4);
    else if (f.layer == 1 && !mpeg1) f.length = int(72 * bitrate / rate + padding);
    else f.length = int(144 * bitrate / rate + padding);
    return f;
}

}  // namespace

// The RIFF size field, checked by walking the chunks it holds; an AVI's "AVIX" extensions that
// follow it belong to it.
WalkResult walkRiff(WalkSource& s, int64_t start, int64_t) {
    const uint32_t size = s.le32(start + 4);
    uint8_t form[8];
    s.read(start + 8, form, 8);
    if (size < 12 || !printable4(form) || !printable4(form + 4)) return notThisType();
    int64_t end = start + 8 + int64_t(size);
    s.need(end);
    int64_t p = start + 12;
    for (int chunks = 0; p + 8 <= end && chunks < 1000000; ++chunks) {
        uint8_t id[4];
        s.read(p, id, 4);
        if (!printable4(id)) return unknownEnd();
        const uint32_t length = s.le32(p + 4);
        p += 8 + int64_t(length) + (length & 1);
    }
    if (p > end + 1) return unknownEnd();
    if (p == end + 1 && s.peek(end) == 0) end = p;  // a last odd chunk's pad left out of the size
    if (std::memcmp(form, "AVI ", 4) == 0) {
        for (int k = 0; k < 4096 && s.matches(end, "RIFF", 4) && s.matches(end + 8, "AVIX", 4); ++k) {
            const int64_t next = end + 8 + int64_t(s.le32(end + 4));
            s.need(next);
            end = next;
        }
    }
    return exactLength(end - start);
}

// The top-level boxes by their sizes, as long as what follows is a top-level box of this file
// (a second "ftyp" starts another file).
WalkResult walkIsoMedia(WalkSource& s, int64_t start, int64_t) {
    int64_t p = start;
    bool content = false;
    for (int boxes = 0; boxes < 1000000; ++boxes) {
        if (p + 8 > s.limit()) {
            if (p + 8 > s.mediumSize() && boxes > 0) break;  // the file ends with the medium
            s.need(p + 8);
        }
        uint64_t size = s.be32(p);
        uint8_t type[4];
        s.read(p + 4, type, 4);
        if (boxes > 0 && (!topLevelBox(type) || std::memcmp(type, "ftyp", 4) == 0)) break;
        if (boxes == 0) {
            if (!topLevelBox(type)) return notThisType();
            if (std::memcmp(type, "ftyp", 4) == 0 && (size < 8 || size > 4096 || size % 4 != 0)) return notThisType();
        }
        if (size == 1) {
            size = s.be64(p + 8);
            if (size < 16) return boxes == 0 ? notThisType() : unknownEnd();
        } else if (size == 0) {
            return unknownEnd();  // runs to the end of a file whose end is what is sought
        } else if (size < 8) {
            return boxes == 0 ? notThisType() : unknownEnd();
        }
        if (size > uint64_t(s.mediumSize())) throw PastLimit{};
        if (!std::memcmp(type, "moov", 4) || !std::memcmp(type, "meta", 4) || !std::memcmp(type, "moof", 4)) content = true;
        p += int64_t(size);
        s.need(p);
    }
    return content ? exactLength(p - start) : unknownEnd();
}

// ID3v2 tags, then MPEG audio frames alike in version, layer and sample rate, then an ID3v1
// tag if one follows.
WalkResult walkMp3(WalkSource& s, int64_t start, int64_t) {
    int64_t p = start;
    bool tagged = false;
    while (s.matches(p, "ID3", 3)) {
        uint8_t h[10];
        s.read(p, h, 10);
        if (h[3] < 2 || h[3] > 4 || h[4] == 0xFF || (h[6] | h[7] | h[8] | h[9]) & 0x80)
            return tagged ? unknownEnd() : notThisType();
        p += 10 + (int64_t(h[6]) << 21 | int64_t(h[7]) << 14 | int64_t(h[8]) << 7 | h[9]) + ((h[5] & 0x10) ? 10 : 0);
        tagged = true;
    }
    for (int i = 0; tagged && i < 65536 && s.peek(p) == 0; ++i) ++p;  // padding after the tag
    int64_t frames = 0;
    Mpeg first{};
    for (;;) {
        uint8_t h[4];
        if (p + 4 > s.limit()) {
            if (p + 4 > s.mediumSize()) break;
            s.need(p + 4);
        }
        s.read(p, h, 4);
        const Mpeg f = mpegFrame(h);
        if (f.length < 4) break;
        if (frames == 0) first = f;
        else if (f.version != first.version || f.layer != first.layer || f.rate != first.rate) break;
        if (p + f.length > s.mediumSize()) throw PastLimit{};
        p += f.length;
        s.need(p);
        ++frames;
    }
    if (frames < (tagged ? 2 : 4)) return frames == 0 && !tagged ? notThisType() : unknownEnd();
    if (s.matches(p, "TAG", 3) && p + 128 <= s.limit()) p += 128;
    return exactLength(p - start);
}

}  // namespace quarvell
