#pragma once
// The ext fixtures: unpacking, parsing in memory the way the scan page does, listing every item
// of the result tree by path, and the manifests written with the images.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cctype>
#include <map>
#include <unistd.h>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FaultyReader.h"
#include "SaveTo.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "fs/ext/ExtEntryAdapter.h"
#include "fs/ext/ext2Class.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

namespace quarvell::testing {

inline std::string fixtureDir() { return QUARVELL_SOURCE_DIR "/tests/fixtures/ext"; }
inline const char* realExt2Path() { return QUARVELL_SOURCE_DIR "/../shared/fixtures/real/ext2.raw.xz"; }

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Unpacks an .xz file once per run; returns the unpacked path.
inline std::string unpackXz(const std::string& xz) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(QUARVELL_BINARY_DIR) / "ext-fixtures";
    fs::create_directories(dir);
    std::string name = fs::path(xz).filename().string();
    const fs::path target = dir / name.substr(0, name.size() - 3);
    static std::map<std::string, bool> done;
    if (!done[xz]) {
        // Tests run as parallel processes: each unpacks to its own name and renames it into
        // place, so none ever reads a half-written image.
        const std::string part = target.string() + "." + std::to_string(::getpid());
        const std::string cmd = "xz -dc '" + xz + "' > '" + part + "'";
        if (std::system(cmd.c_str()) != 0) return {};
        fs::rename(part, target);
        done[xz] = true;
    }
    return target.string();
}
inline std::string fixtureImage(const std::string& name) { return unpackXz(fixtureDir() + "/" + name + ".img.xz"); }

// Records the status lines of a parse.
class RecordingSink : public NullSink {
public:
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    std::vector<std::string> statuses;
};

struct ParsedExt {
    FaultyReader reader;
    MemoryTree tree;
    RecordingSink sink;
    WorkerControl control;
    VolumeEntry volume;
    ParseResult parsed;

    explicit ParsedExt(std::vector<uint8_t> bytes, std::set<uint64_t> badSectors = {}) : reader(std::move(bytes)) {
        reader.badSectors = std::move(badSectors);
        volume.fileSystem = "extX";
        volume.sectorCount = reader.data.size() / 512;
        parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control, ParseMode::Standard, {}});
    }
    ext2Class& parser() const { return static_cast<ExtEntryAdapter&>(*parsed.adapter).parser(); }
    EntryAdapter& adapter() const { return *parsed.adapter; }

    // (path below "ROOT" joined with "/", entry key) of every item, in tree order.
    std::vector<std::pair<std::string, EntryKey>> items() {
        std::vector<std::pair<std::string, EntryKey>> out;
        TreeItem root = tree.rootItem();
        if (root != kNoItem) walk(root, "", out, 0);
        return out;
    }
    std::map<std::string, EntryKey> byPath() {
        std::map<std::string, EntryKey> out;
        for (auto& [p, k] : items()) out.emplace(p, k);
        return out;
    }

private:
    void walk(TreeItem folder, const std::string& prefix, std::vector<std::pair<std::string, EntryKey>>& out, int depth) {
        if (depth > 200) return;
        expandFolder(tree, *parsed.adapter, folder, false);
        for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
            if (isPlaceholder(tree, c)) continue;
            std::string path = prefix.empty() ? tree.itemText(c) : prefix + "/" + tree.itemText(c);
            out.emplace_back(path, tree.itemData(c));
            walk(c, path, out, depth + 1);
        }
    }
};

struct ManifestEntry {
    std::string path;
    bool folder = false;
    uint64_t size = 0;
    std::string sha256;
};
struct Manifest {
    std::string label;
    std::vector<ManifestEntry> entries;
    std::vector<std::string> absent;
};

// Reads the manifests this project writes (objects, arrays, strings, numbers, booleans).
class ManifestReader {
public:
    explicit ManifestReader(std::string text) : s_(std::move(text)) {}
    Manifest read() {
        Manifest m;
        expect('{');
        while (true) {
            const std::string key = str();
            expect(':');
            if (key == "label") m.label = str();
            else if (key == "entries") {
                expect('[');
                while (peek() != ']') {
                    m.entries.push_back(entry());
                    if (peek() == ',') ++i_;
                }
                ++i_;
            } else if (key == "absent") {
                expect('[');
                while (peek() != ']') {
                    m.absent.push_back(str());
                    if (peek() == ',') ++i_;
                }
                ++i_;
            } else
                str();
            if (peek() == ',') { ++i_; continue; }
            break;
        }
        return m;
    }

private:
    ManifestEntry entry() {
        ManifestEntry e;
        expect('{');
        while (true) {
            const std::string key = str();
            expect(':');
            if (key == "path") e.path = str();
            else if (key == "sha256") e.sha256 = str();
            else if (key == "folder") e.folder = word() == "true";
            else if (key == "size") e.size = std::stoull(word());
            else word();
            if (peek() == ',') { ++i_; continue; }
            break;
        }
        expect('}');
        return e;
    }
    char peek() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
        return i_ < s_.size() ? s_[i_] : '\0';
    }
    void expect(char c) {
        if (peek() == c) ++i_;
    }
    std::string word() {
        peek();
        std::string out;
        while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-')) out += s_[i_++];
        return out;
    }
    std::string str() {
        if (peek() != '"') return word();
        ++i_;
        std::string out;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c == '\\' && i_ < s_.size()) {
                char e = s_[i_++];
                if (e == 'n') out += '\n';
                else if (e == 't') out += '\t';
                else if (e == 'u' && i_ + 4 <= s_.size()) {
                    appendUtf8(out, uint32_t(std::stoul(s_.substr(i_, 4), nullptr, 16)));
                    i_ += 4;
                } else out += e;
            } else
                out += c;
        }
        ++i_;
        return out;
    }
    static void appendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) out += char(cp);
        else if (cp < 0x800) { out += char(0xC0 | (cp >> 6)); out += char(0x80 | (cp & 0x3F)); }
        else { out += char(0xE0 | (cp >> 12)); out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F)); }
    }
    std::string s_;
    size_t i_ = 0;
};

inline Manifest loadManifest(const std::string& name) {
    std::ifstream in(fixtureDir() + "/" + name + ".manifest.json");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ManifestReader(text).read();
}

inline const std::vector<std::string>& fixtureNames() {
    static const std::vector<std::string> names = {"ext2-1k", "ext3-1k", "ext4-4k", "ext4-1k-extents", "ext4-htree"};
    return names;
}

}  // namespace quarvell::testing
