// Every file system of the table against the fixture images made for it by real tools
// (tests/fixtures/<kind id>/*.img.xz with their manifests): every entry listed at its path with
// its folder and deleted marks and its size, and every file with a known hash saved byte-exact
// through the run writer. A manifest names the volume label, the mode ("standard", "deep" or
// "advanced" with its choices) and the entries.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "controls/MemoryTree.h"
#include "disk/FileReadSeek.h"
#include "fs/FileSystemKind.h"
#include "fs/RunWriter.h"
#include "scan/LazyTree.h"
#include "scan/VolumeParse.h"

using namespace quarvell;
namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(QUARVELL_SOURCE_DIR) / "tests" / "fixtures";

struct Listed {
    EntryKey key;
    EntryKey parent;
};

void walk(ResultTree& tree, const EntryAdapter& adapter, TreeItem folder, const std::string& prefix,
          std::map<std::string, Listed>& out, int depth) {
    if (depth > 64) return;
    expandFolder(tree, adapter, folder, false);
    for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
        if (isPlaceholder(tree, c)) continue;
        const std::string path = prefix.empty() ? tree.itemText(c) : prefix + "/" + tree.itemText(c);
        out.emplace(path, Listed{tree.itemData(c), tree.itemData(folder)});
        walk(tree, adapter, c, path, out, depth + 1);
    }
}

std::vector<fs::path> manifestsOf(const std::string& id) {
    std::vector<fs::path> out;
    const fs::path dir = kFixtures / id;
    if (!fs::is_directory(dir)) return out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().string().size() > 14 && e.path().string().ends_with(".manifest.json")) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

ParseMode modeNamed(const std::string& name) {
    if (name == "deep") return ParseMode::Deep;
    if (name == "advanced") return ParseMode::Advanced;
    return ParseMode::Standard;
}

// The advanced road's choices a manifest names: "candidate" and "heap" (default 0),
// "sectorsPerCluster" (default: the parser's own) and "formatted".
AdvancedChoice choiceOf(const nlohmann::json& manifest) {
    AdvancedChoice c;
    if (manifest.value("mode", "standard") != "advanced") return c;
    c.candidate = manifest.value("candidate", 0);
    c.heap = manifest.value("heap", c.candidate);
    c.sectorsPerCluster = manifest.value("sectorsPerCluster", 0);
    c.driveFormatted = manifest.value("formatted", false);
    return c;
}

struct Scratch {
    fs::path path;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "quarvell-conformance-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Scratch() { fs::remove_all(path); }
};

void checkFixture(const FileSystemKind& kind, const fs::path& manifestPath) {
    const nlohmann::json manifest = nlohmann::json::parse(std::ifstream(manifestPath));
    std::string stem = manifestPath.filename().string();
    stem.resize(stem.size() - std::string(".manifest.json").size());
    const fs::path image = manifestPath.parent_path() / (stem + ".img.xz");
    ASSERT_TRUE(fs::exists(image)) << image;
    Scratch scratch;
    const fs::path raw = scratch.path / (stem + ".img");
    ASSERT_EQ(std::system(("xz -dc '" + image.string() + "' > '" + raw.string() + "'").c_str()), 0);

    FileReadSeek reader;
    ASSERT_TRUE(reader.open(raw.string()));
    VolumeEntry volume;
    volume.fileSystem = manifest.value("label", kind.labels.front());
    volume.sectorCount = fs::file_size(raw) / 512;
    ASSERT_EQ(findFileSystemKind(volume.fileSystem), &kind) << "the label dispatches elsewhere";
    MemoryTree tree;
    NullSink sink;
    WorkerControl control;
    ParseResult parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control,
                                                  modeNamed(manifest.value("mode", "standard")), choiceOf(manifest)});
    ASSERT_TRUE(parsed.completed) << parsed.failure;
    ASSERT_TRUE(parsed.adapter);
    const EntryAdapter& adapter = *parsed.adapter;
    std::map<std::string, Listed> listed;
    for (TreeItem top = tree.rootItem(); top != kNoItem; top = tree.nextSibling(top)) walk(tree, adapter, top, "", listed, 0);

    // Paths a manifest names as "absent" (deleted entries a file system does not list) must not
    // appear as live entries.
    for (const auto& gone : manifest.value("absent", nlohmann::json::array()))
        EXPECT_EQ(listed.count(gone.get<std::string>()), 0u) << gone << " is listed";

    const fs::path out = scratch.path / "out";
    fs::create_directories(out);
    int saved = 0;
    for (const auto& m : manifest["entries"]) {
        const std::string path = m["path"];
        auto it = listed.find(path);
        ASSERT_NE(it, listed.end()) << path << " is not listed";
        const EntryKey key = it->second.key;
        EXPECT_EQ(adapter.isFolder(key), m["folder"].get<bool>()) << path;
        // Where the file system has no deleted mark, a deleted entry is listed like a live one.
        EXPECT_EQ(adapter.isDeleted(key, it->second.parent), kind.marksDeleted && m["deleted"].get<bool>()) << path;
        if (m["folder"].get<bool>()) continue;
        EXPECT_EQ(adapter.sizeInBytes(key), m["size"].get<uint64_t>()) << path;
        const std::string sha = m["sha256"];
        if (sha.empty()) continue;
        WorkerControl go;
        const SaveReport r = RunWriter(go, true).save(adapter.fileData(key), out.string(), "f" + std::to_string(saved++));
        EXPECT_EQ(r.status, SaveStatus::Complete) << path << ": " << r.problem;
        EXPECT_EQ(r.bytesWritten, m["size"].get<uint64_t>()) << path;
        EXPECT_EQ(r.sha256, sha) << path;
    }
}

TEST(FileSystemConformance, EveryKindReadsItsFixturesAsTheirManifestsSay) {
    for (const FileSystemKind& kind : fileSystemKinds()) {
        const std::vector<fs::path> manifests = manifestsOf(kind.id);
        EXPECT_FALSE(manifests.empty()) << kind.id << " has no fixture in " << (kFixtures / kind.id);
        for (const fs::path& m : manifests) {
            SCOPED_TRACE(kind.id + ": " + m.filename().string());
            checkFixture(kind, m);
        }
    }
}

TEST(FileSystemConformance, TableDispatchAndModes) {
    std::set<std::string> labels;
    for (const FileSystemKind& kind : fileSystemKinds()) {
        EXPECT_NE(kind.parse, nullptr) << kind.id;
        EXPECT_TRUE(kind.modes.standard) << kind.id;
        EXPECT_EQ(kind.modes.advanced, kind.findCandidates != nullptr) << kind.id << ": advanced needs a search";
        for (const std::string& l : kind.labels) {
            std::string lower;
            for (char c : l) lower += char(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_TRUE(labels.insert(lower).second) << "two kinds answer to " << l;
            EXPECT_EQ(findFileSystemKind(lower), &kind);
        }
    }
    EXPECT_EQ(findFileSystemKind("zfs"), nullptr);
    MemoryTree tree;
    quarvell::NullSink sink;
    WorkerControl control;
    FileReadSeek reader;
    VolumeEntry unknown;
    unknown.fileSystem = "zfs";
    const ParseResult r = parseVolume(ParseRequest{unknown, reader, tree, sink, control, ParseMode::Standard, {}});
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.failure, "not a valid drive.");
}

}  // namespace
