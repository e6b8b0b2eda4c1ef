#pragma once
// The questions every page and command asks of one parser's result entries. Each file-system
// parser supplies one adapter; the lazy tree, the file list, the save walk and the search are
// written once against it, and the run writer saves what `fileData` describes. An entry is
// named by the int64 key its tree items carry as data.
#include <cstdint>
#include <string>
#include <vector>

#include "fs/FileData.h"

namespace quarvell {

using EntryKey = int64_t;

// The file list's descriptive columns of one entry.
struct EntryTexts {
    std::string creation;
    std::string access;
    std::string modification;
    std::string attributes;
    std::string deletion = {};  // when the entry was deleted, where the file system tells; else empty
};

class EntryAdapter {
public:
    virtual ~EntryAdapter() = default;

    // The key names an entry of this parse.
    virtual bool isEntry(EntryKey key) const = 0;
    virtual bool isFolder(EntryKey key) const = 0;
    // Entries that are never given a tree item.
    virtual bool isShown(EntryKey key) const { return isEntry(key); }
    // Entries that the save walk and the search visit at all.
    virtual bool isWalked(EntryKey key) const { return isEntry(key); }
    // Files the save walk writes when it meets them (it still shows their status and size).
    virtual bool isSaved(EntryKey key) const { return isEntry(key); }
    // Entries that the counting operation counts as a file.
    virtual bool countsAsFile(EntryKey key) const { return isEntry(key) && !isFolder(key); }
    // A folder's children in chain order (empty for files and unknown keys).
    virtual std::vector<EntryKey> children(EntryKey folder) const = 0;
    virtual bool hasChildren(EntryKey folder) const { return !children(folder).empty(); }

    virtual std::string name(EntryKey key) const = 0;
    // The red deleted mark of an entry shown below the clicked folder.
    virtual bool isDeleted(EntryKey key, EntryKey clickedFolder) const {
        (void)key;
        (void)clickedFolder;
        return false;
    }
    virtual std::string sizeText(EntryKey key) const = 0;
    virtual EntryTexts texts(EntryKey key) const = 0;
    virtual uint64_t sizeInBytes(EntryKey key) const = 0;

    // Where the file's bytes are, for the run writer; `unsupported` says why a file has none.
    virtual FileData fileData(EntryKey key) const = 0;

    // Opening a folder with the expand button empties the file list (HFS+, FAT, exFAT).
    virtual bool clearsListOnExpand() const { return false; }

    // The recycle-bin restoration gives an entry its former name; false when the parser keeps
    // its names fixed (then the entry keeps its own).
    virtual bool restoreName(EntryKey key, const std::string& formerName) {
        (void)key;
        (void)formerName;
        return false;
    }
};

}  // namespace quarvell
