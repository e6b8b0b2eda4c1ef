#pragma once
// Date texts of Unix times with recent conversions kept: the files of a volume share their
// times (a folder copied in one go), and the local-time conversion is the costly part of a row.
// One cache serves one parsed volume; it may be asked from several threads.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace quarvell {

class DateTextCache {
public:
    // dateTextFromUnix(unixSeconds), from the cache when the same second was converted lately.
    std::string text(int64_t unixSeconds);

private:
    struct Slot {
        bool used = false;
        int64_t seconds = 0;
        std::string text;
    };
    std::mutex mutex_;
    std::array<Slot, 512> slots_;
};

}  // namespace quarvell
