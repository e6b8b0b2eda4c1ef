#include "fs/ext/ExtEntryAdapter.h"

namespace quarvell {

namespace {
uint16_t typeOf(const ExtInodeEntry* e) { return e ? uint16_t(e->mode & kExtTypeMask) : 0; }
}  // namespace

bool ExtEntryAdapter::isFolder(EntryKey key) const { return typeOf(parser_.findEntry(key)) == kExtDirectory; }

// Folders, regular files and symbolic links get tree items; devices, pipes and sockets hold no
// data to recover and get none.
bool ExtEntryAdapter::isShown(EntryKey key) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    const uint16_t t = typeOf(e);
    return e && !e->name.empty() && !parser_.isRootDot(key) &&
           (t == kExtDirectory || t == kExtRegular || t == kExtSymlink);
}

bool ExtEntryAdapter::countsAsFile(EntryKey key) const {
    const uint16_t t = typeOf(parser_.findEntry(key));
    return t == kExtRegular || t == kExtSymlink;
}

// The chain from the first child along next-sibling links; its length is bounded by the number
// of entries, so a damaged chain cannot loop.
std::vector<EntryKey> ExtEntryAdapter::children(EntryKey folder) const {
    std::vector<EntryKey> out;
    const ExtInodeEntry* f = parser_.findEntry(folder);
    if (typeOf(f) != kExtDirectory) return out;
    const size_t limit = parser_.entryMap().size();
    for (int64_t k = f->firstChild; k > 0 && out.size() < limit;) {
        const ExtInodeEntry* c = parser_.findEntry(k);
        if (!c) break;
        out.push_back(k);
        k = c->nextSibling;
    }
    return out;
}

bool ExtEntryAdapter::hasChildren(EntryKey folder) const {
    const ExtInodeEntry* f = parser_.findEntry(folder);
    return typeOf(f) == kExtDirectory && f->firstChild > 0;
}

std::string ExtEntryAdapter::name(EntryKey key) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    return e ? e->name : std::string();
}

bool ExtEntryAdapter::isDeleted(EntryKey key, EntryKey) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    return e && e->recovered >= 0;
}

std::string ExtEntryAdapter::sizeText(EntryKey key) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    return e ? parser_.formatExtEntrySize(*e) : std::string();
}

EntryTexts ExtEntryAdapter::texts(EntryKey key) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    return e ? parser_.formatExtEntryTimes(*e) : EntryTexts{};
}

uint64_t ExtEntryAdapter::sizeInBytes(EntryKey key) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    return e ? e->size : 0;
}

FileData ExtEntryAdapter::fileData(EntryKey key) const {
    const ExtInodeEntry* e = parser_.findEntry(key);
    if (!countsAsFile(key)) {
        FileData none;
        none.unsupported = "not a file";
        return none;
    }
    return parser_.extFileData(*e);
}

}  // namespace quarvell
