#pragma once
// Windows file times and the file attribute letters of the file list.
#include <cstdint>
#include <optional>
#include <string>

namespace quarvell {

// Seconds since 1970 UTC of a Windows file time (100 ns units since 1601); none for 0.
std::optional<int64_t> fileTimeToUnix(uint64_t fileTime);
// "-R" read-only, "-H" hidden, "-S" (0x200), "-A" archive, "-C" compressed, "-E" encrypted.
std::string ntfsAttributeText(uint32_t flags);

}  // namespace quarvell
