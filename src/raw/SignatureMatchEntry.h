#pragma once
// The part of a signature the byte matcher needs: extension, header and footer bytes, and the
// signature's number within the current parse (full width, so any number of signatures works).
#include <array>
#include <cstdint>

#include "raw/SignatureFileRecord.h"

namespace quarvell {

struct SignatureMatchEntry {
    std::array<uint16_t, kExtensionUnits> extension{};
    uint8_t extensionLength = 0;
    std::array<uint8_t, kMaxSignatureBytes> header{};
    std::array<uint8_t, kMaxSignatureBytes> footer{};
    uint8_t headerLength = 0;
    uint8_t footerLength = 0;
    int64_t index = 0;
};

}  // namespace quarvell
