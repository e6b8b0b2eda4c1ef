#pragma once
// Per-item check record of the checkable tree: the item's own flag and counts of its descendants.
#include <cstdint>

namespace quarvell {

struct XHTMLTREEDATA {
    bool checked = false;
    bool enabled = true;
    bool separator = false;
    int32_t descendants = 0;
    int32_t checkedDescendants = 0;
    int32_t separators = 0;
    uint32_t textColor = 0;  // 0x00BBGGRR-free plain RGB: 0xRRGGBB; 0 = default colour
};

// State image indices of a check box.
enum : int { kStateUnticked = 1, kStateTicked = 2, kStatePartly = 3, kStateDisabledOffset = 4 };

}  // namespace quarvell
