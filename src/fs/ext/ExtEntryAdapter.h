#pragma once
// The result-entry questions answered from an ext parse: item data is the entry's map key
// (inode number - 1; the top entry "ROOT" is key 2).
#include "fs/EntryAdapter.h"
#include "fs/ext/ext2Class.h"

namespace quarvell {

class ExtEntryAdapter : public EntryAdapter {
public:
    explicit ExtEntryAdapter(ext2Class& parser) : parser_(parser) {}

    bool isEntry(EntryKey key) const override { return parser_.findEntry(key) != nullptr; }
    bool isFolder(EntryKey key) const override;
    bool isShown(EntryKey key) const override;
    // The root directory's own "." under ROOT is neither shown, saved nor searched: it is the
    // volume itself and holds nothing of its own.
    bool countsAsFile(EntryKey key) const override;
    std::vector<EntryKey> children(EntryKey folder) const override;
    bool hasChildren(EntryKey folder) const override;
    std::string name(EntryKey key) const override;
    bool isDeleted(EntryKey key, EntryKey) const override;
    std::string sizeText(EntryKey key) const override;
    EntryTexts texts(EntryKey key) const override;
    uint64_t sizeInBytes(EntryKey key) const override;
    FileData fileData(EntryKey key) const override;
    ext2Class& parser() const { return parser_; }

private:
    ext2Class& parser_;
};

}  // namespace quarvell
