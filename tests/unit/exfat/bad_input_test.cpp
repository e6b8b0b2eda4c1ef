// Hand-built and damaged exFAT volumes: geometry limits, looping chains, directories longer
// than a cluster or inside themselves, entry sets that lie about their lengths and counts,
// deleted files whose chains are gone, and the date texts.
#include <gtest/gtest.h>

#include <random>

#include "../scan/TempFolder.h"
#include "ExfatImage.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

uint32_t timestamp(int year, int month, int day, int hour, int minute) {
    const uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
    return date << 16 | uint32_t(hour << 11 | minute << 5);
}

uint64_t runBytes(const FileData& d) {
    uint64_t n = 0;
    for (const DataRun& r : d.runs) n += r.length;
    return n;
}

TEST(ExfatTexts, HoursFromThirteenArePmAndTwelveIsAm) {
    ExfatBuilder b;
    ExfatBuilder::Set s;
    s.name = u"one.txt";
    s.modified = timestamp(2024, 3, 15, 13, 0);
    size_t slot = b.addSet(2, 0, s);
    s.name = u"noon.txt";
    s.modified = timestamp(2024, 3, 15, 12, 0);
    slot = b.addSet(2, slot, s);
    s.name = u"midnight.txt";
    s.modified = timestamp(2024, 3, 15, 0, 7);
    slot = b.addSet(2, slot, s);
    s.name = u"bad.txt";
    s.modified = timestamp(2024, 13, 40, 25, 0);
    b.addSet(2, slot, s);
    ParsedExfat p(b.bytes);
    ASSERT_TRUE(p.parsed.completed);
    EXPECT_EQ(p.adapter().texts(p.find("one.txt")->key).modification, "03/15/2024  01:00 PM");
    EXPECT_EQ(p.adapter().texts(p.find("noon.txt")->key).modification, "03/15/2024  12:00 PM");
    EXPECT_EQ(p.adapter().texts(p.find("midnight.txt")->key).modification, "03/15/2024  12:07 AM");
    EXPECT_TRUE(p.adapter().fileData(p.find("one.txt")->key).modificationTime.has_value());
    EXPECT_FALSE(p.adapter().fileData(p.find("bad.txt")->key).modificationTime.has_value());
}

TEST(ExfatGeometry, ImpossibleShiftsAreRefusedAndTheSmallestClusterWorks) {
    ExfatBuilder b;  // 512-byte clusters
    ExfatBuilder::Set s;
    s.name = u"x.txt";
    b.addSet(2, 0, s);
    EXPECT_NE(ParsedExfat(b.bytes).find("x.txt"), nullptr);
    for (uint8_t spc : {uint8_t(17), uint8_t(30), uint8_t(255)}) {
        std::vector<uint8_t> bad = b.bytes;
        bad[109] = spc;
        ParsedExfat p(bad);
        EXPECT_FALSE(p.parsed.completed);
        EXPECT_EQ(p.sink.messages, std::vector<std::string>{"Selected Drive is not in exFat Format"});
    }
    std::vector<uint8_t> outside = b.bytes;
    outside[98] = 0x01;  // root cluster beyond the heap: the parse finishes after "error..."
    ParsedExfat p(outside);
    EXPECT_TRUE(p.parsed.completed);
    ASSERT_FALSE(p.sink.messages.empty());
    EXPECT_EQ(p.sink.messages[0], "error...");
    EXPECT_GT(p.parsed.unreadableMetadata, 0u);
}

TEST(ExfatDirectories, ReadForTheirWholeLengthByChainOrByDataLength) {
    ExfatBuilder b;
    b.setFat(2, 3);  // root: clusters 2 and 3
    b.setFat(3, 0xFFFFFFFF);
    ExfatBuilder::Set s;
    s.name = u"first.txt";
    b.addSet(2, 0, s);
    s.name = u"second.txt";
    b.addSet(3, 0, s);
    ExfatBuilder::Set dir;
    dir.name = u"flat";
    dir.attributes = 0x10;
    dir.flags = 0x03;  // no FAT chain: clusters 10 and 11 by the data length
    dir.firstCluster = 10;
    dir.validLength = dir.dataLength = 1024;
    b.addSet(2, 3, dir);
    s.name = u"in-first.txt";
    b.addSet(10, 0, s);
    s.name = u"in-second.txt";
    b.addSet(11, 0, s);
    ParsedExfat p(b.bytes);
    for (const char* path : {"first.txt", "second.txt", "flat/in-first.txt", "flat/in-second.txt"})
        EXPECT_NE(p.find(path), nullptr) << path;
}

TEST(ExfatDirectories, LoopsAndADirectoryInsideItselfEnd) {
    ExfatBuilder b;
    b.setFat(2, 3);
    b.setFat(3, 2);  // the root's chain comes back to its start
    ExfatBuilder::Set s;
    s.name = u"a.txt";
    b.addSet(2, 0, s);
    ExfatBuilder::Set self;
    self.name = u"self";
    self.attributes = 0x10;
    self.firstCluster = 2;  // the root again
    self.validLength = self.dataLength = 512;
    b.addSet(3, 0, self);
    ExfatBuilder::Set loop;
    loop.name = u"loop.bin";
    loop.firstCluster = 20;
    loop.validLength = loop.dataLength = 512 * 1000;
    b.addSet(3, 3, loop);
    b.setFat(20, 21);
    b.setFat(21, 20);
    ParsedExfat p(b.bytes);
    ASSERT_TRUE(p.parsed.completed);
    EXPECT_EQ(p.parser().entries().size(), 4u);  // DUMMY ENTRY, a.txt, self, loop.bin
    EXPECT_FALSE(p.adapter().hasChildren(p.find("self")->key));
    const FileData d = p.adapter().fileData(p.find("loop.bin")->key);
    EXPECT_EQ(runBytes(d), d.size);
    ASSERT_GE(d.runs.size(), 2u);
    EXPECT_EQ(d.runs.back().kind, DataRun::Kind::PastVolume);  // the rest of the chain is missing
    EXPECT_EQ(d.runs.back().length, 512u * 998);
}

TEST(ExfatEntrySets, LengthsAndCountsThatLie) {
    ExfatBuilder b;
    ExfatBuilder::Set s;
    s.name = u"abcdefghijklmnopqrstu";  // 21 characters, two name entries
    s.nameLength = 200;
    size_t slot = b.addSet(2, 0, s);
    s.name = u"zero-count.txt";
    s.nameLength = -1;
    s.secondaryCount = 0;
    slot = b.addSet(2, slot, s);
    s.name = u"huge-count.txt";
    s.secondaryCount = 255;
    slot = b.addSet(2, slot, s);
    s.name = u"after.txt";
    s.secondaryCount = -1;
    s.nameLength = 3;  // shorter than the pieces: cut
    b.addSet(2, slot, s);
    ParsedExfat p(b.bytes);
    for (const char* path : {"abcdefghijklmnopqrstu", "zero-count.txt", "huge-count.txt", "aft"})
        EXPECT_NE(p.find(path), nullptr) << path;
}

TEST(ExfatData, TerabyteLengthsStayWithinTheVolume) {
    ExfatBuilder b;
    ExfatBuilder::Set s;
    s.name = u"huge.bin";
    s.firstCluster = 5;
    s.validLength = s.dataLength = uint64_t(1) << 42;
    b.setFat(5, 0xFFFFFFFF);
    b.addSet(2, 0, s);
    ParsedExfat p(b.bytes);
    const EntryKey key = p.find("huge.bin")->key;
    EXPECT_LE(p.adapter().sizeInBytes(key), b.bytes.size());
    TempFolder out;
    const SaveReport r = saveTo(p.adapter(), key, out.str() + "/huge.bin");
    EXPECT_EQ(r.status, SaveStatus::Incomplete);
    EXPECT_EQ(r.bytesWritten, 512u);  // its one cluster; the rest of the claim is missing, not written
    EXPECT_EQ(r.missingBytes, p.adapter().sizeInBytes(key) - 512);
}

TEST(ExfatData, ValidDataLengthBelowDataLengthReadsAsZeros) {
    ExfatBuilder b;
    ExfatBuilder::Set s;
    s.name = u"prealloc.bin";
    s.firstCluster = 5;
    s.flags = 0x03;
    s.validLength = 700;
    s.dataLength = 1536;
    std::memset(b.cluster(5), 'A', 1536);
    b.addSet(2, 0, s);
    ParsedExfat p(b.bytes);
    TempFolder out;
    const SaveReport r = saveTo(p.adapter(), p.find("prealloc.bin")->key, out.str() + "/p.bin");
    EXPECT_EQ(r.status, SaveStatus::Complete);
    std::ifstream in(r.outputPath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 1536u);
    EXPECT_EQ(bytes.substr(0, 700), std::string(700, 'A'));
    EXPECT_EQ(bytes.substr(700), std::string(836, '\0'));
}

TEST(ExfatData, DeletedChainedFilesSkipLiveClustersOrFollowAnIntactOldChain) {
    ExfatBuilder b;
    for (uint32_t c = 5; c < 13; ++c) std::memset(b.cluster(c), 'a' + int(c), 512);
    ExfatBuilder::Set live;
    live.name = u"live.bin";
    live.firstCluster = 6;
    live.validLength = live.dataLength = 512;
    b.setFat(6, 0xFFFFFFFF);
    size_t slot = b.addSet(2, 0, live);
    ExfatBuilder::Set gone;
    gone.name = u"gone.bin";  // chain cleared by the delete: 5, then 7 and 8 (6 is live)
    gone.deleted = true;
    gone.firstCluster = 5;
    gone.validLength = gone.dataLength = 1536;
    slot = b.addSet(2, slot, gone);
    ExfatBuilder::Set kept = gone;
    kept.name = u"kept.bin";  // its old chain 10 -> 12 -> 9 still stands in the FAT
    kept.firstCluster = 10;
    b.setFat(10, 12);
    b.setFat(12, 9);
    b.setFat(9, 0xFFFFFFFF);
    b.addSet(2, slot, kept);
    ParsedExfat p(b.bytes);
    auto bytesOf = [&](const char* name) {
        TempFolder out;
        const SaveReport r = saveTo(p.adapter(), p.find(name)->key, out.str() + "/f");
        std::ifstream in(r.outputPath, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(bytesOf("gone.bin"), std::string(512, 'a' + 5) + std::string(512, 'a' + 7) + std::string(512, 'a' + 8));
    EXPECT_EQ(bytesOf("kept.bin"), std::string(512, 'a' + 10) + std::string(512, 'a' + 12) + std::string(512, 'a' + 9));
    EXPECT_TRUE(p.adapter().isDeleted(p.find("gone.bin")->key, kNoData));
}

TEST(ExfatDirectories, ThousandsOfNestedFoldersAreWalkedWithoutRecursion) {
    const uint32_t depth = 3000;
    ExfatBuilder b(0, 64 + depth + 16);
    for (uint32_t d = 0; d < depth; ++d) {
        ExfatBuilder::Set s;
        s.name = u"d";
        s.attributes = 0x10;
        s.firstCluster = 3 + d;
        s.validLength = s.dataLength = 512;
        b.setFat(3 + d, 0xFFFFFFFF);
        b.addSet(d == 0 ? 2 : 2 + d, 0, s);
    }
    ParsedExfat p(b.bytes);
    ASSERT_TRUE(p.parsed.completed);
    EXPECT_EQ(p.parser().entries().size(), depth + 1);
}

TEST(ExfatDamage, RandomlyDamagedFixturesNeverCrashOrOverrun) {
    const std::vector<uint8_t> clean = unpackFixture("basic");
    if (clean.empty()) GTEST_SKIP() << "xz could not unpack basic";
    std::mt19937 rng(1234);
    for (int round = 0; round < 24; ++round) {
        std::vector<uint8_t> bytes = clean;
        // Damage the boot region, the FAT and the directories' clusters (the heap's start).
        for (int k = 0; k < 400; ++k) {
            const size_t region = rng() % 3;
            const size_t base = region == 0 ? 0 : region == 1 ? (1u << 20) : (2u << 20);
            bytes[base + rng() % (region == 0 ? 512 : 196608)] = uint8_t(rng());
        }
        AdvancedChoice choice;
        choice.candidate = 0;
        ParsedExfat p(bytes, round % 2 ? ParseMode::Advanced : ParseMode::Standard, choice);
        for (size_t i = 1; i < p.parser().entries().size(); ++i) {
            const FileData d = p.adapter().fileData(EntryKey(i));
            if (!d.unsupported.empty()) continue;
            EXPECT_EQ(runBytes(d), d.size);
            EXPECT_LE(d.size, bytes.size());
        }
    }
}

}  // namespace
