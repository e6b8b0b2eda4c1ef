#include "fs/ntfs/NtfsEntryAdapter.h"

namespace quarvell {

bool NtfsEntryAdapter::isEntry(EntryKey key) const {
    const MftEntry* e = parser_->entry(key);
    return e && e->named;
}

bool NtfsEntryAdapter::isFolder(EntryKey key) const {
    const MftEntry* e = parser_->entry(key);
    return e && e->named && e->kind == 'D';
}

// The root's own "." is never walked: the volume is not saved or searched twice.
bool NtfsEntryAdapter::isWalked(EntryKey key) const { return isEntry(key) && key != parser_->rootIndex(); }

bool NtfsEntryAdapter::isSaved(EntryKey key) const { return isEntry(key) && name(key) != "$BadClus"; }

// The chain from the first child; bounded by the entry count, so a damaged chain cannot loop.
std::vector<EntryKey> NtfsEntryAdapter::children(EntryKey folder) const {
    std::vector<EntryKey> out;
    if (!isFolder(folder)) return out;
    const size_t limit = parser_->entries().size();
    for (int64_t c = parser_->entry(folder)->firstChild; c != kNoLink && out.size() < limit;) {
        const MftEntry* e = parser_->entry(c);
        if (!e) break;
        if (e->named && c != folder) out.push_back(c);
        c = e->nextSibling;
    }
    return out;
}

bool NtfsEntryAdapter::hasChildren(EntryKey folder) const {
    return isFolder(folder) && parser_->entry(folder)->firstChild != kNoLink;
}

std::string NtfsEntryAdapter::name(EntryKey key) const {
    const MftEntry* e = parser_->entry(key);
    return e ? e->name : std::string();
}

bool NtfsEntryAdapter::isDeleted(EntryKey key, EntryKey) const {
    const MftEntry* e = parser_->entry(key);
    return e && e->named && key != parser_->orphanIndex() && !(e->recordFlags & kRecordInUse);
}

std::string NtfsEntryAdapter::sizeText(EntryKey key) const { return parser_->formatNtfsEntrySize(key); }

EntryTexts NtfsEntryAdapter::texts(EntryKey key) const { return parser_->formatNtfsEntryTimes(key); }

uint64_t NtfsEntryAdapter::sizeInBytes(EntryKey key) const {
    const MftEntry* e = parser_->entry(key);
    return e && e->kind != 'D' ? e->dataSize : 0;
}

FileData NtfsEntryAdapter::fileData(EntryKey key) const { return parser_->ntfsFileData(key); }

bool NtfsEntryAdapter::restoreName(EntryKey key, const std::string& formerName) {
    return isEntry(key) && parser_->restoreName(key, formerName);
}

}  // namespace quarvell
