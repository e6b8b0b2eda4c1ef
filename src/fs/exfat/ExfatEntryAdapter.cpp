#include "fs/exfat/ExfatEntryAdapter.h"

namespace quarvell {

bool ExfatEntryAdapter::isFolder(EntryKey key) const {
    const ExfatEntry* e = entry(key);
    return e && e->isFolder();
}

// The chain from the first child along next-sibling links, never longer than the record list.
std::vector<EntryKey> ExfatEntryAdapter::children(EntryKey folder) const {
    std::vector<EntryKey> out;
    const ExfatEntry* f = entry(folder);
    if (!f || !f->isFolder()) return out;
    const size_t limit = parser_.entries().size();
    for (uint32_t i = f->firstChild; i > 0 && out.size() < limit;) {
        const ExfatEntry* c = parser_.entry(i);
        if (!c) break;
        out.push_back(i);
        i = c->nextSibling;
    }
    return out;
}

bool ExfatEntryAdapter::hasChildren(EntryKey folder) const {
    const ExfatEntry* f = entry(folder);
    return f && f->isFolder() && f->firstChild > 0;
}

std::string ExfatEntryAdapter::name(EntryKey key) const {
    const ExfatEntry* e = entry(key);
    return e ? e->name : std::string();
}

bool ExfatEntryAdapter::isDeleted(EntryKey key, EntryKey clickedFolder) const {
    const ExfatEntry* e = entry(key);
    if (!e) return false;
    const ExfatEntry* f = entry(clickedFolder);
    return e->isDeleted() || (f && f->isDeleted());
}

std::string ExfatEntryAdapter::sizeText(EntryKey key) const {
    const ExfatEntry* e = entry(key);
    return e ? parser_.formatExfatEntrySize(*e) : std::string();
}

EntryTexts ExfatEntryAdapter::texts(EntryKey key) const {
    const ExfatEntry* e = entry(key);
    return e ? parser_.formatExfatEntryTimes(*e) : EntryTexts{};
}

uint64_t ExfatEntryAdapter::sizeInBytes(EntryKey key) const {
    const ExfatEntry* e = entry(key);
    return e && !e->isFolder() ? parser_.savedSize(*e) : 0;
}

FileData ExfatEntryAdapter::fileData(EntryKey key) const {
    const ExfatEntry* e = entry(key);
    if (!e) {
        FileData none;
        none.unsupported = "not a file";
        return none;
    }
    return parser_.exfatFileData(*e);
}

}  // namespace quarvell
