#pragma once
// An in-memory set of result entries behind the EntryAdapter interface, and a sink that records
// every report, for testing the scan logic without a parser.
#include <map>
#include <string>
#include <vector>

#include "common/UiSink.h"
#include "controls/ResultTree.h"
#include "fs/EntryAdapter.h"

namespace quarvell::testing {

struct FakeEntry {
    std::string name;
    bool folder = false;
    bool deleted = false;
    bool walked = true;
    std::string data;               // a file's bytes
    std::vector<EntryKey> children;
};

class FakeEntries : public EntryAdapter {
public:
    std::map<EntryKey, FakeEntry> entries;
    bool failSaves = false;

    EntryKey add(EntryKey parent, EntryKey key, const std::string& name, bool folder, const std::string& data = "") {
        entries[key] = FakeEntry{name, folder, false, true, data, {}};
        if (parent != kNoData) entries[parent].children.push_back(key);
        return key;
    }

    bool isEntry(EntryKey key) const override { return entries.count(key) != 0; }
    bool isFolder(EntryKey key) const override { return isEntry(key) && entries.at(key).folder; }
    bool isWalked(EntryKey key) const override { return isEntry(key) && entries.at(key).walked; }
    std::vector<EntryKey> children(EntryKey folder) const override {
        return isFolder(folder) ? entries.at(folder).children : std::vector<EntryKey>{};
    }
    std::string name(EntryKey key) const override { return isEntry(key) ? entries.at(key).name : ""; }
    bool isDeleted(EntryKey key, EntryKey) const override { return isEntry(key) && entries.at(key).deleted; }
    std::string sizeText(EntryKey key) const override { return std::to_string(sizeInBytes(key)) + " Bytes"; }
    EntryTexts texts(EntryKey key) const override { return {"c" + name(key), "a", "m", "attr"}; }
    uint64_t sizeInBytes(EntryKey key) const override { return isEntry(key) ? entries.at(key).data.size() : 0; }
    FileData fileData(EntryKey key) const override {
        FileData d;
        const std::string& bytes = entries.at(key).data;
        d.size = bytes.size();
        d.resident = std::vector<uint8_t>(bytes.begin(), bytes.end());
        if (failSaves) d.unsupported = "refused";
        return d;
    }
};

class RecordingSink : public UiSink {
public:
    std::vector<std::string> statuses, details, messages;
    int64_t rangeHigh = -1, position = -1;
    MsgResult answer = MsgResult::Yes;

    void setProgressRange(int64_t, int64_t high) override { rangeHigh = high; }
    void setProgressPos(int64_t pos) override { position = pos; }
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setDetail(const std::string& text) override { details.push_back(text); }
    MsgResult messageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons buttons) override {
        messages.push_back(text);
        return buttons == MsgButtons::YesNo ? answer : MsgResult::Ok;
    }
};

}  // namespace quarvell::testing
