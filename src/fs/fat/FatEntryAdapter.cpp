#include "fs/fat/FatEntryAdapter.h"

namespace quarvell {

const FatEntry* FatEntryAdapter::entry(EntryKey key) const {
    const auto& list = parser_->entries();
    return key >= 0 && uint64_t(key) < list.size() ? &list[size_t(key)] : nullptr;
}

bool FatEntryAdapter::isFolder(EntryKey key) const {
    const FatEntry* e = entry(key);
    return e && (key == kFatRootIndex || e->isFolder());
}

// The chain from the first child along next-sibling links, bounded by the number of entries.
std::vector<EntryKey> FatEntryAdapter::children(EntryKey folder) const {
    std::vector<EntryKey> out;
    if (!isFolder(folder)) return out;
    const auto& list = parser_->entries();
    for (uint32_t i = list[size_t(folder)].firstChild; i < list.size() && out.size() < list.size();
         i = list[i].nextSibling)
        out.push_back(i);
    return out;
}

bool FatEntryAdapter::hasChildren(EntryKey folder) const {
    return isFolder(folder) && parser_->entries()[size_t(folder)].firstChild != kFatNoEntry;
}

std::string FatEntryAdapter::name(EntryKey key) const {
    const FatEntry* e = entry(key);
    return e ? e->name : std::string();
}

bool FatEntryAdapter::isDeleted(EntryKey key, EntryKey clickedFolder) const {
    const FatEntry* e = entry(key);
    if (!e) return false;
    if (e->deleted) return true;
    if (isFolder(key)) return false;
    const FatEntry* f = entry(clickedFolder);
    return f && clickedFolder != kFatRootIndex && f->deleted;
}

std::string FatEntryAdapter::sizeText(EntryKey key) const {
    const FatEntry* e = entry(key);
    return e ? parser_->formatFatEntrySize(*e) : std::string();
}

EntryTexts FatEntryAdapter::texts(EntryKey key) const {
    const FatEntry* e = entry(key);
    return e ? parser_->formatFatEntryTimes(*e) : EntryTexts{};
}

uint64_t FatEntryAdapter::sizeInBytes(EntryKey key) const {
    const FatEntry* e = entry(key);
    return e && !isFolder(key) ? e->size : 0;
}

FileData FatEntryAdapter::fileData(EntryKey key) const {
    const FatEntry* e = entry(key);
    if (!e || isFolder(key)) {
        FileData none;
        none.unsupported = "not a file";
        return none;
    }
    return parser_->fatFileData(*e);
}

}  // namespace quarvell
