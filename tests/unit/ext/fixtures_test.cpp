// The fixture images against their manifests: every live entry listed with its kind, every file
// saved complete and byte-exact (sparse holes as zeros in place, links as their target), deleted
// files never listed, and the layout rules (no "." under ROOT, descending inode order, the last group).
#include <gtest/gtest.h>

#include <algorithm>

#include "ExtImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

class Fixture : public ::testing::TestWithParam<std::string> {};

TEST_P(Fixture, ListsAndSavesEveryManifestEntry) {
    const std::string image = fixtureImage(GetParam());
    ASSERT_FALSE(image.empty()) << "xz is needed to unpack the fixtures";
    const Manifest manifest = loadManifest(GetParam());
    ASSERT_FALSE(manifest.entries.empty());
    ParsedExt img(readBytes(image));
    ASSERT_TRUE(img.parsed.completed) << img.parsed.failure;
    EXPECT_EQ(img.parsed.unreadableMetadata, 0u);
    const auto listed = img.byPath();
    TempFolder out;
    int files = 0;
    for (const ManifestEntry& e : manifest.entries) {
        auto it = listed.find(e.path);
        ASSERT_NE(it, listed.end()) << "not listed: " << e.path;
        EXPECT_EQ(img.adapter().isFolder(it->second), e.folder) << e.path;
        if (e.folder) continue;
        EXPECT_EQ(img.adapter().sizeInBytes(it->second), e.size) << e.path;
        const SaveReport r = saveTo(img.adapter(), it->second, out.str() + "/f" + std::to_string(files++));
        EXPECT_EQ(r.status, SaveStatus::Complete) << e.path << ": " << r.problem;
        EXPECT_EQ(r.bytesWritten, e.size) << e.path;
        EXPECT_EQ(r.sha256, e.sha256) << e.path;
    }
    for (const std::string& gone : manifest.absent) EXPECT_EQ(listed.count(gone), 0u) << "deleted but listed: " << gone;
    // Nothing is listed that the volume does not hold (the root's own "." neither).
    std::set<std::string> expected;
    for (const ManifestEntry& e : manifest.entries) expected.insert(e.path);
    for (const auto& [path, key] : listed) EXPECT_EQ(expected.count(path), 1u) << "unexpected: " << path;
}

INSTANTIATE_TEST_SUITE_P(Images, Fixture, ::testing::ValuesIn(fixtureNames()),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST(ExtLayout, NoRootDotAndDescendingInodeOrder) {
    ParsedExt img(readBytes(fixtureImage("ext4-4k")));
    ASSERT_TRUE(img.parsed.completed);
    const auto items = img.items();
    const auto listed = img.byPath();
    EXPECT_EQ(listed.count("."), 0u);
    EXPECT_FALSE(img.adapter().isShown(1));  // the root directory's own entry, inode 2
    // The top level in descending inode order.
    std::vector<EntryKey> top;
    for (const auto& [path, key] : items)
        if (path.find('/') == std::string::npos) top.push_back(key);
    EXPECT_TRUE(std::is_sorted(top.rbegin(), top.rend()));
    EXPECT_EQ(img.tree.itemText(img.tree.rootItem()), "ROOT");
    EXPECT_EQ(img.tree.itemData(img.tree.rootItem()), kExtRootKey);
}

TEST(ExtLayout, PartialLastGroupIsRead) {
    ParsedExt img(readBytes(fixtureImage("ext2-1k")));
    ASSERT_TRUE(img.parsed.completed);
    const ExtGeometry& g = img.parser().geometry();
    EXPECT_EQ(g.blockSize, 1024u);
    EXPECT_EQ(g.groupCount, 4u);  // 3899 blocks in groups of 1024
    EXPECT_EQ(g.position, 1024u);
    const auto listed = img.byPath();
    ASSERT_EQ(listed.count("many/last-group.txt"), 1u);
    EXPECT_GE(listed.at("many/last-group.txt"), int64_t(3 * g.inodesPerGroup));  // lives in group 3
}

TEST(ExtLayout, FourKilobyteDescriptorsAndFeatures) {
    ParsedExt img(readBytes(fixtureImage("ext4-4k")));
    const ExtGeometry& g = img.parser().geometry();
    EXPECT_EQ(g.blockSize, 4096u);
    EXPECT_EQ(g.descriptorSize, 64u);
    EXPECT_TRUE(g.fileTypeFlag);
    EXPECT_TRUE(img.parser().unsupportedFeatures().empty());
}

// The deep extent tree, the uninitialised extent and the inline files decode as the manifest
// says (checked above); here the shapes that make them what they are.
TEST(ExtLayout, SparseFilesKeepTheirHolesAsRuns) {
    ParsedExt img(readBytes(fixtureImage("ext4-1k-extents")));
    const auto listed = img.byPath();
    const FileData pieces = img.adapter().fileData(listed.at("pieces.bin"));
    size_t volumeRuns = 0, holeRuns = 0;
    for (const DataRun& r : pieces.runs) (r.kind == DataRun::Kind::Volume ? volumeRuns : holeRuns)++;
    EXPECT_GE(volumeRuns, 2000u);
    EXPECT_GE(holeRuns, 2000u);
    const FileData pre = img.adapter().fileData(listed.at("preallocated.bin"));
    ASSERT_EQ(pre.runs.size(), 3u);  // zeros, the written block, zeros
    EXPECT_EQ(pre.runs[0].kind, DataRun::Kind::Hole);
    EXPECT_EQ(pre.runs[1].kind, DataRun::Kind::Volume);
    EXPECT_EQ(pre.runs[1].length, 1024u);
    const FileData inl = img.adapter().fileData(listed.at("inline-mid.bin"));
    ASSERT_TRUE(inl.resident.has_value());
    EXPECT_EQ(inl.resident->size(), 100u);
}

TEST(ExtTexts, SizesTimesAndAttributes) {
    ParsedExt img(readBytes(fixtureImage("ext2-1k")));
    const auto listed = img.byPath();
    const EntryKey five = listed.at("five-thousand.bin");
    EXPECT_EQ(img.adapter().sizeText(five), "4.88 KB");
    EXPECT_EQ(img.adapter().sizeText(listed.at("small.txt")), "15 Bytes");
    const EntryTexts t = img.adapter().texts(five);
    EXPECT_EQ(t.attributes, "-OR-GR-UW-UR");  // 0644
    EXPECT_FALSE(t.modification.empty());
    EXPECT_EQ(img.adapter().texts(listed.at("fast-link")).attributes, "-OE-OW-OR-GE-GW-GR-UE-UW-UR");
}

}  // namespace
