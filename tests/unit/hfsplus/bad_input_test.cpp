// Damaged and hostile volumes: no crash, no hang, nothing written outside the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "ParsedImage.h"
#include "../scan/TempFolder.h"
#include "common/WorkerControl.h"
#include "scan/SaveWalk.h"

using namespace quarvell;
using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

void putBE(std::vector<uint8_t>& b, size_t at, uint64_t v, int width) {
    for (int i = width - 1; i >= 0; --i, v >>= 8) b[at + size_t(i)] = uint8_t(v);
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(realImagePath())) GTEST_SKIP() << "no real HFS+ image at " << realImagePath();
        bytes = readWholeFile(realImagePath());
        ParsedImage good(bytes);
        catalogStart = good.parser().catalogTree().startOffset;
        nodeSize = good.parser().catalogTree().nodeSize;
        for (const HfsNodeRecord& n : good.parser().catalogNodes())
            if (n.kind == -1) leaves.push_back(n);
        goodPaths = good.paths();
    }
    std::vector<uint8_t> bytes;
    uint64_t catalogStart = 0;
    uint32_t nodeSize = 0;
    std::vector<HfsNodeRecord> leaves;
    std::vector<std::string> goodPaths;
};

TEST_F(BadInput, VolumeOfZerosIsAbortedQuietly) {
    ParsedImage img(std::vector<uint8_t>(1 << 20, 0));
    EXPECT_FALSE(img.parsed.completed);
    ParsedImage deep(std::vector<uint8_t>(1 << 20, 0), ParseMode::Deep);
    EXPECT_FALSE(deep.parsed.completed);
    ParsedImage tiny(std::vector<uint8_t>(100, 0xFF));
    EXPECT_FALSE(tiny.parsed.completed);
}

TEST_F(BadInput, NodeSizeZeroOrBeyondTheVolumeAbortsTheCatalog) {
    for (uint64_t size : {uint64_t(0), uint64_t(0x8000) * 2 - 1, uint64_t(3000)}) {
        std::vector<uint8_t> b = bytes;
        putBE(b, size_t(catalogStart + 14 + 18), size, 2);
        ParsedImage img(b);
        EXPECT_FALSE(img.parsed.completed) << size;
    }
}

TEST_F(BadInput, TotalNodesBeyondTheFileAreClipped) {
    std::vector<uint8_t> b = bytes;
    putBE(b, size_t(catalogStart + 14 + 22), 0xFFFFFFFF, 4);
    ParsedImage img(b);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_EQ(img.parser().catalogTree().totalNodes, (bytes.size() - catalogStart) / nodeSize);
    EXPECT_EQ(img.paths(), goodPaths);
}

TEST_F(BadInput, RecordOffsetsOutsideTheNodeAreSkipped) {
    ASSERT_FALSE(leaves.empty());
    std::vector<uint8_t> b = bytes;
    const HfsNodeRecord& leaf = leaves[0];
    for (size_t i = 0; i < leaf.recordOffsets.size(); i += 2)
        putBE(b, size_t(leaf.byteOffset + nodeSize - 2 * (i + 1)), nodeSize - 4 + i % 3, 2);
    ParsedImage img(b);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_LT(img.parser().entries().size(), ParsedImage(bytes).parser().entries().size());
}

TEST_F(BadInput, CyclicLeafLinksAndOverlongNamesEndQuietly) {
    std::vector<uint8_t> b = bytes;
    for (const HfsNodeRecord& leaf : leaves) {
        putBE(b, size_t(leaf.byteOffset), (leaf.byteOffset - catalogStart) / nodeSize, 4);  // links to itself
        for (uint16_t o : leaf.recordOffsets)
            if (o + 8u <= nodeSize) putBE(b, size_t(leaf.byteOffset + o + 6), 300, 2);
    }
    ParsedImage img(b);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_TRUE(img.paths().empty());
}

TEST_F(BadInput, ExtentsPastTheVolumeEndAreZeroFilledWithoutReadingOrHanging) {
    ParsedImage good(bytes);
    const HfsCatalogEntry* e = good.parser().findEntry(uint64_t(good.keyOf("passwords.txt")));
    std::vector<uint8_t> b = bytes;
    const size_t rec = size_t(e->nodeOffset + e->recordOffset);
    const size_t data = rec + 2 + ((size_t(b[rec]) << 8) | b[rec + 1]);
    putBE(b, data + 88, uint64_t(1) << 40, 8);      // logical size 1 TiB
    putBE(b, data + 100, 0xFFFFFFFF, 4);            // total blocks
    putBE(b, data + 104, 0xFFFFFF00, 4);            // extent 0 starts far past the end
    putBE(b, data + 108, 0xFFFFFFFF, 4);
    ParsedImage img(b);
    TempFolder out;
    const std::string target = (out.path() / "p").string();
    SaveReport r = saveTo(img.adapter(), img.keyOf("passwords.txt"), target, false);  // no hash of 1 TiB
    EXPECT_TRUE(r.saved());
    EXPECT_GT(r.missingBytes, 0u);
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, uint64_t(1) << 20);  // a hole, not a terabyte of zeros
}

// A folder parented to itself, or two parented to each other, never reach the root: they are
// kept under ORPHAN_ENTRY with their files instead of vanishing.
TEST_F(BadInput, FoldersInParentLoopsAreKeptUnderTheOrphanEntry) {
    ParsedImage good(bytes);
    const auto idOf = [&](const std::string& path) { return uint64_t(good.keyOf(path)); };
    const auto reparent = [&](std::vector<uint8_t>& b, const std::string& path, uint64_t parent) {
        const HfsCatalogEntry* e = good.parser().findEntry(idOf(path));
        ASSERT_NE(e, nullptr) << path;
        putBE(b, size_t(e->nodeOffset + e->recordOffset) + 2, parent, 4);
    };
    std::vector<uint8_t> self = bytes;
    reparent(self, "a_directory", idOf("a_directory"));
    ParsedImage one(self);
    const std::vector<std::string> p1 = one.paths();
    EXPECT_NE(std::find(p1.begin(), p1.end(), "ORPHAN_ENTRY/a_directory/a_file"), p1.end());
    EXPECT_EQ(std::find(p1.begin(), p1.end(), "a_directory"), p1.end());

    std::vector<uint8_t> pair = bytes;
    reparent(pair, "a_directory", idOf(".fseventsd"));
    reparent(pair, ".fseventsd", idOf("a_directory"));
    ParsedImage two(pair);
    size_t kept = 0;
    for (const std::string& p : two.paths())
        kept += p.find("ORPHAN_ENTRY/") == 0 && (p.find("/a_file") != std::string::npos ||
                                                  p.find("/fseventsd-uuid") != std::string::npos);
    EXPECT_EQ(kept, 2u);
}

// Random damage to the header, the catalog and the extents tree; every saved file must stay
// inside the output folder.
TEST_F(BadInput, RandomDamageNeverEscapesTheOutputFolder) {
    std::mt19937 rng(1234);
    TempFolder parent;
    const fs::path out = parent.path() / "out";
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 40; ++k) {
            size_t at;
            switch (rng() % 3) {
                case 0: at = 1024 + rng() % 512; break;
                case 1: at = size_t(catalogStart + rng() % (8 * nodeSize)); break;
                default: at = size_t(rng() % b.size()); break;
            }
            b[at] = uint8_t(rng());
        }
        for (ParseMode mode : {ParseMode::Standard, ParseMode::Deep}) {
            ParsedImage img(b, mode);
            img.paths();
            fs::create_directories(out);
            TreeItem top = img.tree.rootItem();
            if (top == kNoItem) continue;
            NullSink sink;
            WorkerControl control;
            SaveWalk saver(img.tree, img.adapter(), sink, control);
            for (TreeItem c = img.tree.firstChild(top); c != kNoItem; c = img.tree.nextSibling(c))
                if (img.adapter().isFolder(img.tree.itemData(c))) saver.saveSelection(c, out.string());
            ASSERT_EQ(std::distance(fs::directory_iterator(parent.path()), fs::directory_iterator()), 1);
            fs::remove_all(out);
        }
    }
}

}  // namespace
