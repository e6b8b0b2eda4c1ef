// Hostile and damaged FAT volumes: the parse ends, lists what it can, and every saved file
// stays within its size; plus the rules that decide names, chains and deleted data.
#include <gtest/gtest.h>

#include "../scan/TempFolder.h"
#include "FatTestImage.h"
#include "fs/fat/FatNames.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

// Saves every file of the tree; a save never outgrows its recorded size.
void saveEverything(ParsedFat& image) {
    TempFolder out;
    for (const auto& item : image.items()) {
        if (image.adapter().isFolder(item.key)) continue;
        const SaveReport r = saveTo(image.adapter(), item.key, out.str() + "/f");
        EXPECT_LE(r.bytesWritten, image.adapter().sizeInBytes(item.key)) << item.path;
    }
}

TEST(FatBootSector, OemNameIsNotCheckedButTheParameterBlockIs) {
    Fat16Writer w;
    std::memcpy(&w.bytes[3], "CAMERA01", 8);
    w.entry(w.rootStart(), "HELLO   TXT", 0x20, 2, 5);
    w.setFat(2, 0xFFFF);
    std::memcpy(&w.bytes[w.clusterOffset(2)], "hello", 5);
    {
        ParsedFat image(w.bytes, "FAT16");
        ASSERT_TRUE(image.parsed.completed);
        ASSERT_NE(image.find("HELLO.TXT"), nullptr);
    }
    Fat16Writer zeroCluster = w;
    zeroCluster.bytes[13] = 0;  // cluster size 0
    Fat16Writer zeroFat = w;
    zeroFat.put16(22, 0);       // sectors per FAT 0: not FAT16, and FAT32's field is 0 too
    for (Fat16Writer* bad : {&zeroCluster, &zeroFat}) {
        ParsedFat image(bad->bytes, "FAT16");
        EXPECT_FALSE(image.parsed.completed);
        EXPECT_EQ(image.parsed.failure, "Selected Drive is not in Fat16 Format");
        ASSERT_EQ(image.sink.messages.size(), 1u);
        ParsedFat as32(bad->bytes, "FAT32");
        EXPECT_FALSE(as32.parsed.completed);
        EXPECT_EQ(as32.parsed.failure, "Selected Drive is not in Fat32 Format");
    }
}

TEST(FatChains, LoopsAndChainsLeavingTheVolumeEndWithTheirKnownBytes) {
    Fat16Writer w;
    // loop.bin: 2 -> 3 -> 2 ..., 40 MB claimed; away.bin: 4 -> a cluster beyond the FAT.
    w.entry(w.rootStart(), "LOOP    BIN", 0x20, 2, 40u << 20);
    w.setFat(2, 3);
    w.setFat(3, 2);
    w.fill(2, 'a');
    w.fill(3, 'b');
    w.entry(w.rootStart() + 32, "AWAY    BIN", 0x20, 4, 4096);
    w.setFat(4, 0xFF00);
    w.fill(4, 'c');
    w.entry(w.rootStart() + 64, "HUGE    BIN", 0x20, 60000, 0xFFFFFFFF);  // first cluster outside
    ParsedFat image(w.bytes, "FAT16");
    ASSERT_TRUE(image.parsed.completed);
    TempFolder out;
    const SaveReport loop = saveTo(image.adapter(), image.find("LOOP.BIN")->key, out.str() + "/loop");
    EXPECT_EQ(loop.status, SaveStatus::Incomplete);
    EXPECT_EQ(loop.bytesWritten, 1024u);  // the chain's clusters; the rest of the claim is missing
    EXPECT_EQ(loop.missingBytes, (40u << 20) - 1024);
    const FileData away = image.adapter().fileData(image.find("AWAY.BIN")->key);
    ASSERT_FALSE(away.runs.empty());
    EXPECT_EQ(away.runs[0].kind, DataRun::Kind::Volume);
    EXPECT_EQ(away.runs[0].length, 512u);
    EXPECT_EQ(away.runs.back().kind, DataRun::Kind::PastVolume);
    const FileData huge = image.adapter().fileData(image.find("HUGE.BIN")->key);
    ASSERT_EQ(huge.runs.size(), 1u);  // no allocation per cluster of a 4 GiB claim
    EXPECT_EQ(huge.runs[0].kind, DataRun::Kind::PastVolume);
}

// A root that cannot be read is a failed parse with the way on, not an empty volume.
TEST(FatBootSector, RootOutsideTheVolumeIsAnError) {
    std::vector<uint8_t> fat32 = fileBytes(fatFixture("fat32", "fat32_basic"));
    const uint32_t past = uint32_t(fat32.size() / 512);  // a cluster number past every cluster
    for (int i = 0; i < 4; ++i) fat32[44 + i] = uint8_t(past >> (8 * i));
    ParsedFat image(fat32, "FAT32");
    EXPECT_FALSE(image.parsed.completed);
    EXPECT_EQ(image.parsed.failure, "The root folder of this volume cannot be read: try the Deep or Advanced mode.");

    Fat16Writer empty;  // a volume that really is empty parses
    EXPECT_TRUE(ParsedFat(empty.bytes, "FAT16").parsed.completed);
}

TEST(FatDirectories, FoldersContainingThemselvesOrEachOtherAreWalkedOnce) {
    Fat16Writer w;
    w.entry(w.rootStart(), "A          ", 0x10, 2, 0);
    w.setFat(2, 0xFFFF);
    const uint64_t a = w.clusterOffset(2);
    w.entry(a, ".          ", 0x10, 2, 0);
    w.entry(a + 32, "..         ", 0x10, 0, 0);
    w.entry(a + 64, "SELF       ", 0x10, 2, 0);  // A again
    w.entry(a + 96, "B          ", 0x10, 3, 0);
    w.setFat(3, 3);                               // B's chain loops on itself
    const uint64_t b = w.clusterOffset(3);
    w.entry(b, ".          ", 0x10, 3, 0);
    w.entry(b + 32, "..         ", 0x10, 2, 0);
    w.entry(b + 64, "UP         ", 0x10, 2, 0);   // back to A
    w.entry(b + 96, "FILE    TXT", 0x20, 0, 0);
    ParsedFat image(w.bytes, "FAT16");
    ASSERT_TRUE(image.parsed.completed);
    std::vector<std::string> paths;
    for (const auto& i : image.items()) paths.push_back(i.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"A", "A/SELF", "A/B", "A/B/UP", "A/B/FILE.TXT"}));
    EXPECT_FALSE(image.adapter().hasChildren(image.find("A/SELF")->key));
    saveEverything(image);
}

TEST(FatNames, LongNamesNeedTheirChecksumAndOrder) {
    Fat16Writer w;
    const char* shortName = "REPORT~1TXT";
    const uint8_t sum = fatShortNameChecksum(reinterpret_cast<const uint8_t*>(shortName));
    uint64_t at = w.rootStart();
    // A good two-slot name, then one with a wrong checksum, one out of order, one too long.
    w.longName(at, 0x42, ".txt", sum), w.longName(at + 32, 0x01, "Annual report", sum);
    w.entry(at + 64, shortName, 0x20, 0, 0);
    at += 96;
    w.longName(at, 0x41, "wrong sum.txt", uint8_t(sum + 1));
    w.entry(at + 32, shortName, 0x20, 0, 0);
    at += 64;
    w.longName(at, 0x01, "second piece", sum), w.longName(at + 32, 0x42, "first", sum);
    w.entry(at + 64, shortName, 0x20, 0, 0);
    at += 96;
    w.longName(at, 0x55, "twenty-one sl", sum);  // 21 slots claimed
    w.entry(at + 32, shortName, 0x20, 0, 0);
    at += 64;
    // A deleted entry keeps its long name; its short name loses the first character.
    w.longName(at, 0xE5, "gone.txt", fatShortNameChecksum(reinterpret_cast<const uint8_t*>("GONE    TXT")));
    w.entry(at + 32, "\xE5ONE    TXT", 0x20, 0, 0);
    w.entry(at + 64, "\xE5OST    TXT", 0x20, 0, 0);
    ParsedFat image(w.bytes, "FAT16");
    std::vector<std::pair<std::string, bool>> got;
    for (const auto& i : image.items()) got.emplace_back(i.path, i.deleted);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{{"Annual report.txt", false},
                                                             {"REPORT~1.TXT", false},
                                                             {"REPORT~1.TXT", false},
                                                             {"REPORT~1.TXT", false},
                                                             {"gone.txt", true},
                                                             {"_OST.TXT", true}}));
}

TEST(FatNames, ShortNamesHonourTheCaseFlagsAndCodePage) {
    uint8_t slot[32] = {};
    std::memcpy(slot, "HELLO   TXT", 11);
    slot[12] = 0x18;
    EXPECT_EQ(fatShortName(slot, false), "hello.txt");
    slot[12] = 0x08;
    EXPECT_EQ(fatShortName(slot, false), "hello.TXT");
    std::memcpy(slot, "SUBDIR     ", 11);
    EXPECT_EQ(fatShortName(slot, false), "subdir");
    std::memcpy(slot, "\x05" "ABC    \x81  ", 11);
    slot[12] = 0;
    EXPECT_EQ(fatShortName(slot, false), "\xCF\x83" "ABC.\xC3\xBC");  // 0x05 stands for 0xE5
    EXPECT_EQ(fatShortName(slot, true), "_ABC.\xC3\xBC");
}

TEST(FatTopLevel, EveryFileAndFolderButTheVolumeLabel) {
    Fat16Writer w;
    uint64_t at = w.rootStart();
    w.entry(at, "MYDISK     ", 0x08, 0, 0);
    w.entry(at + 32, "RO      TXT", 0x01, 0, 0);
    w.entry(at + 64, "PLAIN   TXT", 0x00, 0, 0);
    w.entry(at + 96, "HIDDEN  TXT", 0x22, 0, 0);
    w.entry(at + 128, "SYSDIR     ", 0x17, 5, 0);  // a folder with read-only, hidden and system set
    w.setFat(5, 0xFFFF);
    w.entry(w.clusterOffset(5), ".          ", 0x10, 5, 0);
    w.entry(w.clusterOffset(5) + 32, "..         ", 0x10, 0, 0);
    w.entry(w.clusterOffset(5) + 64, "IN      TXT", 0x20, 0, 0);
    ParsedFat image(w.bytes, "fat");
    std::vector<std::string> paths;
    for (const auto& i : image.items()) paths.push_back(i.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"RO.TXT", "PLAIN.TXT", "HIDDEN.TXT", "SYSDIR", "SYSDIR/IN.TXT"}));
    EXPECT_EQ(image.adapter().texts(image.find("HIDDEN.TXT")->key).attributes, "-H-A");
    const EntryTexts t = image.adapter().texts(image.find("RO.TXT")->key);
    EXPECT_EQ(t.modification, "09/01/2024  12:00 PM");
    EXPECT_EQ(t.access, "09/01/2024 ");
}

TEST(FatDeleted, ReadFromTheFirstClusterThroughFreeClustersOnly) {
    Fat16Writer w;
    // A deleted 3-cluster file in 2, 4, 5 around a live file in 3.
    w.entry(w.rootStart(), "\xE5" "ONE    BIN", 0x20, 2, 1500);
    w.entry(w.rootStart() + 32, "LIVE    BIN", 0x20, 3, 512);
    w.setFat(3, 0xFFFF);
    w.fill(2, 'x'), w.fill(3, 'L'), w.fill(4, 'y'), w.fill(5, 'z');
    ParsedFat image(w.bytes, "FAT16");
    const FileData d = image.adapter().fileData(image.find("_ONE.BIN")->key);
    ASSERT_EQ(d.runs.size(), 2u);
    EXPECT_EQ(d.runs[0].offset, w.clusterOffset(2));
    EXPECT_EQ(d.runs[0].length, 512u);
    EXPECT_EQ(d.runs[1].offset, w.clusterOffset(4));
    EXPECT_EQ(d.runs[1].length, 988u);
    EXPECT_EQ(image.parser().deletedReadFromFreeClusters(), 1u);
    bool counted = false;
    for (const auto& s : image.sink.statuses)
        counted |= s == "1 deleted files are read from their first cluster on through free clusters";
    EXPECT_TRUE(counted);
}

TEST(FatTwelve, TwelveBitEntriesByClusterCountWhateverTheLabel) {
    Fat16Writer w;
    w.put16(19, 2048);  // 1 MiB: fewer than 4085 clusters
    // 12-bit FAT: cluster 2 -> 3 -> end, packed.
    std::vector<uint8_t> fat = {0xF8, 0xFF, 0xFF, 0x03, 0xF0, 0xFF};
    for (size_t i = 0; i < fat.size(); ++i) w.bytes[w.fatStart() + i] = fat[i];
    w.entry(w.rootStart(), "TWO     BIN", 0x20, 2, 1024);
    ParsedFat image(std::vector<uint8_t>(w.bytes.begin(), w.bytes.begin() + 2048 * 512), "FAT16");
    ASSERT_TRUE(image.parsed.completed);
    EXPECT_EQ(image.parser().entryBits(), 12u);
    const FileData d = image.adapter().fileData(image.find("TWO.BIN")->key);
    ASSERT_EQ(d.runs.size(), 1u);
    EXPECT_EQ(d.runs[0].length, 1024u);
    ParsedFat advanced(std::vector<uint8_t>(w.bytes.begin(), w.bytes.begin() + 2048 * 512), "FAT12",
                       ParseMode::Advanced, AdvancedChoice{0, -1, 0, false});
    EXPECT_FALSE(advanced.parsed.completed);
    EXPECT_NE(advanced.parsed.failure.find("FAT12"), std::string::npos);
}

TEST(FatAdvanced, RandomAndPlausibleJunkNeverHangsTheCarving) {
    Fat16Writer w;
    uint32_t x = 12345;
    for (size_t i = w.dataStart(); i < w.bytes.size(); ++i) {
        x = x * 1103515245 + 12345;
        w.bytes[i] = uint8_t(x >> 16);
    }
    // Plausible folder slots pointing anywhere, a FAT that loops everywhere.
    for (uint32_t c = 2; c < 200; ++c) {
        w.entry(w.clusterOffset(c), ".          ", 0x10, c, 0);
        w.entry(w.clusterOffset(c) + 32, "..         ", 0x10, 0, 0);
        w.entry(w.clusterOffset(c) + 64, "LOOPDIR    ", 0x10, 2 + (c * 7) % 198, 0);
        w.setFat(c, uint16_t(2 + (c * 13) % 198));
    }
    std::memset(w.bytes.data(), 0, 512);
    ParsedFat image(w.bytes, "FAT16", ParseMode::Advanced, AdvancedChoice{0, -1, 0, false});
    ASSERT_TRUE(image.parsed.completed) << image.parsed.failure;
    const auto items = image.items();
    EXPECT_GT(items.size(), 1u);
    // Junk claims gigabytes: its runs still cover exactly its size, in a bounded number of runs.
    for (const auto& item : items) {
        if (image.adapter().isFolder(item.key)) continue;
        const FileData d = image.adapter().fileData(item.key);
        uint64_t total = 0;
        for (const DataRun& r : d.runs) total += r.length;
        EXPECT_EQ(total, d.size) << item.path;
        EXPECT_LE(d.runs.size(), size_t(image.parser().clusterLimit()) + 1) << item.path;
    }
}

}  // namespace
