#pragma once
// Everything about a loaded signature besides its bytes: extension, size rules, category, and
// the fields the carving engine fills while it runs.
#include <array>
#include <cstdint>

#include "controls/ResultTree.h"
#include "raw/SignatureFileRecord.h"

namespace quarvell {

struct RawSignature {
    uint8_t headerLength = 0;
    uint8_t footerLength = 0;
    std::array<uint16_t, kExtensionUnits> extension{};
    int32_t sizeFieldOffset = -1;  // -1 = none
    uint32_t sizeFieldByteCount = 0;
    uint32_t headerSize = 0;
    uint8_t sizeIncludesHeader = 0;
    uint32_t reserved = 0;
    int64_t approximateSize = 0;
    int64_t skipAmount = 0;
    std::array<uint16_t, kCategoryUnits> category{};

    // Filled by the carving engine.
    TreeItem categoryItem = kNoItem;
    uint32_t headersFound = 0;
    uint32_t filesFound = 0;
};

}  // namespace quarvell
