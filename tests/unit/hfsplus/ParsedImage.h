#pragma once
// Parses an HFS+ image held in memory (through the faulty reader) the way the scan page does,
// and lists every item of the result tree by path, opening folders lazily.
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FaultyReader.h"
#include "SaveTo.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsEntryAdapter.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::testing {

inline const char* realImagePath() { return QUARVELL_SOURCE_DIR "/../shared/fixtures/real/hfsplus.raw"; }

inline std::vector<uint8_t> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ParsedImage {
    FaultyReader reader;
    MemoryTree tree;
    NullSink sink;
    WorkerControl control;
    VolumeEntry volume;
    ParseResult parsed;

    explicit ParsedImage(std::vector<uint8_t> bytes, ParseMode mode = ParseMode::Standard,
                         std::set<uint64_t> badSectors = {})
        : reader(std::move(bytes)) {
        reader.badSectors = std::move(badSectors);
        volume.fileSystem = "HFS+";
        volume.sectorCount = reader.data.size() / 512;
        parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control, mode, {}});
    }
    HFSP& parser() const { return static_cast<HfsEntryAdapter&>(*parsed.adapter).parser(); }
    EntryAdapter& adapter() const { return *parsed.adapter; }

    // (path below "ROOT" joined with "/", entry key) of every item, in tree order.
    std::vector<std::pair<std::string, EntryKey>> items() {
        std::vector<std::pair<std::string, EntryKey>> out;
        TreeItem root = tree.rootItem();
        if (root != kNoItem) walk(root, "", out);
        return out;
    }
    std::vector<std::string> paths() {
        std::vector<std::string> out;
        for (auto& [p, k] : items()) out.push_back(p);
        return out;
    }
    EntryKey keyOf(const std::string& path) {
        for (auto& [p, k] : items())
            if (p == path) return k;
        return kNoData;
    }

private:
    void walk(TreeItem folder, const std::string& prefix, std::vector<std::pair<std::string, EntryKey>>& out) {
        expandFolder(tree, *parsed.adapter, folder, false);
        for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
            if (isPlaceholder(tree, c)) continue;
            std::string path = prefix.empty() ? tree.itemText(c) : prefix + "/" + tree.itemText(c);
            out.emplace_back(path, tree.itemData(c));
            walk(c, path, out);
        }
    }
};

}  // namespace quarvell::testing
