#pragma once
// Texts of HFS+ record fields: dates and permission attributes, as the file list shows them.
#include <cstdint>
#include <string>

namespace quarvell {

// Seconds from 1904-01-01 to 1970-01-01.
inline constexpr int64_t kHfsEpochToUnix = 2082844800;

inline int64_t hfsDateToUnix(uint32_t hfsDate) { return int64_t(hfsDate) - kHfsEpochToUnix; }

// The shared date text (12-hour clock: noon "12:xx PM", midnight "12:xx AM") in local time.
std::string hfsDateText(uint32_t hfsDate);

// "-Owner:X-Owner:W-Owner:R-OX-OW-OR-GX-GW-GR" for the set bits of a file mode, in that order.
std::string hfsAttributeText(uint16_t fileMode);

}  // namespace quarvell
