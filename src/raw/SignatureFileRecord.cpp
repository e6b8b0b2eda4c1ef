#include "raw/SignatureFileRecord.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Utf.h"

namespace quarvell {

namespace {

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

template <size_t N>
void storeUnits(std::array<uint16_t, N>& out, const std::u16string& text, size_t keep) {
    out.fill(0);
    for (size_t i = 0; i < text.size() && i < keep; ++i) out[i] = uint16_t(text[i]);
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        uint8_t c = s[i];
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 0x6 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            cp = uint32_t(c & 0x1F) << 6 | (s[i + 1] & 0x3F);
            len = 2;
        } else if ((c >> 4) == 0xE && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
            cp = uint32_t(c & 0x0F) << 12 | uint32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
            len = 3;
        } else if ((c >> 3) == 0x1E && i + 3 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80 &&
                   (s[i + 3] & 0xC0) == 0x80) {
            cp = uint32_t(c & 0x07) << 18 | uint32_t(s[i + 1] & 0x3F) << 12 | uint32_t(s[i + 2] & 0x3F) << 6 |
                 (s[i + 3] & 0x3F);
            len = 4;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 | (cp >> 10)));
            out.push_back(char16_t(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += len;
    }
    return out;
}

std::string unitsToUtf8(const uint16_t* units, size_t count) {
    size_t used = 0;
    while (used < count && units[used] != 0) ++used;
    uint8_t bytes[2 * kCategoryUnits];
    for (size_t i = 0; i < used; ++i) put16(bytes + 2 * i, units[i]);
    return utf16leToUtf8(bytes, used);
}

SignatureFileRecord::Bytes SignatureFileRecord::toBytes() const {
    Bytes b{};
    for (size_t i = 0; i < kExtensionUnits; ++i) put16(&b[2 * i], extension[i]);
    b[10] = extensionLength;
    std::memcpy(&b[11], header.data(), kMaxSignatureBytes);
    std::memcpy(&b[21], footer.data(), kMaxSignatureBytes);
    b[31] = headerLength;
    b[32] = footerLength;
    b[33] = index;
    put32(&b[34], uint32_t(sizeFieldOffset));
    put32(&b[38], sizeFieldByteCount);
    put32(&b[42], headerSize);
    b[46] = sizeIncludesHeader;
    put32(&b[47], reserved);
    put64(&b[51], uint64_t(approximateSize));
    put64(&b[59], uint64_t(skipAmount));
    for (size_t i = 0; i < kCategoryUnits; ++i) put16(&b[67 + 2 * i], category[i]);
    put32(&b[167], trailingReserved);
    return b;
}

SignatureFileRecord SignatureFileRecord::fromBytes(const uint8_t* b) {
    SignatureFileRecord r;
    for (size_t i = 0; i < kExtensionUnits; ++i) r.extension[i] = le16(b + 2 * i);
    r.extensionLength = b[10];
    std::memcpy(r.header.data(), b + 11, kMaxSignatureBytes);
    std::memcpy(r.footer.data(), b + 21, kMaxSignatureBytes);
    r.headerLength = b[31];
    r.footerLength = b[32];
    r.index = b[33];
    r.sizeFieldOffset = int32_t(le32(b + 34));
    r.sizeFieldByteCount = le32(b + 38);
    r.headerSize = le32(b + 42);
    r.sizeIncludesHeader = b[46];
    r.reserved = le32(b + 47);
    r.approximateSize = int64_t(le64(b + 51));
    r.skipAmount = int64_t(le64(b + 59));
    for (size_t i = 0; i < kCategoryUnits; ++i) r.category[i] = le16(b + 67 + 2 * i);
    r.trailingReserved = le32(b + 167);
    return r;
}

void SignatureFileRecord::setExtension(const std::string& utf8) {
    std::u16string units = utf8ToUtf16(utf8);
    storeUnits(extension, units, kExtensionUnits - 1);
    extensionLength = uint8_t(units.size());
}

void SignatureFileRecord::setCategory(const std::string& utf8) {
    storeUnits(category, utf8ToUtf16(utf8), kCategoryUnits - 1);
}

std::string SignatureFileRecord::extensionText() const { return unitsToUtf8(extension.data(), kExtensionUnits); }
std::string SignatureFileRecord::categoryText() const { return unitsToUtf8(category.data(), kCategoryUnits); }

}  // namespace quarvell
