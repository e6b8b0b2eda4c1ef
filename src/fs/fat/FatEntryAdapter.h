#pragma once
// The result-entry questions answered from a FAT12/16/32 parse: item data is the entry's index.
#include <memory>

#include "fs/EntryAdapter.h"
#include "fs/fat/FatParser.h"

namespace quarvell {

class FatEntryAdapter final : public EntryAdapter {
public:
    explicit FatEntryAdapter(std::unique_ptr<FatParser> parser) : parser_(std::move(parser)) {}

    bool isEntry(EntryKey key) const override { return entry(key) != nullptr; }
    bool isFolder(EntryKey key) const override;
    std::vector<EntryKey> children(EntryKey folder) const override;
    bool hasChildren(EntryKey folder) const override;
    std::string name(EntryKey key) const override;
    // Folders by their own mark; files by theirs or the clicked folder's.
    bool isDeleted(EntryKey key, EntryKey clickedFolder) const override;
    std::string sizeText(EntryKey key) const override;
    EntryTexts texts(EntryKey key) const override;
    uint64_t sizeInBytes(EntryKey key) const override;
    FileData fileData(EntryKey key) const override;
    bool clearsListOnExpand() const override { return true; }

    FatParser& parser() const { return *parser_; }
    bool restoreName(EntryKey key, const std::string& formerName) override {
        return parser_->restoreName(key, formerName);
    }

private:
    const FatEntry* entry(EntryKey key) const;
    std::unique_ptr<FatParser> parser_;
};

}  // namespace quarvell
