// The partition scans on a disk that fails chosen sectors (a FUSE file, and a loop device over
// it standing in for a failing drive): an unreadable partition table fails the listing; bad
// sectors elsewhere cost exactly those sectors, quickly, even when each failed read is slow.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "CliRun.h"
#include "FaultyFuse.h"
#include "LoopDevice.h"

namespace quarvell::testing {
namespace {

std::string demoDisk() { return unpacked(std::string(QUARVELL_SOURCE_DIR) + "/resources/demo/demo-disk.img.xz"); }

std::string mountPoint(const char* name) { return scratchDir() + "/" + name; }

// The demo disk is GPT: without its MBR the header still gives the table (exit 3, the sector
// counted); without both, or without the header, there is no table, and the listing fails.
TEST(FailingDisk, AnUnreadableSectorZeroOrGptHeaderFailsTheListing) {
    const struct {
        std::set<uint64_t> sectors;
        const char* mount;
        const char* says;
    } cases[] = {{{0, 1}, "fuse-s01", "sector 0 could not be read"},
                 {{1}, "fuse-s1", "the GPT header (sector 1) could not be read"}};
    for (const auto& c : cases) {
        FaultyFuse disk({demoDisk(), c.sectors, 0}, mountPoint(c.mount));
        if (!disk.ok()) GTEST_SKIP() << disk.skipReason();
        for (const char* flag : {"--json", "--gpt"}) {
            const CliResult run = runCli({"partitions", disk.path(), flag});
            EXPECT_EQ(run.exitCode, 1) << c.mount << " " << flag << "\n" << run.err;
            EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
            EXPECT_TRUE(run.out.empty()) << run.out;  // no table that looks like a disk without volumes
        }
    }
    FaultyFuse disk({demoDisk(), {0}, 0}, mountPoint("fuse-s0"));
    if (!disk.ok()) GTEST_SKIP() << disk.skipReason();
    const CliResult run = runCli({"partitions", disk.path(), "--json"});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_EQ(run.out, runCli({"partitions", demoDisk(), "--json"}).out);
    EXPECT_NE(run.err.find("1 unreadable sectors skipped"), std::string::npos) << run.err;
}

TEST(FailingDisk, BadSectorsOnABlockDeviceCostOnlyThemselves) {
    const std::string image = demoDisk();
    const CliResult clean = runCli({"partitions", image, "--advanced", "--no-skip", "--json"});
    ASSERT_EQ(clean.exitCode, 0) << clean.err;
    const CliResult cleanTable = runCli({"partitions", image, "--json"});
    ASSERT_EQ(cleanTable.exitCode, 0) << cleanTable.err;

    // Inside the NTFS, FAT32 and ext3 volumes' data, two of them side by side; 20 ms per failure.
    FaultyFuse disk({image, {30000, 30001, 120000, 250001}, 20}, mountPoint("fuse-bad"));
    if (!disk.ok()) GTEST_SKIP() << disk.skipReason();
    LoopDevice loop(disk.path(), "-r");
    if (!loop.ok()) GTEST_SKIP() << loop.skipReason();

    const auto begin = std::chrono::steady_clock::now();
    const CliResult scan = runCli({"partitions", loop.path(), "--advanced", "--no-skip", "--json"});
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(scan.exitCode, 3) << scan.err;  // every volume listed, some sectors read as zeros
    EXPECT_EQ(scan.out, clean.out);
    EXPECT_NE(scan.err.find("4 unreadable sectors skipped"), std::string::npos) << scan.err;
    // A few seconds on an idle machine; through the page cache each bad sector failed whole
    // windows of reads, 20 ms each: 4112 sectors lost and close to two minutes.
    EXPECT_LT(took, std::chrono::seconds(60));

    const CliResult table = runCli({"partitions", loop.path(), "--json"});
    EXPECT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out, cleanTable.out);
}

}  // namespace
}  // namespace quarvell::testing
