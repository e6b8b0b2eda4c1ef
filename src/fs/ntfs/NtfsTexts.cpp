// ntfs: the size and time texts of the file list.
#include "fs/ntfs/NtfsTexts.h"

#include "common/TextFormat.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

std::optional<int64_t> fileTimeToUnix(uint64_t fileTime) {
    if (fileTime == 0) return std::nullopt;
    constexpr int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
    return int64_t(fileTime / 10000000) - kEpochDifference;
}

std::string ntfsAttributeText(uint32_t flags) {
    static const struct {
        uint32_t bit;
        const char* text;
    } kBits[] = {{0x1, "-R"}, {0x2, "-H"}, {0x200, "-S"}, {0x20, "-A"}, {0x800, "-C"}, {0x4000, "-E"}};
    std::string out;
    for (const auto& b : kBits)
        if (flags & b.bit) out += b.text;
    return out;
}

std::string ntfs::formatNtfsEntrySize(int64_t index) const {
    const MftEntry* e = entry(index);
    return e ? sizeText(e->dataSize) : std::string();
}

EntryTexts ntfs::formatNtfsEntryTimes(int64_t index) const {
    EntryTexts t;
    const MftEntry* e = entry(index);
    if (!e) return t;
    auto text = [](uint64_t ft) {
        const auto unix = fileTimeToUnix(ft);
        return unix ? dateTextFromUnix(*unix) : std::string();
    };
    if (e->hasTimes) {
        t.creation = text(e->creationTime);
        t.access = text(e->accessTime);
        t.modification = text(e->modificationTime);
    }
    t.attributes = ntfsAttributeText(e->fileAttributes);
    return t;
}

void ntfs::releaseNtfsNames() {
    entries_.clear();
    extraNames_.clear();
    aliasOf_.clear();
    aliasBase_ = UINT64_MAX;
}

bool ntfs::restoreName(int64_t index, const std::string& name) {
    if (index < 0 || uint64_t(index) >= entries_.size() || name.empty()) return false;
    entries_[size_t(index)].name = name;
    return true;
}

}  // namespace quarvell
