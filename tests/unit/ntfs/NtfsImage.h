#pragma once
// NTFS test volumes: the committed fixtures (xz-compressed) unpacked into memory, parsed the way
// the scan page parses them, listed by path with folders opened lazily, and their files saved.
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "FaultyReader.h"
#include "SaveTo.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "fs/ntfs/NtfsEntryAdapter.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::testing {

inline std::string fixturePath(const std::string& name) {
    return std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/ntfs/" + name;
}
inline std::string realNtfsPath() { return QUARVELL_SOURCE_DIR "/../shared/fixtures/real/ntfs-windows-volume.raw.xz"; }

inline std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[65536];
    size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = p ? ::pclose(p) : -1;
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

inline std::vector<uint8_t> unxz(const std::string& path) {
    const std::string s = runCommand("xz -dc '" + path + "' 2>/dev/null");
    return std::vector<uint8_t>(s.begin(), s.end());
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool haveSleuthKit() {
    return std::system("command -v fls >/dev/null 2>&1 && command -v icat >/dev/null 2>&1") == 0;
}

struct NtfsImage {
    FaultyReader reader;
    MemoryTree tree;
    NullSink sink;
    WorkerControl control;
    VolumeEntry volume;
    ParseResult parsed;

    explicit NtfsImage(std::vector<uint8_t> bytes, ParseMode mode = ParseMode::Standard, AdvancedChoice choice = {},
                       std::set<uint64_t> badSectors = {}, uint64_t cacheWindow = 0)
        : reader(std::move(bytes)) {
        reader.badSectors = std::move(badSectors);
        reader.cacheWindow = cacheWindow;
        volume.fileSystem = "NTFS";
        volume.sectorCount = reader.data.size() / 512;
        parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control, mode, choice});
    }
    bool ok() const { return parsed.completed && parsed.adapter; }
    ntfs& parser() const { return static_cast<NtfsEntryAdapter&>(*parsed.adapter).parser(); }
    EntryAdapter& adapter() const { return *parsed.adapter; }

    struct Item {
        std::string path;
        EntryKey key;
        bool folder;
        bool red;
    };
    // Every item below "ROOT", in tree order, opened with deleted marks.
    std::vector<Item> items() {
        std::vector<Item> out;
        TreeItem root = tree.rootItem();
        if (root != kNoItem) walk(root, "", out, 0);
        return out;
    }
    std::optional<Item> find(const std::string& path) {
        for (const Item& i : items())
            if (i.path == path) return i;
        return std::nullopt;
    }

private:
    void walk(TreeItem folder, const std::string& prefix, std::vector<Item>& out, int depth) {
        if (depth > 64) return;
        expandFolder(tree, *parsed.adapter, folder, true);
        for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
            if (isPlaceholder(tree, c)) continue;
            const std::string path = prefix.empty() ? tree.itemText(c) : prefix + "/" + tree.itemText(c);
            const EntryKey key = tree.itemData(c);
            out.push_back({path, key, parsed.adapter->isFolder(key), tree.textColor(c) == kColorRed});
            walk(c, path, out, depth + 1);
        }
    }
};

}  // namespace quarvell::testing
