#pragma once
// Which GPT header a table scan follows. The primary (sector 1) when its own CRC-32 and its
// entry array's hold; else the backup in the medium's last sector when its CRCs hold; else the
// primary as it is. Either fallback is said in a warning: the table may not be the disk's.
#include <cstdint>
#include <string>

namespace quarvell {

class readWriteInterface;

inline constexpr const char* kGptBackupUsedText = "the primary GPT header is damaged: the backup was used";
inline constexpr const char* kGptUncheckedText =
    "the primary GPT header and its backup are damaged: the primary was read as it is";

// True when the 512-byte header's CRC and the CRC of the entry array it names both hold.
bool gptHeaderHolds(readWriteInterface& reader, const uint8_t* header);

// `header` holds the primary header's sector; it is replaced by the backup's when that one is
// used. Returns the warning to show, empty when the primary holds.
std::string pickGptHeader(readWriteInterface& reader, uint8_t* header);

}  // namespace quarvell
