#include "common/DateTextCache.h"

#include "common/TextFormat.h"

namespace quarvell {

std::string DateTextCache::text(int64_t unixSeconds) {
    const uint64_t mixed = uint64_t(unixSeconds) * 0x9E3779B97F4A7C15ull;
    Slot& slot = slots_[size_t(mixed >> 55) % slots_.size()];
    std::lock_guard<std::mutex> lock(mutex_);
    if (!slot.used || slot.seconds != unixSeconds) {
        slot.text = dateTextFromUnix(unixSeconds);
        slot.seconds = unixSeconds;
        slot.used = true;
    }
    return slot.text;
}

}  // namespace quarvell
