#pragma once
// One carved file: where it starts (bytes from the reader's origin), how long it is, the
// signature that found it, and how its end was found.
#include <cstdint>

namespace quarvell {

struct CarvedItem {
    int64_t start = 0;
    int64_t length = 0;
    int64_t signature = 0;
    int32_t format = -1;  // the structure walker that ended it (myJpg::formatText), -1: the signature's rules
    bool exact = false;   // ended by a walker, a footer or a size field; false for an approximate size
    bool spansUnreadable = false;  // some of its bytes could not be read from the medium (never exact)
};

}  // namespace quarvell
