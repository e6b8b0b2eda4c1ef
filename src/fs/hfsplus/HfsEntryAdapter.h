#pragma once
// The result-entry questions answered from an HFS+ parse: item data is the catalog node ID.
#include "fs/hfsplus/HFSP.h"
#include "fs/EntryAdapter.h"

namespace quarvell {

class HfsEntryAdapter : public EntryAdapter {
public:
    explicit HfsEntryAdapter(HFSP& parser) : parser_(parser) {}

    bool isEntry(EntryKey key) const override { return entry(key) != nullptr; }
    bool isFolder(EntryKey key) const override;
    bool isShown(EntryKey key) const override;
    bool isWalked(EntryKey key) const override;
    bool countsAsFile(EntryKey key) const override;
    std::vector<EntryKey> children(EntryKey folder) const override;
    bool hasChildren(EntryKey folder) const override;
    std::string name(EntryKey key) const override;
    std::string sizeText(EntryKey key) const override;
    EntryTexts texts(EntryKey key) const override;
    uint64_t sizeInBytes(EntryKey key) const override;
    FileData fileData(EntryKey key) const override;
    bool clearsListOnExpand() const override { return true; }
    HFSP& parser() const { return parser_; }

private:
    const HfsCatalogEntry* entry(EntryKey key) const;
    HFSP& parser_;
};

}  // namespace quarvell
