// Deep mode through the journal: files whose blocks were taken again are never complete, and
// damaged or missing journals end the scan in bounded time with what they say.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "ExtImage.h"
#include "common/Bytes.h"
#include "fs/RunWriter.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

struct DeepExt {
    FaultyReader reader;
    MemoryTree tree;
    RecordingSink sink;
    WorkerControl control;
    VolumeEntry volume;
    ParseResult parsed;
    explicit DeepExt(std::vector<uint8_t> bytes) : reader(std::move(bytes)) {
        volume.fileSystem = "extX";
        volume.sectorCount = reader.data.size() / 512;
        parsed = parseVolume(ParseRequest{volume, reader, tree, sink, control, ParseMode::Deep, {}});
    }
    bool said(const std::string& text) const {
        for (const std::string& s : sink.statuses)
            if (s.find(text) != std::string::npos) return true;
        return false;
    }
};

std::map<std::string, EntryKey> listing(DeepExt& d) {
    std::map<std::string, EntryKey> out;
    std::function<void(TreeItem, const std::string&)> walk = [&](TreeItem f, const std::string& prefix) {
        expandFolder(d.tree, *d.parsed.adapter, f, false);
        for (TreeItem c = d.tree.firstChild(f); c != kNoItem; c = d.tree.nextSibling(c)) {
            if (isPlaceholder(d.tree, c)) continue;
            const std::string p = prefix.empty() ? d.tree.itemText(c) : prefix + "/" + d.tree.itemText(c);
            out.emplace(p, d.tree.itemData(c));
            walk(c, p);
        }
    };
    walk(d.tree.rootItem(), "");
    return out;
}

}  // namespace

TEST(ExtJournal, ReusedBlocksMakeTheSaveIncompleteAndDeletedEntriesCarryTheirDeletionTime) {
    for (const char* name : {"journal-ext3", "journal-ext4"}) {
        SCOPED_TRACE(name);
        DeepExt d(readBytes(fixtureImage(name)));
        ASSERT_TRUE(d.parsed.completed);
        auto items = listing(d);
        const nlohmann::json m =
            nlohmann::json::parse(std::ifstream(fixtureDir() + "/" + std::string(name) + ".manifest.json"));
        for (const auto& p : m["overwritten"]) {
            ASSERT_TRUE(items.count(p.get<std::string>())) << p;
            const EntryKey key = items[p.get<std::string>()];
            EXPECT_TRUE(d.parsed.adapter->isDeleted(key, kNoData));
            const std::string out = ::testing::TempDir();
            WorkerControl go;
            const SaveReport r = RunWriter(go).save(d.parsed.adapter->fileData(key), out, "reused-check");
            EXPECT_EQ(r.status, SaveStatus::Incomplete);
            EXPECT_TRUE(r.overwritten);
            std::remove(r.outputPath.c_str());
        }
        for (const auto& e : m["entries"]) {
            if (!e["deleted"].get<bool>()) continue;
            ASSERT_TRUE(items.count(e["path"].get<std::string>())) << e["path"];
            const EntryKey key = items.at(e["path"].get<std::string>());
            EXPECT_FALSE(d.parsed.adapter->texts(key).deletion.empty()) << e["path"];
        }
        EXPECT_TRUE(d.parsed.adapter->texts(items.at("docs")).deletion.empty());
        // Without a name: "<inode>.<ext>" under ORPHAN_ENTRY ("png" with the default catalogue).
        for (const auto& o : m["orphans"]) {
            const std::string path = o["path"];
            const std::string stem = path.substr(0, path.rfind('.') + 1);
            EXPECT_TRUE(items.count(path) || items.count(stem + "bin")) << path;
        }
    }
}

// The journal found by the parser's own reading of the fixture: its blocks on the volume.
std::vector<uint64_t> journalBlocks(const std::vector<uint8_t>& image, uint32_t& blockSize) {
    ParsedExt p(image);
    const ext2Class& fs = p.parser();
    blockSize = fs.geometry().blockSize;
    const std::vector<uint8_t> ino = fs.readInode(fs.geometry().journalInode - 1);
    std::vector<uint64_t> out;
    const uint64_t size = le32(ino.data() + 4);
    for (const ExtBlockRun& r : fs.collectExtBlocks(ino.data(), size / blockSize).runs)
        for (uint64_t i = 0; i < r.count; ++i) out.push_back(r.physical + i);
    return out;
}

void putBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

TEST(ExtJournal, HostileJournalsEndInBoundedTimeAndAnExternalOneIsNamed) {
    const std::vector<uint8_t> clean = readBytes(fixtureImage("journal-ext3"));
    uint32_t bs = 0;
    const std::vector<uint64_t> blocks = journalBlocks(clean, bs);
    ASSERT_GT(blocks.size(), 16u);

    // Every log block a descriptor whose tags never end, naming blocks inside and past the volume.
    std::vector<uint8_t> img = clean;
    for (size_t j = 1; j < blocks.size(); ++j) {
        uint8_t* b = img.data() + blocks[j] * bs;
        putBe32(b, 0xC03B3998), putBe32(b + 4, 1), putBe32(b + 8, uint32_t(j));
        for (size_t at = 12; at + 8 <= bs; at += 8) putBe32(b + at, uint32_t(at * 977)), putBe32(b + at + 4, 0x2);
    }
    DeepExt looping(img);
    EXPECT_TRUE(looping.parsed.completed);
    EXPECT_TRUE(looping.said("deleted files and folders found through the journal"));

    // A superblock claiming a log far longer than the journal, starting past its end.
    img = clean;
    putBe32(img.data() + blocks[0] * bs + 16, 0xFFFFFFF0u);
    putBe32(img.data() + blocks[0] * bs + 20, 0xFFFFFFF0u);
    DeepExt absurd(img);
    EXPECT_TRUE(absurd.parsed.completed);
    EXPECT_TRUE(absurd.said("the journal's superblock is damaged"));

    // The journal on another device.
    img = clean;
    std::fill(img.begin() + 1024 + 224, img.begin() + 1024 + 228, 0);
    DeepExt external(img);
    EXPECT_TRUE(external.parsed.completed);
    EXPECT_TRUE(external.said("journal on another device: not read"));
}
