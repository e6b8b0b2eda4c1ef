// Ends of ZIP archives (and DOCX, XLSX, PPTX, ODT, JAR, EPUB, which are ZIP archives), GZIP
// files and 7z archives.
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "raw/walkers/Walker.h"

namespace quarvell {

namespace {

constexpr uint64_t kMaxUnpacked = uint64_t(1) << 30;

bool knownZipMethod(uint16_t m) { return m <= 20 || (m >= 93 && m <= 99); }

}  // namespace

// The end-of-central-directory record whose central directory lies right before it, counted
// from this archive's first local header, with its first entry pointing at a local header; the
// file ends after the record's comment. A record that belongs to an archive stored inside this
// one fails that test and the search goes on.
WalkResult walkZip(WalkSource& s, int64_t start, int64_t) {
    if (!s.matches(start, "PK\x03\x04", 4)) return notThisType();
    const uint16_t method = s.le16(start + 8);
    const uint16_t nameLength = s.le16(start + 26);
    if ((s.u8(start + 4) > 90) || !knownZipMethod(method) || nameLength == 0 || nameLength > 4096) return notThisType();
    for (int64_t p = start + 30 + nameLength;;) {
        const int64_t q = s.find(p, "PK\x05\x06", 4);
        p = q + 1;
        uint64_t entries = s.le16(q + 10);
        uint64_t directorySize = s.le32(q + 12);
        uint64_t directoryOffset = s.le32(q + 16);
        const uint16_t commentLength = s.le16(q + 20);
        int64_t directoryEnd = q;
        if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
            // ZIP64: the locator right before the record gives the ZIP64 record.
            if (q - 20 < start || !s.matches(q - 20, "PK\x06\x07", 4)) continue;
            const uint64_t record = s.le64(q - 20 + 8);
            if (record > uint64_t(q - start)) continue;
            const int64_t r = start + int64_t(record);
            if (!s.matches(r, "PK\x06\x06", 4)) continue;
            entries = s.le64(r + 32);
            directorySize = s.le64(r + 40);
            directoryOffset = s.le64(r + 48);
            directoryEnd = r;
        }
        if (directoryOffset > uint64_t(directoryEnd - start) || directorySize != uint64_t(directoryEnd - start) - directoryOffset)
            continue;
        const int64_t directory = start + int64_t(directoryOffset);
        if (entries > 0) {
            if (!s.matches(directory, "PK\x01\x02", 4)) continue;
            uint64_t local = s.le32(directory + 42);
            if (local == 0xFFFFFFFF) local = 0;  // kept in the ZIP64 extra field; the first is at 0 in practice
            if (local >= directoryOffset || !s.matches(start + int64_t(local), "PK\x03\x04", 4)) continue;
        }
        const int64_t end = q + 22 + commentLength;
        s.need(end);
        return exactLength(end - start);
    }
}

// The member's header, its deflate stream to the last block, then CRC-32 and length, both
// checked against what the stream holds.
WalkResult walkGzip(WalkSource& s, int64_t start, int64_t) {
    const uint8_t flags = s.u8(start + 3);
    const uint8_t extraFlags = s.u8(start + 8);
    if ((flags & 0xE0) || (extraFlags != 0 && extraFlags != 2 && extraFlags != 4) ||
        (s.u8(start + 9) > 13 && s.u8(start + 9) != 255))
        return notThisType();
    int64_t p = start + 10;
    if (flags & 0x04) p += 2 + s.le16(p);
    if (flags & 0x08) p = s.find(p, uint8_t(0)) + 1;
    if (flags & 0x10) p = s.find(p, uint8_t(0)) + 1;
    if (flags & 0x02) p += 2;

    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return unknownEnd();
    struct Closer {
        z_stream* z;
        ~Closer() { inflateEnd(z); }
    } closer{&z};
    std::vector<uint8_t> out(65536);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t produced = 0;
    int64_t in = p;
    for (;;) {
        size_t available = 0;
        const uint8_t* bytes = s.view(in, &available);
        z.next_in = const_cast<Bytef*>(bytes);
        z.avail_in = uInt(std::min<size_t>(available, 1 << 20));
        const uInt given = z.avail_in;
        int rc = Z_OK;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
            const size_t made = out.size() - z.avail_out;
            crc = crc32(crc, out.data(), uInt(made));
            produced += made;
        } while (rc == Z_OK && z.avail_in > 0);
        in += int64_t(given - z.avail_in);
        if (rc == Z_STREAM_END) break;
        // A stream that unpacks to more than this is left to the signature's rules rather than
        // unpacked on and on (a hostile stream can expand a thousandfold).
        if (produced > kMaxUnpacked) return unknownEnd();
        if (rc != Z_OK && rc != Z_BUF_ERROR) return in - p < 16 ? notThisType() : unknownEnd();
    }
    if (s.le32(in) != uint32_t(crc) || s.le32(in + 4) != uint32_t(produced)) return unknownEnd();
    return exactLength(in + 8 - start);
}

// The start header (checked by its CRC) gives where the next header lies and how long it is.
WalkResult walk7z(WalkSource& s, int64_t start, int64_t) {
    if (!s.matches(start, "7z\xBC\xAF\x27\x1C", 6) || s.u8(start + 6) != 0 || s.u8(start + 7) > 9) return notThisType();
    uint8_t header[20];
    s.read(start + 12, header, sizeof header);
    if (crc32(0, header, sizeof header) != s.le32(start + 8)) return notThisType();
    const uint64_t offset = s.le64(start + 12);
    const uint64_t size = s.le64(start + 20);
    if (offset > (uint64_t(1) << 56) || size > (uint64_t(1) << 56) || size == 0) return notThisType();
    const int64_t end = start + 32 + int64_t(offset) + int64_t(size);
    s.need(end);
    return exactLength(end - start);
}

}  // namespace quarvell
