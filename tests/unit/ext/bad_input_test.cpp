// Damaged and hostile volumes: superblock fields out of range, descriptors past the end, block
// maps and extent trees that loop or are too deep, directory records that lie, unreadable
// sectors, and a feature that is not understood. The parse always ends, and saving keeps every
// file's size and offsets while saying what is missing.
#include <gtest/gtest.h>

#include "ExtImage.h"
#include "../scan/TempFolder.h"
#include "common/Bytes.h"

using namespace quarvell;
using namespace quarvell::testing;

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = uint8_t(v >> (8 * i));
}
void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b.at(at) = uint8_t(v);
    b.at(at + 1) = uint8_t(v >> 8);
}

// A clean parse of a fixture, to find where things are before damaging a copy.
struct Layout {
    std::vector<uint8_t> bytes;
    std::unique_ptr<ParsedExt> clean;
    std::map<std::string, EntryKey> paths;
    explicit Layout(const std::string& name) : bytes(readBytes(fixtureImage(name))) {
        clean = std::make_unique<ParsedExt>(bytes);
        paths = clean->byPath();
    }
    uint32_t blockSize() const { return clean->parser().geometry().blockSize; }
    size_t inodeAt(const std::string& path) const {
        const ExtInodeEntry* e = clean->parser().findEntry(paths.at(path));
        return size_t(e->tableBlock * blockSize() + uint64_t(e->slot) * clean->parser().geometry().inodeSize);
    }
    std::vector<uint64_t> dataBlocks(const std::string& path) const {
        std::vector<uint64_t> out;
        for (const DataRun& r : clean->adapter().fileData(paths.at(path)).runs)
            if (r.kind == DataRun::Kind::Volume)
                for (uint64_t o = 0; o < r.length; o += blockSize()) out.push_back((r.offset + o) / blockSize());
        return out;
    }
};

SaveReport saveKey(ParsedExt& img, EntryKey key, const TempFolder& out, const std::string& name) {
    return saveTo(img.adapter(), key, out.str() + "/" + name);
}

TEST(ExtHostile, SuperblockFieldsOutOfRangeFallBackToABackup) {
    Layout l("ext2-1k");
    struct Patch { size_t at; uint32_t value; int width; };
    const std::vector<Patch> patches = {
        {1024 + 24, 7, 4}, {1024 + 24, 31, 4}, {1024 + 24, 0xFFFFFFFFu, 4},  // block size 128 KiB and beyond
        {1024 + 88, 0, 2}, {1024 + 88, 2048, 2}, {1024 + 88, 100, 2},         // inode size 0, > block, odd
        {1024 + 32, 0, 4}, {1024 + 40, 0, 4},                                 // no blocks / inodes per group
    };
    for (const Patch& p : patches) {
        std::vector<uint8_t> b = l.bytes;
        if (p.width == 4) put32(b, p.at, p.value);
        else put16(b, p.at, uint16_t(p.value));
        ParsedExt img(b);
        ASSERT_TRUE(img.parsed.completed) << p.at << "=" << p.value;
        EXPECT_GT(img.parser().geometry().position, 1024u);  // a backup superblock
        EXPECT_EQ(img.byPath().count("small.txt"), 1u) << p.at << "=" << p.value;
    }
}

TEST(ExtHostile, SixtyFourKilobyteBlocksAndHugeCountsEnd) {
    Layout l("ext2-1k");
    for (uint32_t logBlock : {5u, 6u}) {
        std::vector<uint8_t> b = l.bytes;
        put32(b, 1024 + 24, logBlock);
        ParsedExt img(b);  // must end; what it lists is garbage-in
        SUCCEED();
    }
    // Counts that put the descriptors and inode tables far past the volume's end.
    std::vector<uint8_t> b = l.bytes;
    put32(b, 1024 + 0, 0xFFFFFFF0u);
    put32(b, 1024 + 4, 0xFFFFFFF0u);
    ParsedExt img(b);
    EXPECT_LE(img.parser().groups().size(), b.size() / 32);
}

TEST(ExtHostile, NoSuperblockFailsWithTheDoneMessage) {
    std::vector<uint8_t> zeros(1 << 20, 0);
    ParsedExt img(zeros);
    EXPECT_FALSE(img.parsed.completed);
    EXPECT_FALSE(img.parsed.failure.empty());
    ASSERT_FALSE(img.sink.statuses.empty());
    EXPECT_EQ(img.sink.statuses.back(), "Scanning processing done.Select save button to save the data.");
}

TEST(ExtHostile, IndirectBlocksPointingAtThemselvesAndEachOther) {
    Layout l("ext2-1k");
    const std::vector<uint64_t> blocks = l.dataBlocks("medium.bin");
    ASSERT_GE(blocks.size(), 20u);
    const uint32_t bs = l.blockSize();
    const uint64_t t = blocks[0], d = blocks[1];
    std::vector<uint8_t> b = l.bytes;
    const size_t ino = l.inodeAt("medium.bin");
    put32(b, ino + 40 + 52, uint32_t(d));  // double indirect D: every word D (itself)
    put32(b, ino + 40 + 56, uint32_t(t));  // triple indirect T: every word D, D's words T
    for (uint32_t i = 0; i < bs / 4; ++i) {
        put32(b, t * bs + 4 * i, uint32_t(d));
        put32(b, d * bs + 4 * i, uint32_t(d));
    }
    put32(b, ino + 4, 0xFFFFFFF0u);  // and a size that asks for every block the pointers reach
    ParsedExt img(b);
    ASSERT_TRUE(img.parsed.completed);
    const FileData fd = img.adapter().fileData(img.byPath().at("medium.bin"));
    bool missing = false;
    for (const DataRun& r : fd.runs) missing |= r.kind == DataRun::Kind::PastVolume;
    EXPECT_TRUE(missing);
    EXPECT_LT(fd.runs.size(), 70000u);
}

TEST(ExtHostile, ExtentTreesThatLoopOrAreTooDeep) {
    Layout l("ext4-1k-extents");
    const size_t ino = l.inodeAt("pieces.bin");
    const uint32_t bs = l.blockSize();
    ASSERT_EQ(le16(&l.bytes[ino + 40]), 0xF30A);
    ASSERT_EQ(le16(&l.bytes[ino + 40 + 6]), 2);  // a depth-2 tree
    const uint64_t level1 = le32(&l.bytes[ino + 40 + 12 + 4]);
    auto check = [&](std::vector<uint8_t> b, const char* what) {
        ParsedExt img(b);
        ASSERT_TRUE(img.parsed.completed) << what;
        const EntryKey key = img.byPath().at("pieces.bin");
        TempFolder out;
        const SaveReport r = saveKey(img, key, out, "p");
        EXPECT_EQ(r.bytesWritten, img.adapter().sizeInBytes(key)) << what;
        EXPECT_EQ(r.status, SaveStatus::Incomplete) << what;
        EXPECT_GT(r.missingBytes, 0u) << what;
    };
    {   // the level-1 node's entries all point at itself
        std::vector<uint8_t> b = l.bytes;
        const uint16_t n = le16(&b[level1 * bs + 2]);
        for (uint16_t i = 0; i < n; ++i) put32(b, level1 * bs + 12 + 12 * i + 4, uint32_t(level1));
        put16(b, level1 * bs + 6, 1);
        check(b, "self loop");
    }
    {   // the level-1 node claims the root's depth, pointing back at a node of the same depth
        std::vector<uint8_t> b = l.bytes;
        put16(b, level1 * bs + 6, 2);
        check(b, "same depth");
    }
    {   // depth above 5
        std::vector<uint8_t> b = l.bytes;
        put16(b, ino + 40 + 6, 6);
        check(b, "depth 6");
    }
    {   // more entries than the node holds
        std::vector<uint8_t> b = l.bytes;
        put16(b, level1 * bs + 2, 5000);
        check(b, "entry count");
    }
}

TEST(ExtHostile, DirectoryRecordsThatLie) {
    Layout l("ext2-1k");
    const ExtInodeEntry* rootDir = l.clean->parser().findEntry(1);
    ASSERT_NE(rootDir, nullptr);
    const uint32_t bs = l.blockSize();
    std::vector<uint8_t> inode = l.clean->parser().readInode(1);
    const uint64_t block = le32(&inode[40]);
    const size_t at = size_t(block * bs);
    // The third record (after "." and ".."): its offset.
    const size_t third = at + le16(&l.bytes[at + 4]) + le16(&l.bytes[at + le16(&l.bytes[at + 4]) + 4]);
    struct Case { size_t at; uint32_t value; int width; const char* what; };
    const std::vector<Case> cases = {
        {at + 4, 0, 2, "rec_len 0 at the first record"},
        {third + 4, 0xFFFC, 2, "rec_len past the block"},
        {third + 4, 4, 2, "rec_len below the record's size"},
        {third + 6, 255, 1, "name past the block"},
        {third, 0xFFFFFFF0u, 4, "inode beyond the count"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = l.bytes;
        if (c.width == 4) put32(b, c.at, c.value);
        else if (c.width == 2) put16(b, c.at, uint16_t(c.value));
        else b.at(c.at) = uint8_t(c.value);
        ParsedExt img(b);
        ASSERT_TRUE(img.parsed.completed) << c.what;
        for (const auto& [path, key] : img.byPath())
            EXPECT_LT(key, int64_t(img.parser().geometry().inodesCount)) << c.what;
    }
}

TEST(ExtFaults, UnreadableDataBlockIsZerosInPlace) {
    Layout l("ext2-1k");
    const std::vector<uint64_t> blocks = l.dataBlocks("medium.bin");
    const uint32_t bs = l.blockSize();
    const uint64_t badSector = blocks[2] * bs / 512;
    TempFolder out;
    const SaveReport good = saveKey(*l.clean, l.paths.at("medium.bin"), out, "good");
    ParsedExt img(l.bytes, {badSector});
    const SaveReport bad = saveKey(img, img.byPath().at("medium.bin"), out, "bad");
    EXPECT_EQ(bad.status, SaveStatus::Incomplete);
    EXPECT_EQ(bad.bytesWritten, good.bytesWritten);
    EXPECT_EQ(bad.unreadableBytes, 512u);
    std::vector<uint8_t> expected = readBytes(good.outputPath);
    std::fill(expected.begin() + 2 * bs, expected.begin() + 2 * bs + 512, 0);
    EXPECT_EQ(readBytes(bad.outputPath), expected);
}

TEST(ExtFaults, UnreadableInodeSectorCostsOnlyItsInodes) {
    Layout l("ext2-1k");
    const size_t ino = l.inodeAt("small.txt");
    ParsedExt img(l.bytes, {ino / 512});
    ASSERT_TRUE(img.parsed.completed);
    EXPECT_GE(img.parsed.unreadableMetadata, 512u);
    const auto listed = img.byPath();
    // The name is still known from its folder; its data cannot be, and saving says so.
    ASSERT_EQ(listed.count("small.txt"), 1u);
    TempFolder out;
    EXPECT_EQ(saveKey(img, listed.at("small.txt"), out, "s").status, SaveStatus::Failed);
    EXPECT_EQ(listed.count("many/last-group.txt"), 1u);
    EXPECT_EQ(listed.count("medium.bin"), 1u);
}

TEST(ExtFaults, ZeroedRootInodeIsAnError) {
    Layout l("ext2-1k");
    std::vector<uint8_t> bytes = l.bytes;
    // Inode 2 is the second slot of the first group's table (1 KiB blocks: descriptors in block 2).
    ASSERT_EQ(l.blockSize(), 1024u);
    const uint32_t table = uint32_t(bytes[2048 + 8]) | uint32_t(bytes[2048 + 9]) << 8 | uint32_t(bytes[2048 + 10]) << 16;
    const size_t at = size_t(table) * 1024 + l.clean->parser().geometry().inodeSize;
    ASSERT_EQ(bytes[at + 1] & 0xF0, 0x40);  // a directory
    std::fill(bytes.begin() + at, bytes.begin() + at + 128, 0);
    ParsedExt img(bytes);
    EXPECT_FALSE(img.parsed.completed);
    EXPECT_EQ(img.parsed.failure, "The root folder of this volume cannot be read: inode 2 is not a directory in use.");
}

TEST(ExtFaults, EncryptionIsNamedAndItsFilesAreNotSaved) {
    Layout l("ext4-4k");
    std::vector<uint8_t> b = l.bytes;
    put32(b, 1024 + 96, le32(&b[1024 + 96]) | 0x10000u);
    const size_t ino = l.inodeAt("small.txt");
    put32(b, ino + 32, le32(&b[ino + 32]) | 0x800u);
    ParsedExt img(b);
    ASSERT_TRUE(img.parsed.completed);
    bool named = false;
    for (const std::string& s : img.sink.statuses) named |= s.find("encrypt") != std::string::npos;
    EXPECT_TRUE(named);
    const auto listed = img.byPath();
    ASSERT_EQ(listed.count("small.txt"), 1u);
    EXPECT_FALSE(img.adapter().fileData(listed.at("small.txt")).unsupported.empty());
    TempFolder out;
    EXPECT_EQ(saveKey(img, listed.at("small.txt"), out, "s").status, SaveStatus::Failed);
    EXPECT_EQ(saveKey(img, listed.at("medium.bin"), out, "m").status, SaveStatus::Complete);
}

}  // namespace
