#pragma once
// One carved file: where it starts (bytes from the reader's origin), how long it is, and the
// signature that found it.
#include <cstdint>

namespace quarvell {

struct CarvedItem {
    int64_t start = 0;
    int64_t length = 0;
    int64_t signature = 0;
};

}  // namespace quarvell
