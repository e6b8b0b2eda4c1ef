// The real volume made by macOS: names against The Sleuth Kit's listing, recovered bytes
// against icat, the deep mode, and the alternate header.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ParsedImage.h"
#include "../scan/TempFolder.h"

using namespace quarvell;
using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

std::string runCommand(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

bool haveSleuthKit() { return std::system("command -v fls >/dev/null 2>&1 && command -v icat >/dev/null 2>&1") == 0; }

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// fls shows control characters of names as "^"; ours are their control pictures (U+2400-U+241F,
// E2 90 80-9F in UTF-8).
std::string flsName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto at = [&](size_t k) { return static_cast<unsigned char>(name[k]); };
        if (i + 2 < name.size() && at(i) == 0xE2 && at(i + 1) == 0x90 && at(i + 2) >= 0x80 && at(i + 2) <= 0x9F) {
            out.push_back('^');
            i += 2;
        } else {
            out.push_back(name[i]);
        }
    }
    return out;
}

class RealVolume : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(realImagePath())) GTEST_SKIP() << "no real HFS+ image at " << realImagePath();
        bytes = readWholeFile(realImagePath());
    }
    std::vector<uint8_t> bytes;
};

TEST_F(RealVolume, ListsTheVolumeAsTheSleuthKitDoes) {
    ParsedImage img(bytes);
    ASSERT_TRUE(img.parsed.completed);
    std::vector<std::string> ours;
    for (const std::string& p : img.paths()) ours.push_back(flsName(p));
    std::sort(ours.begin(), ours.end());
    // fls lists a symbolic link's record too; the parser treats every file record alike.
    std::vector<std::string> expected = {".HFS+ Private Directory Data^",
                                         ".fseventsd",
                                         ".fseventsd/00000000171494cb",
                                         ".fseventsd/00000000171494cc",
                                         ".fseventsd/fseventsd-uuid",
                                         "^^^^HFS+ Private Data",
                                         "a_directory",
                                         "a_directory/a_file",
                                         "a_directory/a_resourcefork",
                                         "a_directory/another_file",
                                         "a_link",
                                         "passwords.txt"};
    EXPECT_EQ(ours, expected);
    // The root's children in ID order; a folder's chain in descending ID order (25, 21, 19).
    std::vector<std::string> inOrder = img.paths();
    EXPECT_EQ(std::vector<std::string>(inOrder.begin() + 2, inOrder.begin() + 6),
              (std::vector<std::string>{"a_directory", "a_directory/a_resourcefork", "a_directory/another_file",
                                        "a_directory/a_file"}));

    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed: fls comparison skipped";
    std::vector<std::string> fls;
    std::istringstream lines(runCommand(std::string("fls -r -p ") + realImagePath()));
    for (std::string line; std::getline(lines, line);) {
        std::string path = line.substr(line.find('\t') + 1);
        if (path[0] != '$') fls.push_back(path);
    }
    std::sort(fls.begin(), fls.end());
    EXPECT_EQ(ours, fls);
}

TEST_F(RealVolume, RecoveredBytesEqualIcat) {
    if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed";
    ParsedImage img(bytes);
    TempFolder out;
    std::istringstream lines(runCommand(std::string("fls -r -p ") + realImagePath()));
    int compared = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("r/r ", 0) != 0) continue;
        const std::string inode = line.substr(4, line.find(':') - 4);
        const std::string path = line.substr(line.find('\t') + 1);
        if (path[0] == '$') continue;
        EntryKey key = img.keyOf(path);
        ASSERT_NE(key, kNoData) << path;
        const fs::path target = out.path() / std::to_string(compared);
        SaveReport r = saveTo(img.adapter(), key, target.string());
        ASSERT_TRUE(r.saved()) << path << ": " << r.problem;
        EXPECT_EQ(slurp(target), runCommand("icat " + std::string(realImagePath()) + " " + inode)) << path;
        ++compared;
    }
    EXPECT_EQ(compared, 7);
}

TEST_F(RealVolume, SavedFileGetsAccessAndContentModificationTimes) {
    ParsedImage img(bytes);
    TempFolder out;
    EntryKey key = img.keyOf("passwords.txt");
    const HfsCatalogEntry* e = img.parser().findEntry(uint64_t(key));
    ASSERT_NE(e, nullptr);
    const std::string target = (out.path() / "p").string();
    ASSERT_TRUE(saveTo(img.adapter(), key, target).saved());
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, int64_t(e->contentModDate) - 2082844800);
    EXPECT_EQ(st.st_atime, int64_t(e->accessDate) - 2082844800);
    EXPECT_EQ(st.st_size, 116);
}

TEST_F(RealVolume, ZeroLengthFileIsCreatedEmpty) {
    ParsedImage img(bytes);
    TempFolder out;
    const std::string target = (out.path() / "empty").string();
    SaveReport r = saveTo(img.adapter(), img.keyOf("a_directory/a_resourcefork"), target);
    EXPECT_TRUE(r.saved());
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(RealVolume, UnreadableBlockIsWrittenAsZerosAndReported) {
    ParsedImage img(bytes);
    EntryKey key = img.keyOf("a_directory/a_file");
    const HfsCatalogEntry* e = img.parser().findEntry(uint64_t(key));
    ASSERT_FALSE(e->extents.empty());
    img.reader.badSectors.insert(uint64_t(e->extents[0].startBlock) * 4096 / 512);
    TempFolder out;
    const std::string target = (out.path() / "f").string();
    SaveReport r = saveTo(img.adapter(), key, target);
    EXPECT_TRUE(r.saved());
    EXPECT_EQ(r.unreadableBytes, 53u);
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    EXPECT_EQ(slurp(target), std::string(53, '\0'));
}

TEST_F(RealVolume, ExistingTargetKeepsItsBytesAndTheSaveTakesTheNextNumber) {
    ParsedImage img(bytes);
    TempFolder out;
    const std::string target = (out.path() / "taken").string();
    std::ofstream(target) << "keep";
    SaveReport r = saveTo(img.adapter(), img.keyOf("passwords.txt"), target);
    EXPECT_TRUE(r.saved());
    EXPECT_EQ(r.outputPath, (out.path() / "taken (1)").string());
    EXPECT_EQ(slurp(target), "keep");
}

TEST_F(RealVolume, DeepModeHangsFoldersUnderOrphanEntry) {
    ParsedImage img(bytes, ParseMode::Deep);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_TRUE(img.parser().deepMode());
    std::vector<std::string> paths = img.paths();
    auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
    EXPECT_TRUE(has("ORPHAN_ENTRY"));
    EXPECT_TRUE(has("ORPHAN_ENTRY/a_directory"));
    EXPECT_TRUE(has("ORPHAN_ENTRY/a_directory/a_file"));
    EXPECT_TRUE(has("passwords.txt"));  // parent 2 stays on the first level
    // Every folder sits directly under the orphan entry, newest ID first.
    std::vector<uint64_t> folderIds;
    for (auto& [p, k] : img.items())
        if (p.rfind("ORPHAN_ENTRY/", 0) == 0 && p.find('/', 13) == std::string::npos && img.adapter().isFolder(k))
            folderIds.push_back(uint64_t(k));
    EXPECT_TRUE(std::is_sorted(folderIds.rbegin(), folderIds.rend()));
    EXPECT_EQ(folderIds.size(), 5u);
}

TEST_F(RealVolume, ZeroedPrimaryHeaderFallsBackToTheAlternate) {
    std::vector<uint8_t> damaged = bytes;
    std::fill(damaged.begin() + 1024, damaged.begin() + 1536, uint8_t(0));
    ParsedImage good(bytes), img(damaged);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_TRUE(img.parser().usedAlternateHeader());
    EXPECT_EQ(img.paths(), good.paths());
}

TEST_F(RealVolume, BothSignaturesDamagedParseWithThePrimaryGeometryUnlessItIsImplausible) {
    std::vector<uint8_t> damaged = bytes;
    const size_t alternate = bytes.size() - 1024;
    for (size_t at : {size_t(1024), alternate}) damaged[at] = damaged[at + 1] = 0;  // "H+" gone twice
    ParsedImage good(bytes), img(damaged);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_FALSE(img.parser().usedAlternateHeader());
    EXPECT_EQ(img.paths(), good.paths());

    // A block count larger than the volume: the geometry does not hold, the parse aborts.
    damaged[1024 + 44] = 0x7F;
    ParsedImage implausible(damaged);
    EXPECT_FALSE(implausible.parsed.completed);
    EXPECT_TRUE(implausible.paths().empty());
}

TEST_F(RealVolume, UnusableExtentsTreeLeavesTheCatalogUsable) {
    std::vector<uint8_t> damaged = bytes;
    ParsedImage good(bytes);
    const uint64_t at = good.parser().extentsTree().startOffset;
    std::fill(damaged.begin() + long(at), damaged.begin() + long(at) + 512, uint8_t(0));
    ParsedImage img(damaged);
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_TRUE(img.parser().extentIndex().empty());
    EXPECT_EQ(img.paths(), good.paths());
}

}  // namespace

namespace {

// Records with their name length set to 0 are dropped, as a damaged leaf would lose them.
std::vector<uint8_t> withoutRecords(const std::vector<uint8_t>& bytes, const ParsedImage& good,
                                    const std::vector<uint64_t>& ids) {
    std::vector<uint8_t> b = bytes;
    for (uint64_t id : ids) {
        const HfsCatalogEntry* e = good.parser().findEntry(id);
        if (!e) continue;
        const size_t at = size_t(e->nodeOffset + e->recordOffset + 6);
        b[at] = b[at + 1] = 0;
    }
    return b;
}

TEST_F(RealVolume, DeepModeKeepsFilesThatPrecedeTheFirstFolder) {
    ParsedImage good(bytes);
    // Without the root folder and folders 16 to 18, files 19 to 22 come before any folder.
    ParsedImage img(withoutRecords(bytes, good, {2, 16, 17, 18}), ParseMode::Deep);
    ASSERT_TRUE(img.parsed.completed);
    std::vector<std::string> paths = img.paths();
    for (const char* p : {"ORPHAN_ENTRY/a_file", "ORPHAN_ENTRY/another_file", "ORPHAN_ENTRY/.fseventsd"})
        EXPECT_NE(std::find(paths.begin(), paths.end(), p), paths.end()) << p;
}

}  // namespace

namespace {

TEST_F(RealVolume, StopEndsTheWalkAndTheParseGoesOnWithWhatItFound) {
    FaultyReader reader(bytes);
    MemoryTree tree;
    NullSink sink;
    VolumeEntry v;
    v.fileSystem = "hfs+";  // the label is compared without regard to case
    v.sectorCount = bytes.size() / 512;
    WorkerControl control;
    control.requestStop();  // pressed before the walk's first poll
    ParseResult parsed = parseVolume(ParseRequest{v, reader, tree, sink, control, ParseMode::Standard, {}});
    EXPECT_TRUE(parsed.completed);
    EXPECT_FALSE(control.stopRequested.load());  // cleared on the way out of the stopped loop
    EXPECT_TRUE(static_cast<HfsEntryAdapter&>(*parsed.adapter).parser().catalogNodes().empty());
    EXPECT_EQ(tree.firstChild(tree.rootItem()), kNoItem);
}

}  // namespace
