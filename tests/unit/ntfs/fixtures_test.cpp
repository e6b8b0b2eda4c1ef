// The committed volumes against their manifests (made from The Sleuth Kit's view of the same
// images): every entry listed by path with its deleted mark and size, every file's saved bytes
// with the right SHA-256, on the standard road, the fallback road (no boot sector) and the deep
// road (the first MFT records gone).
#include <gtest/gtest.h>

#include <map>

#include "Manifest.h"
#include "NtfsImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

struct FixtureCase {
    const char* name;
    ParseMode mode;
};

class Fixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(Fixture, ListsAndSavesWhatTheManifestHolds) {
    const FixtureCase fc = GetParam();
    const Manifest m = parseManifest(slurp(fixturePath(std::string(fc.name) + ".manifest.json")));
    ASSERT_GT(m.entries.size(), 5u) << fc.name;
    NtfsImage img(unxz(fixturePath(std::string(fc.name) + ".img.xz")), fc.mode);
    ASSERT_TRUE(img.ok()) << img.parsed.failure;
    std::map<std::string, NtfsImage::Item> byPath;
    for (const auto& item : img.items()) byPath.emplace(item.path, item);
    TempFolder out;
    size_t hashed = 0;
    for (const ManifestEntry& e : m.entries) {
        auto it = byPath.find(e.path);
        ASSERT_NE(it, byPath.end()) << fc.name << ": " << e.path << " is not listed";
        const NtfsImage::Item& item = it->second;
        EXPECT_EQ(item.folder, e.folder) << e.path;
        EXPECT_EQ(img.adapter().isDeleted(item.key, kNoData), e.deleted) << e.path;
        EXPECT_EQ(item.red, e.deleted) << e.path;
        if (e.folder) continue;
        EXPECT_EQ(img.adapter().sizeInBytes(item.key), e.size) << e.path;
        const SaveReport r = saveTo(img.adapter(), item.key, out.str() + "/" + std::to_string(hashed++));
        ASSERT_TRUE(r.saved()) << e.path << ": " << r.problem;
        EXPECT_EQ(r.bytesWritten, e.size) << e.path;
        if (!e.sha256.empty()) {
            EXPECT_EQ(r.sha256, e.sha256) << e.path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, Fixture,
                         ::testing::Values(FixtureCase{"basic", ParseMode::Standard},
                                           FixtureCase{"noboot", ParseMode::Standard},
                                           FixtureCase{"nomft", ParseMode::Deep},
                                           FixtureCase{"reformat", ParseMode::Standard}),
                         [](const auto& info) { return std::string(info.param.name); });

class Basic : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bytes_ = new std::vector<uint8_t>(unxz(fixturePath("basic.img.xz"))); }
    static void TearDownTestSuite() { delete bytes_; }
    static std::vector<uint8_t>* bytes_;
};
std::vector<uint8_t>* Basic::bytes_ = nullptr;

TEST_F(Basic, TheRootIsListedOnceAndOrphansHangAtTheEnd) {
    NtfsImage img(*bytes_);
    ASSERT_TRUE(img.ok());
    std::vector<std::string> top;
    for (TreeItem c = img.tree.firstChild(img.tree.rootItem()); c != kNoItem; c = img.tree.nextSibling(c))
        top.push_back(img.tree.itemText(c));
    EXPECT_EQ(std::count(top.begin(), top.end(), "."), 0);
    EXPECT_EQ(top.front(), "$MFT");  // record 0 is a child like any other
    EXPECT_EQ(top.back(), "ORPHAN_ENTRY");
    EXPECT_EQ(img.parser().rootIndex(), 5);
    EXPECT_FALSE(img.adapter().isWalked(5));
}

TEST_F(Basic, HardLinksAppearUnderBothNamesAndStreamsStayApart) {
    NtfsImage img(*bytes_);
    const auto a = img.find("links/original.txt");
    const auto b = img.find("links/second name.txt");
    ASSERT_TRUE(a && b);
    TempFolder out;
    const SaveReport ra = saveTo(img.adapter(), a->key, out.str() + "/a");
    const SaveReport rb = saveTo(img.adapter(), b->key, out.str() + "/b");
    EXPECT_EQ(slurp(ra.outputPath), "linked content\n");
    EXPECT_EQ(ra.sha256, rb.sha256);
    // The alternate data stream is not part of the saved main stream.
    const auto s = img.find("streams.txt");
    ASSERT_TRUE(s);
    EXPECT_EQ(slurp(saveTo(img.adapter(), s->key, out.str() + "/s").outputPath), "the main stream\n");
}

TEST_F(Basic, RecycleBinFilesShowTheirFormerNames) {
    NtfsImage img(*bytes_);
    const std::string bin = "$RECYCLE.BIN/S-1-5-21-111-222-333-1001/";
    EXPECT_TRUE(img.find(bin + "quarterly report.docx"));  // version 2 index record
    EXPECT_TRUE(img.find(bin + "holiday.jpg"));            // version 1 index record
    EXPECT_TRUE(img.find(bin + "$IK3J9QZ.docx"));
    EXPECT_FALSE(img.find(bin + "$RK3J9QZ.docx"));
}

TEST_F(Basic, SparseCompressedAndAttributeListFilesComeBackWithTheirHoles) {
    NtfsImage img(*bytes_);
    TempFolder out;
    const auto sparse = img.find("sparse.bin");
    ASSERT_TRUE(sparse);
    const SaveReport r = saveTo(img.adapter(), sparse->key, out.str() + "/sparse");
    EXPECT_EQ(r.status, SaveStatus::Complete);
    EXPECT_GE(r.holeBytes, 1u << 20);
    const auto many = img.find("big/many_runs.bin");
    ASSERT_TRUE(many);
    const FileData d = img.adapter().fileData(many->key);
    EXPECT_GT(d.runs.size(), 400u);  // runs from the base record and two extension records
    const SaveReport rm = saveTo(img.adapter(), many->key, out.str() + "/many");
    EXPECT_EQ(rm.status, SaveStatus::Complete);
    const auto packed = img.find("packed/text.txt");
    ASSERT_TRUE(packed);
    EXPECT_TRUE(bool(img.adapter().fileData(packed->key).produce));
    EXPECT_EQ(img.adapter().texts(packed->key).attributes, "-A-C");
}

TEST_F(Basic, TextsOfTheFileList) {
    NtfsImage img(*bytes_);
    const auto readme = img.find("docs/readme.txt");
    ASSERT_TRUE(readme);
    EXPECT_EQ(img.adapter().sizeText(readme->key), "41 Bytes");  // resident data has its size
    const EntryTexts t = img.adapter().texts(readme->key);
    EXPECT_EQ(t.creation.size(), std::string("12/09/2026  03:21 AM").size());
    const auto one = img.find("big/one.bin");
    ASSERT_TRUE(one);
    EXPECT_EQ(img.adapter().sizeText(one->key), "292.97 KB");
}

TEST_F(Basic, AStopDuringTheParseEndsItsLoopAndClearsTheFlag) {
    FaultyReader reader(*bytes_);
    MemoryTree tree;
    NullSink sink;
    WorkerControl control;
    VolumeEntry volume;
    volume.fileSystem = "NTFS";
    control.requestStop();
    ParseResult r = parseVolume(ParseRequest{volume, reader, tree, sink, control, ParseMode::Standard, {}});
    EXPECT_FALSE(control.stopRequested);
    (void)r;
}

TEST_F(Basic, BadSectorsInTheMftAreCountedAndSkipped) {
    std::vector<uint8_t> bytes = *bytes_;
    NtfsImage good(bytes);
    const uint64_t mft = good.parser().bootSector().mftCluster * good.parser().clusterSize();
    FaultyReader reader(bytes);
    reader.badSectors = {mft / 512 + 70 * 2};  // record 70
    MemoryTree tree;
    NullSink sink;
    WorkerControl control;
    VolumeEntry volume;
    volume.fileSystem = "NTFS";
    ParseResult r = parseVolume(ParseRequest{volume, reader, tree, sink, control, ParseMode::Standard, {}});
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.unreadableMetadata, 512u);
}

}  // namespace
