#pragma once
// The result-entry questions answered from an exFAT parse: item data is the record's index.
#include "fs/EntryAdapter.h"
#include "fs/exfat/Fat64Class.h"

namespace quarvell {

class ExfatEntryAdapter : public EntryAdapter {
public:
    explicit ExfatEntryAdapter(Fat64Class& parser) : parser_(parser) {}

    bool isEntry(EntryKey key) const override { return entry(key) != nullptr; }
    bool isFolder(EntryKey key) const override;
    std::vector<EntryKey> children(EntryKey folder) const override;
    bool hasChildren(EntryKey folder) const override;
    std::string name(EntryKey key) const override;
    bool isDeleted(EntryKey key, EntryKey clickedFolder) const override;
    std::string sizeText(EntryKey key) const override;
    EntryTexts texts(EntryKey key) const override;
    uint64_t sizeInBytes(EntryKey key) const override;
    FileData fileData(EntryKey key) const override;
    bool clearsListOnExpand() const override { return true; }
    Fat64Class& parser() const { return parser_; }
    bool restoreName(EntryKey key, const std::string& formerName) override {
        return key > 0 && parser_.restoreName(key, formerName);
    }

private:
    // Index 0 is the "DUMMY ENTRY" root, which no item carries.
    const ExfatEntry* entry(EntryKey key) const { return key > 0 ? parser_.entry(key) : nullptr; }
    Fat64Class& parser_;
};

}  // namespace quarvell
