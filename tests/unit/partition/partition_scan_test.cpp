#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "FaultyReader.h"
#include "common/UiSink.h"
#include "common/WorkerControl.h"
#include "disk_builder.h"
#include "partition/GptHeader.h"
#include "partition/Partition.h"
#include "partition/VolumeListModel.h"

using namespace quarvell;
using quarvell::testing::DiskBuilder;
using quarvell::testing::FaultyReader;

namespace {

struct StatusLog : NullSink {
    std::vector<std::string> lines;
    int64_t lastPos = -1;
    void setStatus(const std::string& t) override { lines.push_back(t); }
    void setProgressPos(int64_t p) override { lastPos = p; }
};

struct Row {
    std::string fs, size;
    int64_t start;
    uint64_t sectors;
    bool operator==(const Row& o) const { return fs == o.fs && size == o.size && start == o.start && sectors == o.sectors; }
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.fs << ", '" << r.size << "', " << r.start << ", " << r.sectors << "}";
}

std::vector<Row> rows(const std::vector<VolumeEntry>& v) {
    std::vector<Row> out;
    for (const auto& e : v) out.push_back({e.fileSystem, e.sizeText, e.startSector, e.sectorCount});
    return out;
}

std::vector<VolumeEntry> standardScan(FaultyReader& r, bool gpt, StatusLog* log = nullptr) {
    std::vector<VolumeEntry> found;
    Partition p;
    p.gptMode = gpt;
    p.resultsPage = &found;
    p.statusLabel = log;
    p.scanPartitionTables(r, int64_t(r.data.size() / 512));
    return found;
}

std::vector<VolumeEntry> advancedScan(FaultyReader& r, bool skip, int64_t start = 0, int64_t end = 0,
                                      StatusLog* log = nullptr) {
    std::vector<VolumeEntry> found;
    Partition p;
    p.skipVolumeSize = skip;
    p.customStartSector = start;
    p.customEndSector = end;
    p.resultsPage = &found;
    p.statusLabel = log;
    p.scanDriveForVolumes(r, int64_t(r.data.size() / 512));
    return found;
}

}  // namespace

TEST(StandardScan, PrimariesThenTheExtendedChainIncludingAPrimaryAfterIt) {
    DiskBuilder d(400000);
    d.entry(0, 0, 0x07, 2048, 204800);     // NTFS by type
    d.entry(0, 1, 0x05, 210000, 100000);   // extended
    d.entry(0, 2, 0x83, 320000, 40960);    // a primary after the extended one
    d.entry(210000, 0, 0x0C, 63, 20480);   // logical FAT32 at 210063
    d.entry(210000, 1, 0x05, 30000, 50000);
    d.entry(240000, 0, 0x83, 63, 40960);   // logical ext at 240063
    d.entry(240000, 1, 0x05, 60000, 20000);
    d.entry(270000, 0, 0x07, 63, 4096);    // logical NTFS at 270063
    FaultyReader r(d.bytes);
    StatusLog log;
    auto found = standardScan(r, false, &log);
    std::vector<Row> want = {{"NTFS", "100   MB", 2048, 204800}, {"extX", "20   MB", 320000, 40960},
                             {"FAT32", "10   MB", 210063, 20480}, {"extX", "20   MB", 240063, 40960},
                             {"NTFS", "2   MB", 270063, 4096}};
    EXPECT_EQ(rows(found), want);
    std::vector<std::string> wantLog = {"found NTFS 1...", "found ext2...", "found FAT 32...", "found extx...",
                                        "found NTFS..."};
    EXPECT_EQ(log.lines, wantLog);
    for (size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].volumeName, std::to_string(i));
}

TEST(StandardScan, EmptyFirstSlotAndTypesByTable) {
    DiskBuilder d(8192);
    d.entry(0, 1, 0x07, 2048, 4096);  // slot 0 empty
    d.exfat(2048, 4096);              // type 0x07 holding exFAT
    d.entry(0, 2, 0x01, 100, 2048);
    d.entry(0, 3, 0x42, 200, 2048);
    FaultyReader r(d.bytes);
    StatusLog log;
    std::vector<Row> want = {{"FAT64", "2   MB", 2048, 4096}, {"FAT12", "1   MB", 100, 2048}, {"NTFS", "1   MB", 200, 2048}};
    EXPECT_EQ(rows(standardScan(r, false, &log)), want);
    std::vector<std::string> wantLog = {"found FAT64...", "NTFS..."};
    EXPECT_EQ(log.lines, wantLog);
}

TEST(StandardScan, ProtectiveMbrBeforeAGptHeaderIsReadAsGptWithoutTheFlag) {
    DiskBuilder d(8192);
    d.gptHeader(2);
    d.gptEntry(2, 0, 2048, 6143, "data");
    d.ntfs(2048, 4095);
    std::vector<Row> want = {{"NTFS", "1   MB", 2048, 4095}};
    for (bool flag : {false, true}) {
        FaultyReader r(d.bytes);
        std::vector<VolumeEntry> found;
        Partition p;
        p.gptMode = flag;
        p.resultsPage = &found;
        p.scanPartitionTables(r, int64_t(r.data.size() / 512));
        EXPECT_EQ(rows(found), want) << flag;
        EXPECT_TRUE(p.readAsGpt);
        EXPECT_TRUE(p.tableFailure.empty());
    }

    // Without "EFI PART" in sector 1 the protective entry is an MBR entry like any other.
    DiskBuilder noHeader = d;
    noHeader.bytes[512] = 'X';
    FaultyReader plain(noHeader.bytes);
    std::vector<Row> unknown = {{"Unknown", "3   MB", 1, 8191}};
    EXPECT_EQ(rows(standardScan(plain, false)), unknown);

    // A second used entry beside the protective one: a hybrid MBR, read as MBR.
    DiskBuilder hybrid = d;
    hybrid.entry(0, 1, 0x0C, 2048, 4095);
    FaultyReader h(hybrid.bytes);
    std::vector<Row> mbrRows = {{"Unknown", "3   MB", 1, 8191}, {"FAT32", "1   MB", 2048, 4095}};
    EXPECT_EQ(rows(standardScan(h, false)), mbrRows);
}

TEST(StandardScan, ALoopingExtendedChainEnds) {

    DiskBuilder loop(4096);
    loop.entry(0, 0, 0x0F, 100, 3000);
    loop.entry(100, 0, 0x06, 10, 2048);
    loop.entry(100, 1, 0x05, 200, 100);
    loop.entry(300, 0, 0x0E, 10, 2048);
    loop.entry(300, 1, 0x05, 0, 100);  // links back to the first record
    FaultyReader r(loop.bytes);
    std::vector<Row> wantLoop = {{"FAT16", "1   MB", 110, 2048}, {"FAT16", "1   MB", 310, 2048}};
    EXPECT_EQ(rows(standardScan(r, false)), wantLoop);
}

TEST(StandardScan, GptEntriesAreNamedByTheirFirstSectors) {
    DiskBuilder d(40000);
    d.gptHeader(2);
    d.gptEntry(2, 0, 2048, 6143, "Microsoft reserved partition");
    d.gptEntry(2, 1, 6144, 10239, "basic data");
    d.ntfs(6144, 4095);
    d.gptEntry(2, 2, 10240, 14335, "fat");
    d.fat(10240, "mkfs.fat", 4096, 0);
    d.gptEntry(2, 4, 14336, 18431, "mac");  // slot 3 unused: skipped, not the end
    d.hfsplus(14336, 4096, 512);
    d.gptEntry(2, 5, 18432, 22527, "linux");
    d.ext(18432, 2048);
    d.gptEntry(2, 6, 22528, 26623, "my data");
    FaultyReader r(d.bytes);
    StatusLog log;
    std::vector<Row> want = {{"NTFS", "1   MB", 6144, 4095},  {"FAT32", "2  MB", 10240, 4096},
                             {"HFS+", "1", 14336, 4096},      {"extX", "2  MB", 18432, 4096},
                             {"my data", "1", 22528, 4096}};
    EXPECT_EQ(rows(standardScan(r, true, &log)), want);
    EXPECT_EQ(log.lines.front(), "found NTFS 1...");
}

TEST(StandardScan, GptEntryArrayBeyondTheFirstSectorsAndPastTheEnd) {
    DiskBuilder d(8192);
    d.gptHeader(0x102);
    d.gptEntry(0x102, 0, 4096, 8191, "far");
    FaultyReader r(d.bytes);
    std::vector<Row> want = {{"far", "1", 4096, 4096}};
    EXPECT_EQ(rows(standardScan(r, true)), want);

    DiskBuilder bad(64);
    bad.gptHeader(100000);
    FaultyReader rb(bad.bytes);
    EXPECT_TRUE(standardScan(rb, true).empty());
}

TEST(BootRecords, FatIsRecognisedByItsParameterBlockWhateverItsOemName) {
    for (const char* oem : {"MSDOS5.0", "MSWIN4.1", "BSD  4.4", "mkfs.fat"}) {
        DiskBuilder d(4096);
        d.entry(0, 0, 0xEE, 1, 4095);
        d.gptHeader(2);
        d.gptEntry(2, 0, 2048, 4095, "x");
        d.fat(2048, oem, 2048, 300);  // FAT16 with an unusual FAT size
        FaultyReader r(d.bytes);
        auto found = standardScan(r, true);
        ASSERT_EQ(found.size(), 1u) << oem;
        EXPECT_EQ(found[0].fileSystem, "FAT12") << oem;  // 2048 sectors of 4-sector clusters: few clusters
    }
    DiskBuilder big(300000);
    big.gptHeader(2);
    big.gptEntry(2, 0, 2048, 299999, "x");
    big.fat(2048, "MSWIN4.1", 200000, 200, 2);
    FaultyReader r(big.bytes);
    auto found = standardScan(r, true);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fileSystem, "FAT16");
    EXPECT_EQ(found[0].sectorCount, 200000u);

    DiskBuilder broken(8192);
    broken.gptHeader(2);
    broken.gptEntry(2, 0, 2048, 6143, "named");
    broken.fat(2048, "MSDOS5.0", 2048, 0);
    broken.bytes[2048 * 512 + 13] = 3;  // not a power of two: no valid parameter block
    FaultyReader rb(broken.bytes);
    found = standardScan(rb, true);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fileSystem, "named");
}

TEST(AdvancedScan, FindsVolumesAndSkipsTheirContents) {
    DiskBuilder d(8192);
    d.ntfs(100, 4096);             // contents 100..4195, backup boot sector at 4196
    d.ntfs(4196, 4096);            // the backup copy: skipped over when skipping
    d.fat(5000, "mkfs.fat", 2100, 0);
    d.hfsplus(6000, 4096, 256);    // header at sector 6002
    FaultyReader r(d.bytes);
    StatusLog log;
    std::vector<Row> skip = {{"NTFS", "2   MB", 100, 4096}, {"FAT32", "1  MB", 5000, 2100}};
    EXPECT_EQ(rows(advancedScan(r, true, 0, 0, &log)), skip);
    EXPECT_EQ(log.lines.front(), "Scanning partition.....");
    EXPECT_EQ(log.lastPos, 1000);

    std::vector<Row> all = {{"NTFS", "2   MB", 100, 4096}, {"NTFS", "2   MB", 4196, 4096},
                            {"FAT32", "1  MB", 5000, 2100}, {"HFS+", "1  MB", 6000, 2048}};
    EXPECT_EQ(rows(advancedScan(r, false)), all);
}

TEST(AdvancedScan, SkippingKeepsAVolumeRightAfterTheOneBefore) {
    DiskBuilder d(20000);
    d.fat(100, "mkfs.fat", 2048, 0);  // 100..2147, the next volume starts right after it
    d.fat(2148, "mkfs.fat", 2048, 0);
    d.hfsplus(4196, 512, 4096);        // 4196..8291, its alternate header 1024 bytes before the end
    d.hfsplus(8292, 512, 4096);
    d.bytes[(8292 - 2) * 512] = 'H';   // the first volume's alternate header
    d.bytes[(8292 - 2) * 512 + 1] = '+';
    d.bytes[512] = 'H';                // a header in the disk's second sector would start before it
    d.bytes[513] = '+';
    d.putBE32(512 + 40, 512);
    d.putBE32(512 + 44, 4096);
    FaultyReader r(d.bytes);
    std::vector<Row> want = {{"FAT32", "1  MB", 100, 2048}, {"FAT32", "1  MB", 2148, 2048},
                             {"HFS+", "2  MB", 4196, 4096}, {"HFS+", "2  MB", 8292, 4096}};
    EXPECT_EQ(rows(advancedScan(r, true)), want);
}

TEST(AdvancedScan, RangeLastShortBlockAndUnreadableSectors) {
    DiskBuilder d(2048 * 3 + 100);  // the last block is 100 sectors long
    d.ntfs(10, 4096);
    d.fat(2048 * 3 + 50, "MSDOS5.0", 4096, 0);
    FaultyReader r(d.bytes);
    auto found = advancedScan(r, false);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].startSector, 2048 * 3 + 50);

    found = advancedScan(r, false, 20);  // starting past the first volume
    ASSERT_EQ(found.size(), 1u);

    found = advancedScan(r, false, 0, 2000);  // the block holding the end is walked whole
    ASSERT_EQ(found.size(), 1u);

    r.badSectors = {5, 2048 * 3 + 10};
    StatusLog log;
    found = advancedScan(r, false, 0, 0, &log);
    EXPECT_EQ(found.size(), 2u);
    EXPECT_EQ(log.lines.back(), "2 unreadable sectors skipped");
}

TEST(AdvancedScan, StopKeepsWhatWasFound) {
    DiskBuilder d(2048 * 4);
    d.ntfs(10, 4096);
    d.ntfs(5000, 4096);
    FaultyReader r(d.bytes);
    std::vector<VolumeEntry> found;
    StatusLog log;
    WorkerControl control;
    Partition p;
    p.resultsPage = &found;
    p.statusLabel = &log;
    p.control = &control;
    p.onFound = [&control](const VolumeEntry&) { control.requestStop(); };
    p.scanDriveForVolumes(r, int64_t(r.data.size() / 512));
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(log.lines.back(), "Scanned Partitions");
    EXPECT_FALSE(control.stopRequested.load());  // cleared on the way out

    // An abort (a signal) ends the scan the same way and stays set.
    found.clear();
    p.onFound = [&control](const VolumeEntry&) { control.requestAbort(); };
    p.scanDriveForVolumes(r, int64_t(r.data.size() / 512));
    EXPECT_EQ(found.size(), 1u);
    EXPECT_TRUE(control.aborted());
}

TEST(Scans, TruncatedAndEmptyMediaEndQuietly) {
    FaultyReader empty;
    EXPECT_TRUE(standardScan(empty, false).empty());
    EXPECT_TRUE(standardScan(empty, true).empty());
    EXPECT_TRUE(advancedScan(empty, true).empty());

    DiskBuilder d(3000);
    d.entry(0, 0, 0x07, 2048, 204800);  // runs past the end of the medium
    d.entry(0, 1, 0x05, 2900, 100);
    FaultyReader r(std::vector<uint8_t>(d.bytes.begin(), d.bytes.begin() + 512 * 2500));
    auto found = standardScan(r, false);
    ASSERT_EQ(found.size(), 1u);  // the EBR past the end cannot be read
    EXPECT_EQ(found[0].fileSystem, "NTFS");
}

// The protective-MBR road as the volume list takes it: a user who did not tick "GPT format"
// gets the GPT's volumes as rows, and Next hands the chosen one on to the mode page.
TEST(StandardScan, ProtectiveMbrRowsReachTheVolumeListAndItsNext) {
    DiskBuilder d(16384);
    d.gptHeader(2);
    d.gptEntry(2, 0, 2048, 6143, "win");
    d.ntfs(2048, 4095);
    d.gptEntry(2, 1, 8192, 14335, "mac");
    d.hfsplus(8192, 4096, 768);
    FaultyReader r(d.bytes);
    VolumeListModel model(ScanMode::Standard);
    model.showStandardResults(standardScan(r, false));
    ASSERT_EQ(model.rows().size(), 2u);
    EXPECT_EQ(model.rows()[0].shown.fileSystem, "NTFS");
    EXPECT_EQ(model.rows()[1].shown.fileSystem, "HFS+");
    EXPECT_EQ(model.rows()[1].startSectorText(), "8192");
    NextChoice choice;
    choice.row = 1;
    const NextOutcome out = model.next(choice);
    EXPECT_EQ(out.target, NextTarget::ModePage);
    EXPECT_EQ(out.selected.fileSystem, "HFS+");
    EXPECT_EQ(out.selected.startSector, 8192);
}

// Sector 0 or the GPT header unreadable: the scan says so on the status line and lists nothing;
// other unreadable table sectors are counted.
TEST(StandardScan, AnUnreadableTableIsReportedNotShownAsEmpty) {
    DiskBuilder d(8192);
    d.gptHeader(2);
    d.gptEntry(2, 0, 2048, 6143, "data");
    d.ntfs(2048, 4095);
    DiskBuilder plainMbr(8192);
    plainMbr.entry(0, 0, 0x0C, 2048, 4096);
    const struct {
        const DiskBuilder& disk;
        std::set<uint64_t> bad;
        bool gpt;
        std::string failure;
    } cases[] = {{plainMbr, {0}, false, kSectorZeroUnreadableText},
                 {d, {0, 1}, false, kSectorZeroUnreadableText},
                 {d, {0, 1}, true, kSectorZeroUnreadableText},
                 {d, {1}, false, kGptHeaderUnreadableText},
                 {d, {1}, true, kGptHeaderUnreadableText}};
    for (const auto& c : cases) {
        FaultyReader r(c.disk.bytes);
        r.badSectors = c.bad;
        StatusLog log;
        std::vector<VolumeEntry> found;
        Partition p;
        p.gptMode = c.gpt;
        p.resultsPage = &found;
        p.statusLabel = &log;
        p.scanPartitionTables(r, int64_t(r.data.size() / 512));
        EXPECT_EQ(p.tableFailure, c.failure);
        EXPECT_TRUE(found.empty());
        ASSERT_FALSE(log.lines.empty());
        EXPECT_EQ(log.lines.back(), c.failure);
    }

    // A GPT disk whose MBR cannot be read is still read by its header, with the sector counted.
    for (bool flag : {false, true}) {
        FaultyReader r(d.bytes);
        r.badSectors = {0};
        std::vector<VolumeEntry> listed;
        Partition gpt;
        gpt.gptMode = flag;
        gpt.resultsPage = &listed;
        gpt.scanPartitionTables(r, 8192);
        EXPECT_TRUE(gpt.tableFailure.empty());
        EXPECT_EQ(gpt.unreadableSectors, 1);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].fileSystem, "NTFS");
    }

    // An MBR disk does not need sector 1; a bad sector of the entry array is counted.
    DiskBuilder mbr(8192);
    mbr.entry(0, 0, 0x0C, 2048, 4096);
    FaultyReader rm(mbr.bytes);
    rm.badSectors = {1};
    Partition p;
    std::vector<VolumeEntry> found;
    p.resultsPage = &found;
    p.scanPartitionTables(rm, 8192);
    EXPECT_TRUE(p.tableFailure.empty());
    EXPECT_EQ(found.size(), 1u);

    FaultyReader re(d.bytes);
    re.badSectors = {2};
    StatusLog log;
    p.statusLabel = &log;
    found.clear();
    p.scanPartitionTables(re, 8192);
    EXPECT_TRUE(p.tableFailure.empty());
    EXPECT_EQ(p.unreadableSectors, 1);
    EXPECT_EQ(log.lines.back(), "1 unreadable sectors skipped");

    // A table pointing past the end of a cut image is no unreadable sector.
    DiskBuilder cut(4096);
    cut.entry(0, 0, 0x05, 100000, 100);
    FaultyReader rc(cut.bytes);
    p.scanPartitionTables(rc, 4096);
    EXPECT_EQ(p.unreadableSectors, 0);
}

// GPT finds whose size in MiB is not positive are not listed.
TEST(StandardScan, GptFindsWithoutAWholeMebibyteAreLeftOut) {
    DiskBuilder d(16384);
    d.gptHeader(2);
    d.gptEntry(2, 0, 2048, 4095, "one MiB by the table");  // (last - first) / 2048 = 0
    d.gptEntry(2, 1, 4096, 8191, "small ntfs");
    d.ntfs(4096, 2000);                                      // its boot record: under 1 MiB
    d.gptEntry(2, 2, 8192, 12287, "kept");
    FaultyReader r(d.bytes);
    std::vector<Row> want = {{"kept", "1", 8192, 4096}};
    EXPECT_EQ(rows(standardScan(r, true)), want);
}

// A medium that is one volume from sector 0 on (no partition table) lists that volume, covering
// the medium, whatever bytes 446-509 of its boot sector hold.
TEST(StandardScan, AWholeVolumeMediumListsOneVolume) {
    struct Case {
        const char* fs;
        std::function<void(DiskBuilder&)> make;
    };
    const uint64_t n = 16384;
    const std::vector<Case> cases = {
        {"NTFS", [](DiskBuilder& d) { d.ntfs(0, 16383); }},
        {"FAT32", [](DiskBuilder& d) { d.fat(0, "mkfs.fat", 16384, 0); }},
        {"FAT16", [](DiskBuilder& d) { d.fat(0, "mkfs.fat", 16384, 16, 1); }},
        {"FAT12", [](DiskBuilder& d) { d.fat(0, "mkfs.fat", 8192, 12); }},
        {"FAT64", [](DiskBuilder& d) { d.exfat(0, 16384); }},
        {"extX", [](DiskBuilder& d) { d.ext(0, 8192); }},
        {"extX", [](DiskBuilder& d) { d.ext(0, 2048, 2); }},
        {"HFS+", [](DiskBuilder& d) { d.hfsplus(0, 4096, 2048); }},
    };
    for (const Case& c : cases) {
        DiskBuilder d(n);
        c.make(d);
        if (d.bytes[0] == 0xEB) {
            // Boot code that looks like table entries (a volume made by macOS), and its 0x55AA.
            uint32_t x = 12345;
            for (int i = 446; i < 510; ++i) d.bytes[size_t(i)] = uint8_t((x = x * 1103515245 + 12345) >> 16);
            d.bytes[450] = 0x07;
        }
        FaultyReader r(d.bytes);
        const auto found = standardScan(r, false);
        ASSERT_EQ(found.size(), 1u) << c.fs;
        EXPECT_EQ(found[0].fileSystem, c.fs);
        EXPECT_EQ(found[0].startSector, 0);
        EXPECT_EQ(found[0].sectorCount, n) << c.fs;
        EXPECT_EQ(found[0].sizeText, std::string(c.fs) == "NTFS" ? "8   MB" : "8  MB");
        EXPECT_FALSE(found[0].clipped);
    }
    // A boot record claiming more than the medium holds is listed clipped, with a warning.
    DiskBuilder cut(4096);
    cut.exfat(0, 16384);
    FaultyReader r(cut.bytes);
    StatusLog log;
    const auto found = standardScan(r, false, &log);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].sectorCount, 4096u);
    EXPECT_TRUE(found[0].clipped);
    EXPECT_NE(log.lines.back().find("listed clipped to the medium"), std::string::npos) << log.lines.back();
}

TEST(StandardScan, EntriesAreReadOnlyWithTheSignatureAndInsideTheMedium) {
    DiskBuilder d(8192);
    d.entry(0, 0, 0x83, 2048, 2048);       // fits
    d.entry(0, 1, 0x07, 9000, 100);        // starts past the end: not listed
    d.entry(0, 2, 0x0C, 6144, 100000);     // runs past the end: clipped to 2048 sectors
    FaultyReader r(d.bytes);
    StatusLog log;
    const auto found = standardScan(r, false, &log);
    std::vector<Row> want = {{"extX", "1   MB", 2048, 2048}, {"FAT32", "1   MB", 6144, 2048}};
    EXPECT_EQ(rows(found), want);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_FALSE(found[0].clipped);
    EXPECT_TRUE(found[1].clipped);
    std::set<std::string> lines(log.lines.begin(), log.lines.end());
    EXPECT_EQ(lines.count("partition entry 2 starts at sector 9000, past the end of the medium (8192 sectors): not listed"), 1u);
    EXPECT_EQ(lines.count("partition entry 3 runs past the end of the medium (8192 sectors): listed clipped to 2048 sectors from sector 6144"), 1u);

    // The same entries without 0x55AA are no table.
    d.bytes[510] = d.bytes[511] = 0;
    FaultyReader unsigned_(d.bytes);
    EXPECT_TRUE(standardScan(unsigned_, false).empty());
}

TEST(AdvancedScan, FindsExtVolumesByTheirSuperblocksAndNamesEachOnce) {
    DiskBuilder d(80000);
    d.ext(2048, 20000, 0, true);  // 1 KiB blocks: 3 groups, a backup in group 1
    d.ext(50000, 3000, 2, true);  // 4 KiB blocks, one group
    FaultyReader r(d.bytes);
    std::vector<Row> want = {{"extX", "19  MB", 2048, 40000}, {"extX", "11  MB", 50000, 24000}};
    EXPECT_EQ(rows(advancedScan(r, true)), want);
    EXPECT_EQ(rows(advancedScan(r, false)), want);  // the backup names the same volume
    // With the primary superblock gone, the backup still places the volume at its start.
    std::fill(d.bytes.begin() + 2048 * 512 + 1024, d.bytes.begin() + 2048 * 512 + 2048, 0);
    FaultyReader wiped(d.bytes);
    EXPECT_EQ(rows(advancedScan(wiped, false)), want);
    // A superblock whose group layout does not fit its counts is none.
    d.put32(50000 * 512 + 1024 + 40, 100);
    FaultyReader bad(d.bytes);
    EXPECT_EQ(rows(advancedScan(bad, false)), std::vector<Row>{want[0]});
}

// A bad sector beside a table costs no volume: the table's own sectors are re-read exactly.
TEST(StandardScan, BadSectorsBesideTheTablesCostNoVolume) {
    DiskBuilder d(400000);
    d.entry(0, 0, 0x0C, 2048, 20480);
    d.entry(0, 1, 0x05, 210000, 100000);
    d.entry(210000, 0, 0x0C, 63, 20480);
    d.entry(210000, 1, 0x05, 30000, 50000);
    d.entry(240000, 0, 0x83, 63, 40960);
    const std::vector<Row> want = {{"FAT32", "10   MB", 2048, 20480},
                                   {"FAT32", "10   MB", 210063, 20480},
                                   {"extX", "20   MB", 240063, 40960}};
    for (uint64_t bad : {uint64_t(1), uint64_t(210001)}) {
        FaultyReader r(d.bytes);
        r.badSectors = {bad};
        r.cacheWindow = 8;
        Partition p;
        std::vector<VolumeEntry> found;
        p.resultsPage = &found;
        p.scanPartitionTables(r, 400000);
        EXPECT_TRUE(p.tableFailure.empty()) << bad;
        EXPECT_EQ(rows(found), want) << bad;
        EXPECT_EQ(p.unreadableSectors, 0) << bad;
    }
}

// A GPT header is followed only when its CRCs hold: the primary, else the backup in the last
// sector (with a warning); with neither, the primary as it is, with a warning.
TEST(StandardScan, DamagedPrimaryGptHeaderFallsBackToTheBackup) {
    DiskBuilder d(16384);
    d.gptHeader(2);
    d.gptEntry(2, 0, 2048, 6143, "data");
    d.ntfs(2048, 4095);
    const uint64_t last = 16383, backupEntries = last - 32;
    std::memcpy(d.sector(backupEntries), d.sector(2), 128 * 128);
    std::memcpy(d.sector(last), d.sector(1), 512);
    d.put64(last * 512 + 0x48, backupEntries);
    d.sealGpt(last);
    const std::vector<Row> want = {{"NTFS", "1   MB", 2048, 4095}};
    {
        FaultyReader r(d.bytes);
        Partition p;
        std::vector<VolumeEntry> found;
        p.resultsPage = &found;
        p.scanPartitionTables(r, 16384);
        EXPECT_EQ(rows(found), want);
        EXPECT_TRUE(p.tableWarning.empty());
    }
    DiskBuilder damaged = d;
    damaged.sector(1)[0x20] ^= 1;  // the primary's own sector number: its CRC fails
    {
        FaultyReader r(damaged.bytes);
        StatusLog log;
        Partition p;
        std::vector<VolumeEntry> found;
        p.resultsPage = &found;
        p.statusLabel = &log;
        p.scanPartitionTables(r, 16384);
        EXPECT_EQ(rows(found), want);
        EXPECT_EQ(p.tableWarning, kGptBackupUsedText);
        EXPECT_EQ(log.lines.back(), kGptBackupUsedText);
    }
    damaged.sector(last)[0x20] ^= 1;  // the backup's CRC fails too
    {
        FaultyReader r(damaged.bytes);
        Partition p;
        std::vector<VolumeEntry> found;
        p.resultsPage = &found;
        p.scanPartitionTables(r, 16384);
        EXPECT_EQ(rows(found), want);
        EXPECT_EQ(p.tableWarning, kGptUncheckedText);
    }
}
