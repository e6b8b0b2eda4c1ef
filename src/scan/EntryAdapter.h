#pragma once
// The questions every page and command asks of one parser's result entries. Each file-system
// parser supplies one adapter; the lazy tree, the file list, the save walk and the search are
// written once against it. An entry is named by the int64 key its tree items carry as data.
#include <cstdint>
#include <string>
#include <vector>

namespace quarvell {

using EntryKey = int64_t;

// The file list's descriptive columns of one entry.
struct EntryTexts {
    std::string creation;
    std::string access;
    std::string modification;
    std::string attributes;
};

// What saving one file did. `saved` is true only when the output file was created and every
// byte that could be produced was written.
struct SaveReport {
    bool saved = false;
    uint64_t bytesWritten = 0;      // the output file's length
    uint64_t unreadableBlocks = 0;  // blocks that could not be read and were written as zeros
    uint64_t missingBytes = 0;      // bytes of the recorded size that no known extent covers
    std::string problem;            // why the file was not saved, or what is wrong with it
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

    // Writes the file's data to targetPath, which does not exist yet.
    virtual SaveReport saveFile(EntryKey key, const std::string& targetPath) = 0;

    // Opening a folder with the expand button empties the file list (HFS+, FAT, exFAT).
    virtual bool clearsListOnExpand() const { return false; }
};

}  // namespace quarvell
