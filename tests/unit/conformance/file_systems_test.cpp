// Every file system of the table against the fixture images made for it by real tools
// (tests/fixtures/<kind id>/*.img.xz with their manifests): every entry listed at its path with
// its folder and deleted marks and its size, and every file with a known hash saved byte-exact
// through the run writer. A manifest names the volume label, the mode ("standard", "deep" or
// "advanced" with its choices) and the entries. Each image is a bare volume: the standard
// partition scan lists it as the one volume of the medium ("wholeVolume": false when its boot
// record is wiped), and that row is what is parsed. Every date text is the shared 12-hour form
// of the time the saved file gets, under two time zones.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>

#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "controls/MemoryTree.h"
#include "disk/FileReadSeek.h"
#include "fs/FileSystemKind.h"
#include "fs/RunWriter.h"
#include "partition/Partition.h"
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

// Sets TZ for its lifetime.
struct TimeZone {
    std::string saved;
    bool had;
    explicit TimeZone(const char* zone) : had(std::getenv("TZ") != nullptr) {
        if (had) saved = std::getenv("TZ");
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (had) ::setenv("TZ", saved.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
};

// The bare volume image's one row of the standard scan (the manifest's label by hand when its
// boot record is wiped).
void volumeOfImage(const FileSystemKind& kind, const nlohmann::json& manifest, FileReadSeek& reader,
                   uint64_t sectors, VolumeEntry& volume) {
    std::vector<VolumeEntry> rows;
    Partition scanner;
    scanner.resultsPage = &rows;
    scanner.scanPartitionTables(reader, int64_t(sectors));
    for (const VolumeEntry& row : rows) EXPECT_LT(uint64_t(row.startSector), sectors) << "a volume past the end";
    if (!manifest.value("wholeVolume", true)) {
        EXPECT_TRUE(rows.empty());
        volume.fileSystem = manifest.value("label", kind.labels.front());
        volume.sectorCount = sectors;
        ASSERT_EQ(findFileSystemKind(volume.fileSystem), &kind) << "the label dispatches elsewhere";
        return;
    }
    ASSERT_EQ(rows.size(), 1u) << "a bare volume is the medium's one volume";
    EXPECT_EQ(rows[0].startSector, 0);
    EXPECT_EQ(rows[0].sectorCount, sectors);
    EXPECT_FALSE(rows[0].clipped);
    ASSERT_EQ(findFileSystemKind(rows[0].fileSystem), &kind) << rows[0].fileSystem << " dispatches elsewhere";
    volume = rows[0];
}

// Every date text is the shared 12-hour form ("12:xx PM" at noon, "12:xx AM" at midnight, never
// "00:xx"); with sameAsSaved, a file's modification text is also the text of the time its saved
// copy gets (FAT keeps zone-less stamps, saved as they stand: that holds under UTC only).
void checkTimeTexts(const EntryAdapter& adapter, const std::map<std::string, Listed>& listed, bool sameAsSaved) {
    // FAT's access stamp is a date alone.
    static const std::regex shared(
        "^$|^(0[1-9]|1[0-2])/[0-3][0-9]/[0-9]{4}( |  (0[1-9]|1[0-2]):[0-5][0-9] [AP]M)?$");
    int checked = 0;
    for (const auto& [path, l] : listed) {
        const EntryTexts texts = adapter.texts(l.key);
        for (const std::string* t : {&texts.creation, &texts.access, &texts.modification})
            EXPECT_TRUE(std::regex_match(*t, shared)) << path << ": " << *t;
        if (adapter.isFolder(l.key) || !sameAsSaved) continue;
        const std::optional<int64_t> t = adapter.fileData(l.key).modificationTime;
        if (!t) continue;
        EXPECT_EQ(texts.modification, dateTextFromUnix(*t)) << path;
        ++checked;
    }
    if (sameAsSaved) EXPECT_GT(checked, 0) << "no file with a modification time";
}

enum class Times { Shape, SameAsSaved };

void checkFixture(const FileSystemKind& kind, const fs::path& manifestPath, std::optional<Times> timesOnly = {}) {
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
    volumeOfImage(kind, manifest, reader, fs::file_size(raw) / 512, volume);
    if (::testing::Test::HasFatalFailure()) return;
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
    checkTimeTexts(adapter, listed, timesOnly == Times::SameAsSaved);
    if (timesOnly) return;

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

TEST(FileSystemConformance, DateTextsUnderTwoTimeZones) {
    for (const char* zone : {"UTC0", "<+0545>-5:45"}) {
        TimeZone tz(zone);
        const Times check = std::string(zone) == "UTC0" ? Times::SameAsSaved : Times::Shape;
        for (const FileSystemKind& kind : fileSystemKinds()) {
            const std::vector<fs::path> manifests = manifestsOf(kind.id);
            if (manifests.empty()) continue;
            SCOPED_TRACE(std::string(zone) + " " + kind.id + ": " + manifests.front().filename().string());
            checkFixture(kind, manifests.front(), check);
        }
    }
}

TEST(FileSystemConformance, TableDispatchAndModes) {
    std::set<std::string> labels;
    for (const FileSystemKind& kind : fileSystemKinds()) {
        EXPECT_NE(kind.parse, nullptr) << kind.id;
        EXPECT_NE(kind.probe, nullptr) << kind.id << ": the partition scan cannot recognise it";
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
