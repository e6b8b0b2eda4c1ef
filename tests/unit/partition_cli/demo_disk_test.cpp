// The bundled demo disk lists its volumes: the GPT scan names each partition's file system from
// its first sectors, and the whole-drive scan finds the same volumes by their boot records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.h"

namespace quarvell::testing {
namespace {

struct Expected {
    std::string label;
    std::string sizeText;
};

// What the GPT scan shows for a demo volume: NTFS counts its length one sector short of the
// partition (the last sector holds its boot record's copy); an HFS+ slot left empty shows its
// partition name and the table's size as a bare number.
Expected expectedRow(const JsonValue& volume) {
    const std::string fs = volume["fileSystem"].text;
    const int64_t sectors = volume["sectorCount"].integer();
    if (fs == "NTFS") return {"NTFS", std::to_string((sectors - 1) * 512 / 1048576) + "   MB"};
    if (fs == "FAT32") return {"FAT32", std::to_string(sectors / 2048) + "  MB"};
    if (fs == "exFAT") return {"FAT64", std::to_string(sectors / 2048) + "  MB"};
    if (fs == "ext3") return {"extX", std::to_string(sectors / 2048) + "  MB"};
    const bool empty = volume.has("empty") && volume["empty"].boolean;
    return {empty ? volume["partition"].text : "HFS+", std::to_string((sectors - 1) / 2048)};
}

class DemoDisk : public ::testing::Test {
protected:
    void SetUp() override {
        manifest = readJsonFile(std::string(QUARVELL_SOURCE_DIR) + "/resources/demo/demo-disk.manifest.json");
        image = unpacked(std::string(QUARVELL_SOURCE_DIR) + "/resources/demo/demo-disk.img.xz");
    }
    JsonValue manifest;
    std::string image;
};

// With --gpt, and without it: the protective MBR before the GPT header sends the standard scan
// to the GPT (a new user who does not tick "GPT format" sees the same volumes).
TEST_F(DemoDisk, GptScanListsEveryVolume) {
    for (const bool flag : {true, false}) {
        std::vector<std::string> args = {"partitions", image, "--json"};
        if (flag) args.push_back("--gpt");
        const CliResult run = runCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const JsonValue rows = JsonValue::parse(run.out);
        const auto& volumes = manifest["volumes"].items;
        ASSERT_EQ(rows.items.size(), volumes.size()) << run.out;
        for (size_t i = 0; i < volumes.size(); ++i) {
            const Expected want = expectedRow(volumes[i]);
            SCOPED_TRACE(volumes[i]["partition"].text + (flag ? " --gpt" : " without --gpt"));
            EXPECT_EQ(rows.items[i]["volumeName"].text, std::to_string(i));
            EXPECT_EQ(rows.items[i]["fileSystem"].text, want.label);
            EXPECT_EQ(rows.items[i]["sizeText"].text, want.sizeText);
            EXPECT_EQ(rows.items[i]["startSector"].integer(), volumes[i]["startSector"].integer());
        }
    }
    // The road goes on to the volume: --volume N without --gpt numbers the GPT's rows.
    const CliResult ls = runCli({"ls", image, "--volume", std::to_string(manifest["volumes"].items.size() - 1)});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("ROOT/"), std::string::npos) << ls.out;
}

TEST_F(DemoDisk, WholeDriveScanFindsTheBootRecordVolumes) {
    const CliResult run = runCli({"partitions", image, "--advanced", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> got, want;
    for (const auto& row : JsonValue::parse(run.out).items)
        got.push_back(row["fileSystem"].text + "@" + row["startSector"].text);
    for (const auto& volume : manifest["volumes"].items) {
        const std::string label = expectedRow(volume).label;
        // ext is found by its superblock; an empty HFS+ slot holds nothing.
        if (label == volume["partition"].text) continue;
        want.push_back(label + "@" + volume["startSector"].text);
    }
    EXPECT_EQ(got, want) << run.out;
}

}  // namespace
}  // namespace quarvell::testing
