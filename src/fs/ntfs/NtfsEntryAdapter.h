#pragma once
// The result-entry questions answered from an NTFS parse: item data is the entry's index.
#include <memory>

#include "fs/EntryAdapter.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

class NtfsEntryAdapter final : public EntryAdapter {
public:
    explicit NtfsEntryAdapter(std::unique_ptr<ntfs> parser) : parser_(std::move(parser)) {}

    bool isEntry(EntryKey key) const override;
    bool isFolder(EntryKey key) const override;
    bool isWalked(EntryKey key) const override;
    // "$BadClus" is left out of folder saves: its data stream maps the volume's bad clusters.
    bool isSaved(EntryKey key) const override;
    std::vector<EntryKey> children(EntryKey folder) const override;
    bool hasChildren(EntryKey folder) const override;
    std::string name(EntryKey key) const override;
    bool isDeleted(EntryKey key, EntryKey clickedFolder) const override;
    std::string sizeText(EntryKey key) const override;
    EntryTexts texts(EntryKey key) const override;
    uint64_t sizeInBytes(EntryKey key) const override;
    FileData fileData(EntryKey key) const override;
    bool restoreName(EntryKey key, const std::string& formerName) override;
    ntfs& parser() const { return *parser_; }

private:
    std::unique_ptr<ntfs> parser_;
};

}  // namespace quarvell
