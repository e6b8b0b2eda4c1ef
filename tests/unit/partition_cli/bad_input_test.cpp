// `partitions` given something that is not a disk image, or arguments it cannot use: exit code
// 2 and one error line on stderr, nothing on stdout.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "CliRun.h"
#include "GptImage.h"

namespace quarvell::testing {
namespace {

// One error line; a path that cannot be opened first shows the "invalid handle ..." message.
void expectBadInput(const std::vector<std::string>& args, bool openFails = false) {
    const CliResult run = runCli(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(run.exitCode, 2) << shown << "\nstderr: " << run.err;
    EXPECT_TRUE(run.out.empty()) << shown << "\nstdout: " << run.out;
    const std::string handle = "invalid handle ...\n";
    EXPECT_EQ(run.err.rfind(handle, 0) == 0, openFails) << shown << "\nstderr: " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), openFails ? 2 : 1) << shown << "\nstderr: " << run.err;
}

TEST(PartitionsBadInput, PathsThatAreNoImage) {
    const std::string folder = scratchDir() + "/a-folder";
    std::filesystem::create_directories(folder);
    for (const char* extra : {"", "--gpt", "--advanced"}) {
        std::vector<std::string> args = {"partitions", folder, "--json"};
        if (*extra) args.push_back(extra);
        expectBadInput(args, true);
        args[1] = scratchDir() + "/no-such-image.img";
        expectBadInput(args, true);
    }
}

TEST(PartitionsBadInput, ArgumentsTheCommandCannotUse) {
    const std::string image = fixtureImage("ebr-loop");
    expectBadInput({"partitions"});
    expectBadInput({"partitions", image, image});
    expectBadInput({"partitions", image, "--start", "2048"});         // range without --advanced
    expectBadInput({"partitions", image, "--no-skip"});
    expectBadInput({"partitions", image, "--advanced", "--start", "twelve"});
    expectBadInput({"partitions", image, "--advanced", "--end", "-5"});
    expectBadInput({"partitions", image, "--frobnicate"});
}

// GPT entries whose partitions lie past the end of the disk, one so far out that its byte
// offset does not fit in 64 bits: each is listed by its name from the table, nothing is read.
TEST(PartitionsBadInput, GptPartitionsPastTheDiskEnd) {
    GptImage disk(128);
    disk.add({100000, 104095, "past the end"});
    disk.add({0x7FFFFFFFFFFFFF00ull, 0x7FFFFFFFFFFFFFFEull, "far out"});
    disk.add({0xFFFFFFFFFFFFFF00ull, 0xFFFFFFFFFFFFFFFEull, "farther"});
    const std::string path = scratchDir() + "/gpt-partitions-past-end.img";
    disk.write(path);
    const CliResult run = runCli({"partitions", path, "--gpt", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const JsonValue rows = JsonValue::parse(run.out);
    ASSERT_GE(rows.items.size(), 1u) << run.out;
    EXPECT_EQ(rows.items[0]["fileSystem"].text, "past the end");
    EXPECT_EQ(rows.items[0]["sizeText"].text, "1");
    EXPECT_EQ(rows.items[0]["startSector"].integer(), 100000);
}

// An HFS+ volume header lies 1024 bytes into its volume; one in the disk's first two sectors
// has no room before it and must not give a volume that starts before the disk.
TEST(PartitionsBadInput, VolumeHeaderAtTheDiskStartGivesNoVolumeBeforeIt) {
    for (int sector : {0, 1}) {
        std::vector<char> disk(4 << 20, 0);
        char* header = disk.data() + sector * 512;
        header[0] = 'H';
        header[1] = '+';
        header[42] = 0x10;  // block size 4096 (big-endian at 40)
        header[46] = 0x04;  // 1024 blocks (big-endian at 44)
        const std::string path = scratchDir() + "/header-at-" + std::to_string(sector) + ".img";
        std::ofstream(path, std::ios::binary).write(disk.data(), std::streamsize(disk.size()));
        for (bool skip : {true, false}) {
            std::vector<std::string> args = {"partitions", path, "--advanced", "--json"};
            if (!skip) args.push_back("--no-skip");
            const CliResult run = runCli(args);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            for (const auto& row : JsonValue::parse(run.out).items)
                EXPECT_GE(row["startSector"].integer(), 0) << "header in sector " << sector << ": " << run.out;
        }
    }
}

}  // namespace
}  // namespace quarvell::testing
