#pragma once
// One signature as stored in a settings file: a fixed record of 171 bytes, little-endian numbers,
// texts as UTF-16 units. A settings file is nothing but these records, one after another.
#include <array>
#include <cstdint>
#include <string>

namespace quarvell {

inline constexpr size_t kSignatureRecordSize = 171;
inline constexpr size_t kMaxSignatureBytes = 10;
inline constexpr size_t kExtensionUnits = 5;   // 4 characters and a terminating zero
inline constexpr size_t kCategoryUnits = 50;   // 49 characters and a terminating zero

struct SignatureFileRecord {
    std::array<uint16_t, kExtensionUnits> extension{};  // offset 0
    uint8_t extensionLength = 0;                        // 10: characters typed, modulo 256
    std::array<uint8_t, kMaxSignatureBytes> header{};   // 11
    std::array<uint8_t, kMaxSignatureBytes> footer{};   // 21
    uint8_t headerLength = 0;                           // 31
    uint8_t footerLength = 0;                           // 32
    uint8_t index = 0xFF;                               // 33: position in the file (low 8 bits)
    int32_t sizeFieldOffset = -1;                       // 34: -1 = none
    uint32_t sizeFieldByteCount = 0;                    // 38: 0 = none
    uint32_t headerSize = 0;                            // 42
    uint8_t sizeIncludesHeader = 0;                     // 46
    uint32_t reserved = 0;                              // 47
    int64_t approximateSize = 0;                        // 51: 0 = not given
    int64_t skipAmount = 0;                             // 59: 0 = not given
    std::array<uint16_t, kCategoryUnits> category{};    // 67
    uint32_t trailingReserved = 0;                      // 167

    using Bytes = std::array<uint8_t, kSignatureRecordSize>;
    Bytes toBytes() const;
    static SignatureFileRecord fromBytes(const uint8_t* bytes);

    // Stores the first 4 UTF-16 units of the UTF-8 text and its length in units (mod 256).
    void setExtension(const std::string& utf8);
    // Stores up to 49 UTF-16 units of the UTF-8 text; the rest stays zero.
    void setCategory(const std::string& utf8);
    std::string extensionText() const;
    std::string categoryText() const;
};

// UTF-8 to UTF-16 units (invalid sequences become U+FFFD).
std::u16string utf8ToUtf16(const std::string& utf8);
// UTF-16 units up to the first zero (or `count`) to UTF-8.
std::string unitsToUtf8(const uint16_t* units, size_t count);

}  // namespace quarvell
