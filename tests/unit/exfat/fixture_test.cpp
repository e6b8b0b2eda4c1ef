// The committed exFAT fixtures against their manifests (names, deleted marks, saved bytes) and
// against The Sleuth Kit's fls and icat on the same volume.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "RecycleBinPaths.h"
#include "../scan/TempFolder.h"
#include "ExfatImage.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

struct FixtureCase {
    const char* name;
    ParseMode mode;
    bool formatted;
};

class ExfatFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ExfatFixture, EveryManifestEntryIsListedWithItsMarkAndSavedByteExact) {
    const FixtureCase c = GetParam();
    std::vector<uint8_t> bytes = unpackFixture(c.name);
    if (bytes.empty()) GTEST_SKIP() << "xz could not unpack " << c.name;
    AdvancedChoice choice;
    if (c.mode == ParseMode::Advanced) {
        choice.candidate = 0;
        choice.heap = 0;
        choice.driveFormatted = c.formatted;
    }
    ParsedExfat p(std::move(bytes), c.mode, choice);
    ASSERT_TRUE(p.parsed.completed) << p.parsed.failure;
    EXPECT_EQ(p.parsed.unreadableMetadata, 0u);
    std::map<std::string, ParsedExfat::Item> byPath;
    for (const auto& item : p.items()) byPath.emplace(item.path, item);

    TempFolder out;
    const nlohmann::json manifest = readManifest(c.name);
    ASSERT_GT(manifest["entries"].size(), 0u);
    size_t checked = 0;
    for (const auto& e : manifest["entries"]) {
        const std::string path = e["path"];
        auto it = byPath.find(path);
        ASSERT_NE(it, byPath.end()) << path << " is not listed";
        const ParsedExfat::Item& item = it->second;
        EXPECT_EQ(p.adapter().isFolder(item.key), e["folder"].get<bool>()) << path;
        EXPECT_EQ(p.adapter().isDeleted(item.key, item.parentKey), e["deleted"].get<bool>()) << path;
        if (e["folder"].get<bool>()) continue;
        EXPECT_EQ(p.adapter().sizeInBytes(item.key), e["size"].get<uint64_t>()) << path;
        const std::string sha = e["sha256"];
        if (sha.empty()) continue;
        const SaveReport r = saveTo(p.adapter(), item.key, out.str() + "/" + std::to_string(checked));
        EXPECT_EQ(r.status, SaveStatus::Complete) << path << ": " << r.problem;
        EXPECT_EQ(r.sha256, sha) << path;
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExfatFixture,
                         ::testing::Values(FixtureCase{"basic", ParseMode::Standard, false},
                                           FixtureCase{"wiped", ParseMode::Advanced, false},
                                           FixtureCase{"reformatted", ParseMode::Advanced, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExfatFixtureTexts, StatusLinesAttributesAndTheDeletedChainCount) {
    std::vector<uint8_t> bytes = unpackFixture("basic");
    if (bytes.empty()) GTEST_SKIP() << "xz could not unpack basic";
    ParsedExfat p(std::move(bytes));
    ASSERT_TRUE(p.parsed.completed);
    for (const char* s : {"processing file and directory entries...",
                          "Finding Fat64 File And Directory entries recursively....", "creating tree Structure...",
                          "1 deleted files are read from their first cluster through the clusters no live file "
                          "uses, unless their old chain is intact"})
        EXPECT_TRUE(p.sink.saw(s)) << s;
    EXPECT_EQ(p.adapter().texts(p.find("hidden.txt")->key).attributes, "-H-A");
    EXPECT_EQ(p.adapter().texts(p.find("system.sys")->key).attributes, "-S-A");
    EXPECT_EQ(p.adapter().texts(p.find("readonly.txt")->key).attributes, "-R-A");
    // Both the root (60 notes) and "many" (60 files) run past their first cluster.
    EXPECT_NE(p.find("note-60.txt"), nullptr);
    EXPECT_NE(p.find("many/file-60.dat"), nullptr);
    // The top level shows the deleted entries in red.
    TreeItem root = p.tree.rootItem();
    bool red = false;
    for (TreeItem c = p.tree.firstChild(root); c != kNoItem; c = p.tree.nextSibling(c))
        if (p.tree.itemText(c) == "deleted-small.txt") red = p.tree.textColor(c) == kColorRed;
    EXPECT_TRUE(red);
}

TEST(ExfatFixtureTexts, AWipedBootSectorIsRefusedOnTheStandardRoad) {
    std::vector<uint8_t> bytes = unpackFixture("wiped");
    if (bytes.empty()) GTEST_SKIP() << "xz could not unpack wiped";
    ParsedExfat p(std::move(bytes));
    EXPECT_FALSE(p.parsed.completed);
    ASSERT_EQ(p.sink.messages.size(), 1u);
    EXPECT_EQ(p.sink.messages[0], "Selected Drive is not in exFat Format");
}

// ---------------------------------------------------------------- The Sleuth Kit

std::string runTool(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

TEST(ExfatSleuthKit, NamesDeletedMarksAndBytesAgreeWithFlsAndIcat) {
    if (runTool("for t in fls icat sha256sum; do command -v $t; done | wc -l") != "3\n") GTEST_SKIP() << "sleuthkit is not installed";
    std::vector<uint8_t> bytes = unpackFixture("basic");
    if (bytes.empty()) GTEST_SKIP() << "xz could not unpack basic";
    TempFolder tmp;
    const std::string image = tmp.str() + "/basic.img";
    {
        std::ofstream f(image, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ParsedExfat p(std::move(bytes));
    std::map<std::string, ParsedExfat::Item> ours;
    for (const auto& item : p.items()) ours.emplace(item.path, item);

    std::istringstream fls(runTool("fls -r -p -f exfat '" + image + "'"));
    std::string line;
    size_t compared = 0;
    while (std::getline(fls, line)) {
        // "r/r * 21869:\tdeleted-small.txt"
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string head = line.substr(0, tab), path = line.substr(tab + 1);
        const bool deleted = head.find('*') != std::string::npos;
        const char kind = head[0];
        if (kind != 'r' && kind != 'd') continue;
        if (path.rfind("$ALLOC_BITMAP", 0) == 0 || path.rfind("$UPCASE_TABLE", 0) == 0 ||
            path.find("(Volume Label Entry)") != std::string::npos || renamedFromRecycleBin(path))
            continue;
        auto it = ours.find(path);
        ASSERT_NE(it, ours.end()) << "fls lists " << path;
        EXPECT_EQ(p.adapter().isFolder(it->second.key), kind == 'd') << path;
        EXPECT_EQ(p.adapter().isDeleted(it->second.key, it->second.parentKey), deleted) << path;
        if (kind != 'r') continue;
        const std::string inode = head.substr(head.find_last_of(' ') + 1, std::string::npos);
        const std::string theirs =
            runTool("icat -f exfat '" + image + "' " + inode.substr(0, inode.size() - 1) + " | sha256sum").substr(0, 64);
        const SaveReport r = saveTo(p.adapter(), it->second.key, tmp.str() + "/f" + std::to_string(compared));
        EXPECT_EQ(r.sha256, theirs) << path;
        ++compared;
    }
    EXPECT_GT(compared, 130u);
}

}  // namespace
