// Every fixture image against its manifest (listing, deleted marks, saved bytes) and against
// The Sleuth Kit's fls/icat where it is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "RecycleBinPaths.h"
#include "../scan/TempFolder.h"
#include "FatTestImage.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

struct Fixture {
    const char* id;
    const char* name;
    const char* label;  // the label the partition scan gives such a volume
};

const Fixture kFixtures[] = {
    {"fat32", "fat32_basic", "FAT32"},     {"fat32", "fat32_wiped", "FAT32"},
    {"fat32", "fat32_formatted", "FAT32"}, {"fat16", "fat16_basic", "FAT16"},
    {"fat16", "fat16_wiped", "FAT16"},     {"fat16", "fat16_2k", "FAT16"},
    {"fat12", "fat12_floppy", "FAT12"},    {"fat12", "fat12_card", "FAT12"},
};

class FatFixtures : public ::testing::TestWithParam<Fixture> {};

std::string sha256Of(const EntryAdapter& adapter, EntryKey key, const std::string& folder, SaveReport* report) {
    *report = saveTo(adapter, key, folder + "/f" + std::to_string(key));
    return report->sha256;
}

TEST_P(FatFixtures, ListingAndSavedBytesMatchTheManifest) {
    const Fixture f = GetParam();
    const JsonValue manifest = fatManifest(f.id, f.name);
    AdvancedChoice choice;
    ParseMode mode = ParseMode::Standard;
    if (manifest["mode"].text == "advanced") {
        mode = ParseMode::Advanced;
        choice.candidate = int(manifest["candidate"].integer());
        choice.driveFormatted = manifest.has("formatted") && manifest["formatted"].boolean;
    }
    ParsedFat image(fileBytes(fatFixture(f.id, f.name)), f.label, mode, choice);
    ASSERT_TRUE(image.parsed.completed) << image.parsed.failure;
    EXPECT_EQ(image.parsed.unreadableMetadata, 0u);
    std::map<std::string, ParsedFat::Item> byPath;
    for (const auto& item : image.items()) byPath.emplace(item.path, item);
    TempFolder out;
    for (const JsonValue& e : manifest["entries"].items) {
        const std::string path = e["path"].text;
        SCOPED_TRACE(path);
        auto it = byPath.find(path);
        ASSERT_NE(it, byPath.end()) << "not listed";
        EXPECT_EQ(image.adapter().isFolder(it->second.key), e["folder"].boolean);
        EXPECT_EQ(it->second.deleted, e["deleted"].boolean);
        if (e["folder"].boolean) continue;
        EXPECT_EQ(image.adapter().sizeInBytes(it->second.key), uint64_t(e["size"].integer()));
        if (e["sha256"].text.empty()) continue;
        SaveReport report;
        EXPECT_EQ(sha256Of(image.adapter(), it->second.key, out.str(), &report), e["sha256"].text);
        EXPECT_EQ(report.status, SaveStatus::Complete);
    }
}

INSTANTIATE_TEST_SUITE_P(All, FatFixtures, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.name); });

std::string shell(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

// fls -r -p: every file and folder by path with its deleted mark and inode; the volume label
// and the virtual entries are left out.
std::map<std::string, std::pair<bool, std::string>> slothKitListing(const std::string& image) {
    std::map<std::string, std::pair<bool, std::string>> out;
    std::string text = shell("fls -r -p '" + image + "' 2>/dev/null");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string head = line.substr(0, tab), name = line.substr(tab + 1);
        if (name.find("(Volume Label Entry)") != std::string::npos || name.rfind("$MBR", 0) == 0 ||
            name.rfind("$FAT", 0) == 0 || name.rfind("$OrphanFiles", 0) == 0)
            continue;
        const size_t colon = head.rfind(':');
        const size_t space = head.rfind(' ', colon);
        out[name] = {head.find('*') != std::string::npos, head.substr(space + 1, colon - space - 1)};
    }
    return out;
}

TEST_P(FatFixtures, StandardListingMatchesTheSleuthKit) {
    const Fixture f = GetParam();
    if (shell("command -v fls icat").empty()) GTEST_SKIP() << "The Sleuth Kit (fls, icat) is not installed";
    if (fatManifest(f.id, f.name)["mode"].text != "standard") GTEST_SKIP() << "the advanced road has no counterpart";
    const std::string path = fatFixture(f.id, f.name);
    const auto theirs = slothKitListing(path);
    ASSERT_FALSE(theirs.empty());
    ParsedFat image(fileBytes(path), f.label);
    ASSERT_TRUE(image.parsed.completed);
    std::set<std::string> ours;
    TempFolder out;
    for (const auto& item : image.items()) {
        if (renamedFromRecycleBin(item.path)) continue;
        ours.insert(item.path);
        auto it = theirs.find(item.path);
        ASSERT_NE(it, theirs.end()) << item.path << " is listed by us only";
        EXPECT_EQ(item.deleted, it->second.first) << item.path;
        // Allocated files byte for byte as icat gives them.
        if (!item.deleted && !image.adapter().isFolder(item.key)) {
            SaveReport report;
            const std::string mine = sha256Of(image.adapter(), item.key, out.str(), &report);
            std::string icat = shell("icat '" + path + "' " + it->second.second + " | sha256sum");
            EXPECT_EQ(mine, icat.substr(0, 64)) << item.path;
        }
    }
    for (const auto& [name, info] : theirs)
        EXPECT_TRUE(ours.count(name) || renamedFromRecycleBin(name)) << name << " is listed by fls only";
}

}  // namespace
