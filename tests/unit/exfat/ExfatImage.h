#pragma once
// exFAT volumes for the tests: the committed fixtures unpacked into memory, hand-built volumes
// for hostile cases, and a parse of either the way the scan page runs it, with its items by path.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "FaultyReader.h"
#include "SaveTo.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "fs/exfat/ExfatEntryAdapter.h"
#include "fs/exfat/Fat64Class.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::testing {

inline std::string fixturePath(const std::string& name) {
    return std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/exfat/" + name;
}

// The bytes of tests/fixtures/exfat/NAME.img.xz (empty when xz is missing).
inline std::vector<uint8_t> unpackFixture(const std::string& name) {
    std::vector<uint8_t> out;
    FILE* p = ::popen(("xz -dc '" + fixturePath(name + ".img.xz") + "' 2>/dev/null").c_str(), "r");
    if (!p) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
    ::pclose(p);
    return out;
}

inline nlohmann::json readManifest(const std::string& name) {
    std::ifstream in(fixturePath(name + ".manifest.json"));
    return nlohmann::json::parse(in);
}

// Records every status line and message.
class RecordingSink : public UiSink {
public:
    void setProgressRange(int64_t, int64_t) override {}
    void setProgressPos(int64_t) override {}
    void setStatus(const std::string& text) override { lines.push_back(text); }
    MsgResult messageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons) override {
        messages.push_back(text);
        return MsgResult::Ok;
    }
    bool saw(const std::string& text) const {
        for (const auto& l : lines)
            if (l == text) return true;
        return false;
    }
    std::vector<std::string> lines, messages;
};

struct ParsedExfat {
    FaultyReader reader;
    MemoryTree tree;
    RecordingSink sink;
    WorkerControl control;
    VolumeEntry volume;
    ParseResult parsed;

    explicit ParsedExfat(std::vector<uint8_t> bytes, ParseMode mode = ParseMode::Standard, AdvancedChoice choice = {})
        : reader(std::move(bytes)) {
        volume.fileSystem = "FAT64";
        volume.sectorCount = reader.data.size() / 512;
        parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control, mode, choice});
    }
    Fat64Class& parser() const { return static_cast<ExfatEntryAdapter&>(*parsed.adapter).parser(); }
    EntryAdapter& adapter() const { return *parsed.adapter; }

    struct Item {
        std::string path;
        EntryKey key;
        EntryKey parentKey;
    };
    // Every item below "ROOT", by path joined with "/", folders opened lazily.
    std::vector<Item> items() {
        std::vector<Item> out;
        TreeItem root = tree.rootItem();
        if (root != kNoItem) walk(root, "", out, 0);
        return out;
    }
    const Item* find(const std::string& path) {
        cache_ = items();
        for (const Item& i : cache_)
            if (i.path == path) return &i;
        return nullptr;
    }

private:
    void walk(TreeItem folder, const std::string& prefix, std::vector<Item>& out, int depth) {
        if (depth > 64) return;
        expandFolder(tree, *parsed.adapter, folder, false);
        const EntryKey folderKey = tree.itemData(folder);
        for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
            if (isPlaceholder(tree, c)) continue;
            std::string path = prefix.empty() ? tree.itemText(c) : prefix + "/" + tree.itemText(c);
            out.push_back({path, tree.itemData(c), folderKey});
            walk(c, path, out, depth + 1);
        }
    }
    std::vector<Item> cache_;
};

// A hand-built exFAT volume: 512-byte sectors, FAT at sector 24, heap at `heapSector`, root
// directory in cluster 2 (a chain of one cluster unless told otherwise).
class ExfatBuilder {
public:
    explicit ExfatBuilder(unsigned clusterShift = 0, size_t sectors = 2048, uint32_t heapSector = 64)
        : bytes(sectors * 512, 0), shift(clusterShift), heap(heapSector) {
        uint8_t* b = bytes.data();
        b[0] = 0xEB;
        b[1] = 0x76;
        b[2] = 0x90;
        std::memcpy(b + 3, "EXFAT   ", 8);
        put64(72, sectors);
        put32(80, 24);
        put32(84, 40);
        put32(88, heapSector);
        put32(92, uint32_t((sectors - heapSector) >> shift));
        put32(96, 2);
        b[108] = 9;
        b[109] = uint8_t(shift);
        b[110] = 1;
        b[510] = 0x55;
        b[511] = 0xAA;
        setFat(0, 0xFFFFFFF8);
        setFat(1, 0xFFFFFFFF);
        setFat(2, 0xFFFFFFFF);
    }
    size_t clusterBytes() const { return size_t(512) << shift; }
    uint8_t* cluster(uint32_t c) { return bytes.data() + size_t(heap) * 512 + size_t(c - 2) * clusterBytes(); }
    void setFat(uint32_t c, uint32_t v) { std::memcpy(bytes.data() + 24 * 512 + size_t(c) * 4, &v, 4); }
    void put32(size_t off, uint32_t v) { std::memcpy(bytes.data() + off, &v, 4); }
    void put64(size_t off, uint64_t v) { std::memcpy(bytes.data() + off, &v, 8); }

    struct Set {
        std::u16string name;
        uint16_t attributes = 0x20;
        uint32_t firstCluster = 0;
        uint64_t validLength = 0, dataLength = 0;
        uint8_t flags = 0x01;  // FAT chain
        bool deleted = false;
        int secondaryCount = -1;  // -1: as the name needs
        int nameLength = -1;      // -1: the name's
        uint32_t modified = 0;
    };
    // Writes an entry set into directory cluster `dir` at `slot`; returns the next free slot.
    size_t addSet(uint32_t dir, size_t slot, const Set& s) {
        uint8_t* p = cluster(dir) + slot * 32;
        const size_t pieces = (s.name.size() + 14) / 15;
        p[0] = s.deleted ? 0x05 : 0x85;
        p[1] = uint8_t(s.secondaryCount >= 0 ? s.secondaryCount : int(1 + pieces));
        std::memcpy(p + 4, &s.attributes, 2);
        std::memcpy(p + 12, &s.modified, 4);
        uint8_t* q = p + 32;
        q[0] = s.deleted ? 0x40 : 0xC0;
        q[1] = s.flags;
        q[3] = uint8_t(s.nameLength >= 0 ? s.nameLength : int(s.name.size()));
        std::memcpy(q + 8, &s.validLength, 8);
        std::memcpy(q + 20, &s.firstCluster, 4);
        std::memcpy(q + 24, &s.dataLength, 8);
        for (size_t k = 0; k < pieces; ++k) {
            uint8_t* n = p + 64 + 32 * k;
            n[0] = s.deleted ? 0x41 : 0xC1;
            for (size_t c = 0; c < 15 && k * 15 + c < s.name.size(); ++c) {
                const char16_t u = s.name[k * 15 + c];
                std::memcpy(n + 2 + 2 * c, &u, 2);
            }
        }
        return slot + 2 + pieces;
    }

    std::vector<uint8_t> bytes;
    unsigned shift;
    uint32_t heap;
};

}  // namespace quarvell::testing
