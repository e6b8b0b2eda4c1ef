#pragma once
// After a parse: the files of a "$RECYCLE.BIN" user folder named "$R..." get back the names they
// had before they were deleted, read from their "$I..." partners. Works on any parser through
// the result tree and the entry adapter, reads each "$I" record into memory, writes nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"

namespace quarvell {

inline constexpr size_t kMaxRecycleIndexBytes = 2047;

// The deleted file's former name (the text after the last "\") from a "$I" record: the path is
// UTF-16 at byte 24, or, in the records that carry version 2, after a character count at 24.
std::optional<std::string> formerNameFromIndexRecord(const std::vector<uint8_t>& record);
// Reads a small file's bytes into memory (at most `limit` of them); none when it is larger or
// cannot be read whole.
std::optional<std::vector<uint8_t>> readSmallFile(const FileData& data, size_t limit);
// Returns how many entries got their former names.
size_t restoreRecycleBinNames(ResultTree& tree, EntryAdapter& adapter);

}  // namespace quarvell
