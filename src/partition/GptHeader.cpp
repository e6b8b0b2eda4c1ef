#include "partition/GptHeader.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"

namespace quarvell {

namespace {

constexpr uint32_t kSector = 512;
constexpr uint64_t kMaxEntryBytes = 4u << 20;  // far above any real array (128 × 128 bytes)

bool readSector(readWriteInterface& reader, uint64_t sector, uint8_t* out) {
    std::memset(out, 0, kSector);
    return sector <= uint64_t(INT64_MAX) / kSector && readSalvaging(reader, int64_t(sector * kSector), out, kSector) == 0;
}

}  // namespace

bool gptHeaderHolds(readWriteInterface& reader, const uint8_t* header) {
    if (std::memcmp(header, "EFI PART", 8) != 0) return false;
    const uint32_t headerSize = le32(header + 12);
    if (headerSize < 92 || headerSize > kSector) return false;
    uint8_t copy[kSector];
    std::memcpy(copy, header, kSector);
    std::memset(copy + 16, 0, 4);
    if (crc32(0, copy, headerSize) != le32(header + 16)) return false;

    const uint64_t entryLba = le64(header + 72);
    const uint64_t bytes = uint64_t(le32(header + 80)) * le32(header + 84);
    if (bytes == 0 || bytes > kMaxEntryBytes || entryLba == 0 || entryLba > uint64_t(INT64_MAX) / kSector - kMaxEntryBytes)
        return false;
    if (reader.mediumLength != 0 && entryLba * kSector + bytes > reader.mediumLength) return false;
    std::vector<uint8_t> entries(size_t(bytes), 0);
    if (readSalvaging(reader, int64_t(entryLba * kSector), entries.data(), uint32_t(bytes)) != 0) return false;
    return crc32(0, entries.data(), uInt(bytes)) == le32(header + 88);
}

std::string pickGptHeader(readWriteInterface& reader, uint8_t* header) {
    if (gptHeaderHolds(reader, header)) return {};
    const uint64_t sectors = reader.mediumLength / kSector;
    uint8_t backup[kSector];
    if (sectors > 2 && readSector(reader, sectors - 1, backup) && gptHeaderHolds(reader, backup)) {
        std::memcpy(header, backup, kSector);
        return kGptBackupUsedText;
    }
    // No GPT header at all (a table read as GPT by request), or an entry array past the medium's
    // end (which lists nothing): nothing was damaged that could be checked.
    if (std::memcmp(header, "EFI PART", 8) != 0) return {};
    const uint64_t entryLba = le64(header + 72);
    if (sectors != 0 && entryLba >= sectors) return {};
    return kGptUncheckedText;
}

}  // namespace quarvell
