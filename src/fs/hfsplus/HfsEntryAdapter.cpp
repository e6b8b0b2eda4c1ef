#include "fs/hfsplus/HfsEntryAdapter.h"

namespace quarvell {

const HfsCatalogEntry* HfsEntryAdapter::entry(EntryKey key) const {
    return key > 0 ? parser_.findEntry(uint64_t(key)) : nullptr;
}

bool HfsEntryAdapter::isFolder(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e && e->kind == kHfsFolder;
}

bool HfsEntryAdapter::isShown(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e && (e->kind & 0x8000) == 0;
}

bool HfsEntryAdapter::isWalked(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e && e->parentId > 0;
}

bool HfsEntryAdapter::countsAsFile(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e && e->kind == kHfsFile && e->parentId > 0;
}

// The chain from the first child along next-sibling links; its length is bounded by the number
// of entries, so a damaged chain cannot loop.
std::vector<EntryKey> HfsEntryAdapter::children(EntryKey folder) const {
    std::vector<EntryKey> out;
    const HfsCatalogEntry* f = entry(folder);
    if (!f || f->kind != kHfsFolder) return out;
    const size_t limit = parser_.entries().size();
    for (int64_t id = f->firstChild; id > 0 && out.size() < limit;) {
        const HfsCatalogEntry* c = parser_.findEntry(uint64_t(id));
        if (!c) break;
        out.push_back(id);
        id = c->nextSibling;
    }
    return out;
}

bool HfsEntryAdapter::hasChildren(EntryKey folder) const {
    const HfsCatalogEntry* f = entry(folder);
    return f && f->kind == kHfsFolder && f->firstChild > 0;
}

std::string HfsEntryAdapter::name(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e ? e->name : std::string();
}

std::string HfsEntryAdapter::sizeText(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e ? parser_.formatHfsEntrySize(*e) : std::string();
}

EntryTexts HfsEntryAdapter::texts(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e ? parser_.formatHfsEntryTimes(*e) : EntryTexts{};
}

uint64_t HfsEntryAdapter::sizeInBytes(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    return e ? e->logicalSize : 0;
}

FileData HfsEntryAdapter::fileData(EntryKey key) const {
    const HfsCatalogEntry* e = entry(key);
    if (!e || e->kind != kHfsFile) {
        FileData none;
        none.unsupported = "not a file";
        return none;
    }
    return parser_.hfsFileData(*e);
}

}  // namespace quarvell
