#pragma once
// FAT fixture images unpacked for the tests, parsed in memory the way the scan page does, and a
// small writer of FAT16 volumes for the hostile-input tests.
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "../partition_cli/CliRun.h"
#include "FaultyReader.h"
#include "SaveTo.h"
#include "common/Bytes.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "fs/fat/FatEntryAdapter.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::testing {

inline std::string fatFixture(const std::string& id, const std::string& name) {
    return unpacked(std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/" + id + "/" + name + ".img.xz");
}
inline JsonValue fatManifest(const std::string& id, const std::string& name) {
    return readJsonFile(std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/" + id + "/" + name + ".manifest.json");
}
inline std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Records every status line, so tests can read what a parse reported.
struct RecordingSink : NullSink {
    std::vector<std::string> statuses, messages;
    void setStatus(const std::string& t) override { statuses.push_back(t); }
    MsgResult messageBox(const std::string& t, const std::string& c, MsgIcon i, MsgButtons b) override {
        messages.push_back(t);
        return NullSink::messageBox(t, c, i, b);
    }
};

struct ParsedFat {
    FaultyReader reader;
    MemoryTree tree;
    RecordingSink sink;
    WorkerControl control;
    VolumeEntry volume;
    ParseResult parsed;

    ParsedFat(std::vector<uint8_t> bytes, const std::string& label, ParseMode mode = ParseMode::Standard,
              AdvancedChoice choice = {})
        : reader(std::move(bytes)) {
        volume.fileSystem = label;
        volume.sectorCount = reader.data.size() / 512;
        parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control, mode, choice});
    }
    EntryAdapter& adapter() const { return *parsed.adapter; }
    FatParser& parser() const { return static_cast<FatEntryAdapter&>(*parsed.adapter).parser(); }

    // (path below "ROOT", key, deleted mark) of every item, folders opened lazily.
    struct Item {
        std::string path;
        EntryKey key;
        bool deleted;
    };
    std::vector<Item> items() {
        std::vector<Item> out;
        if (parsed.adapter && tree.rootItem() != kNoItem) walk(tree.rootItem(), "", kNoData, out);
        return out;
    }
    const Item* find(const std::string& path) {
        cache_ = items();
        for (const Item& i : cache_)
            if (i.path == path) return &i;
        return nullptr;
    }

private:
    void walk(TreeItem folder, const std::string& prefix, EntryKey folderKey, std::vector<Item>& out) {
        expandFolder(tree, *parsed.adapter, folder, false);
        for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
            if (isPlaceholder(tree, c)) continue;
            const std::string path = prefix.empty() ? tree.itemText(c) : prefix + "/" + tree.itemText(c);
            const EntryKey key = tree.itemData(c);
            out.push_back({path, key, parsed.adapter->isDeleted(key, folderKey)});
            walk(c, path, key, out);
        }
    }
    std::vector<Item> cache_;
};

// A FAT16 volume in memory: 512-byte sectors, one reserved sector, two FATs, 512 root entries.
struct Fat16Writer {
    static constexpr uint32_t kSectors = 8192;  // 4 MiB
    uint32_t sectorsPerCluster = 1;
    uint32_t sectorsPerFat = 32;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSectors * 512, 0);

    Fat16Writer() {
        uint8_t* b = bytes.data();
        b[0] = 0xEB, b[1] = 0x3C, b[2] = 0x90;
        std::memcpy(b + 3, "TESTFAT ", 8);
        put16(11, 512);
        b[13] = uint8_t(sectorsPerCluster);
        put16(14, 1);
        b[16] = 2;
        put16(17, 512);
        put16(19, uint16_t(kSectors));
        b[21] = 0xF8;
        put16(22, uint16_t(sectorsPerFat));
        b[510] = 0x55, b[511] = 0xAA;
        setFat(0, 0xFFF8);
        setFat(1, 0xFFFF);
    }
    uint64_t fatStart() const { return 512; }
    uint64_t rootStart() const { return 512 + 2ull * sectorsPerFat * 512; }
    uint64_t dataStart() const { return rootStart() + 512 * 32; }
    uint64_t clusterOffset(uint32_t c) const { return dataStart() + uint64_t(c - 2) * sectorsPerCluster * 512; }
    void put16(uint64_t off, uint16_t v) { bytes[off] = uint8_t(v), bytes[off + 1] = uint8_t(v >> 8); }
    void put32(uint64_t off, uint32_t v) { put16(off, uint16_t(v)), put16(off + 2, uint16_t(v >> 16)); }
    void setFat(uint32_t cluster, uint16_t v) {
        put16(fatStart() + cluster * 2, v);
        put16(fatStart() + sectorsPerFat * 512 + cluster * 2, v);
    }
    // A short entry at a volume offset.
    void entry(uint64_t at, const char* name11, uint8_t attr, uint32_t cluster, uint32_t size, uint8_t nt = 0) {
        std::memcpy(&bytes[at], name11, 11);
        bytes[at + 11] = attr;
        bytes[at + 12] = nt;
        put16(at + 16, 0x5921);  // 2024-09-01
        put16(at + 18, 0x5921);
        put16(at + 22, 0x6000);  // 12:00
        put16(at + 24, 0x5921);
        put16(at + 26, uint16_t(cluster));
        put32(at + 28, size);
    }
    // One long-name slot holding up to 13 ASCII characters.
    void longName(uint64_t at, uint8_t sequence, const std::string& part, uint8_t checksum) {
        static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        bytes[at] = sequence;
        bytes[at + 11] = 0x0F;
        bytes[at + 13] = checksum;
        for (int i = 0; i < 13; ++i) {
            const uint16_t u = i < int(part.size()) ? uint8_t(part[i]) : (i == int(part.size()) ? 0 : 0xFFFF);
            put16(at + kOffsets[i], u);
        }
    }
    void fill(uint32_t cluster, uint8_t value) {
        std::memset(&bytes[clusterOffset(cluster)], value, sectorsPerCluster * 512);
    }
};

}  // namespace quarvell::testing
