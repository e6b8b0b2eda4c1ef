// quarvell-cli on the FAT fixtures: the advanced search's labels and JSON, the advanced parse,
// FAT12's standard-only road, --formatted, and recovering deleted files at their own paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../scan/TempFolder.h"
#include "FatTestImage.h"

using namespace quarvell::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> volume(const std::string& image, const std::string& label) {
    return {image, "--start", "0", "--fs", label};
}
std::vector<std::string> cat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(FatCli, AdvancedSearchListsFatStartsAsLabelsAndJson) {
    const auto v = volume(fatFixture("fat32", "fat32_wiped"), "FAT32");
    CliResult text = runCli(cat(cat({"ls"}, v), {"--mode", "advanced"}));
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "FAT32_ENTRY:0\nFAT32_ENTRY:1\n");
    EXPECT_NE(text.err.find("found fat entry  2 "), std::string::npos);
    EXPECT_NE(text.err.find("Parsing Disk Currently at position 0.000000 of the disk of size 35651584.000000"),
              std::string::npos);
    CliResult json = runCli(cat(cat({"ls"}, v), {"--mode", "advanced", "--json", "--max", "1"}));
    EXPECT_EQ(json.exitCode, 0);
    const JsonValue list = JsonValue::parse(json.out);
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(list.items[0].keys, (std::vector<std::string>{"index", "label", "offset"}));
    EXPECT_EQ(list.items[0]["label"].text, "FAT32_ENTRY:0");
    EXPECT_EQ(list.items[0]["offset"].integer(), 32 * 512);  // after the 32 reserved sectors

    CliResult fat16 = runCli(cat(cat({"ls"}, volume(fatFixture("fat16", "fat16_wiped"), "FAT16")), {"--mode", "advanced"}));
    EXPECT_EQ(fat16.exitCode, 0);
    EXPECT_EQ(fat16.out, "FAT_ENTRY:0\nFAT_ENTRY:1\n");
}

TEST(FatCli, AdvancedParseRebuildsTheTreeAndRecoversFromIt) {
    const auto v = volume(fatFixture("fat32", "fat32_wiped"), "FAT32");
    CliResult std = runCli(cat({"ls"}, v));
    EXPECT_EQ(std.exitCode, 1);
    EXPECT_NE(std.err.find("Selected Drive is not in Fat32 Format"), std::string::npos);
    CliResult ls = runCli(cat(cat({"ls"}, v), {"--mode", "advanced", "--candidate", "1", "--sectors-per-cluster", "1"}));
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("ROOT/Documents/Archive/2019 and older/deep.txt\n"), std::string::npos);
    EXPECT_NE(ls.out.find("ROOT/ORPHAN ENTRY\n"), std::string::npos);
    EXPECT_NE(ls.err.find("Maintaining directory Structure in AdvanceScanning"), std::string::npos);
    CliResult none = runCli(cat(cat({"ls"}, v), {"--mode", "advanced", "--candidate", "7"}));
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("there is no FAT position 7"), std::string::npos);

    TempFolder out;
    CliResult rec = runCli(cat(cat({"recover"}, v), {"--mode", "advanced", "--candidate", "0", "--path",
                                                     "ROOT/Documents", "--out", out.str(), "--yes", "--json"}));
    EXPECT_EQ(rec.exitCode, 0) << rec.err;
    EXPECT_EQ(fs::file_size(out.path() / "Archive" / "2019 and older" / "deep.txt"), 777u);
}

// Folders below the depth cap are left out by every walk, and every walk says so with exit 3.
TEST(FatCli, EntriesBelowTheDepthCapAreCountedAndExitThree) {
    Fat16Writer w;
    uint64_t at = w.rootStart();
    for (uint32_t c = 2; c < 2 + 520; ++c) {  // 520 nested folders, one cluster each
        w.entry(at, "D          ", 0x10, c, 0);
        w.setFat(c, 0xFFFF);
        at = w.clusterOffset(c);
        w.entry(at, ".          ", 0x10, c, 0);
        w.entry(at + 32, "..         ", 0x10, c == 2 ? 0 : c - 1, 0);
        at += 64;
    }
    w.entry(at, "DEEP    TXT", 0x20, 0, 0);
    TempFolder work;
    const std::string image = work.str() + "/deep.img";
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(w.bytes.data()), long(w.bytes.size()));
    const std::vector<std::string> v = {image, "--start", "0", "--fs", "FAT16"};
    const CliResult ls = runCli(cat({"ls"}, v));
    EXPECT_EQ(ls.exitCode, 3) << ls.err;
    EXPECT_NE(ls.err.find("files listed, 1 entries too deep left out"), std::string::npos) << ls.err;
    const CliResult search = runCli(cat(cat({"search"}, v), {"--pattern", "deep"}));
    EXPECT_EQ(search.exitCode, 3) << search.err;
    EXPECT_NE(search.err.find("0 files found, 1 entries too deep left out"), std::string::npos) << search.err;
    const CliResult rec = runCli(cat(cat({"recover"}, v), {"--path", "ROOT", "--out", work.str() + "/out", "--yes"}));
    EXPECT_EQ(rec.exitCode, 3) << rec.err;
    EXPECT_NE(rec.err.find("entries too deep left out"), std::string::npos) << rec.err;
}

TEST(FatCli, FormattedGoesWithAdvancedAndReadsConsecutiveClusters) {
    const auto v = volume(fatFixture("fat32", "fat32_formatted"), "FAT32");
    CliResult alone = runCli(cat(cat({"ls"}, v), {"--formatted"}));
    EXPECT_EQ(alone.exitCode, 2);
    TempFolder out;
    CliResult rec = runCli(cat(cat({"recover"}, v), {"--mode", "advanced", "--candidate", "0", "--formatted", "--path",
                                                     "ROOT/ORPHAN ENTRY/Alpha/big.bin", "--out", out.str(), "--json"}));
    EXPECT_EQ(rec.exitCode, 0) << rec.err;
    const JsonValue r = JsonValue::parse(rec.out);
    ASSERT_EQ(r.items.size(), 1u);
    const JsonValue m = fatManifest("fat32", "fat32_formatted");
    for (const JsonValue& e : m["entries"].items)
        if (e["path"].text == "ORPHAN ENTRY/Alpha/big.bin") EXPECT_EQ(r.items[0]["sha256"].text, e["sha256"].text);
}

TEST(FatCli, TwelveBitVolumesTakeTheStandardRoadOnly) {
    const auto v = volume(fatFixture("fat12", "fat12_card"), "FAT12");
    CliResult ls = runCli(cat({"ls", "--json"}, v));
    EXPECT_EQ(ls.exitCode, 0);
    EXPECT_NE(ls.out.find("\"path\": \"ROOT/DCIM/100CAMRA/_MG_0003.JPG\", \"folder\": false, \"deleted\": true"),
              std::string::npos);
    CliResult adv = runCli(cat(cat({"ls"}, v), {"--mode", "advanced"}));
    EXPECT_EQ(adv.exitCode, 2);  // not offered, as the mode page offers only Standard
    EXPECT_NE(adv.err.find("--mode advanced is not offered for FAT12 volumes"), std::string::npos) << adv.err;
}

TEST(FatCli, WholeVolumeRecoverySavesDeletedFilesAtTheirOwnPaths) {
    TempFolder out;
    CliResult rec = runCli(cat(cat({"recover"}, volume(fatFixture("fat32", "fat32_basic"), "FAT32")),
                               {"--path", "ROOT", "--out", out.str(), "--yes", "--json"}));
    EXPECT_EQ(rec.exitCode, 0) << rec.err;
    EXPECT_EQ(fs::file_size(out.path() / "Trash" / "_.bin"), 2048u);
    EXPECT_EQ(fs::file_size(out.path() / "Deleted file with a long name.txt"), 3000u);
    EXPECT_EQ(fs::file_size(out.path() / "Pictures" / "日本語のファイル.txt"), 300u);
    EXPECT_NE(rec.err.find("3 deleted files are read from their first cluster on through free clusters"),
              std::string::npos);
}

}  // namespace
