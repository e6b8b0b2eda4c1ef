#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "FaultyReader.h"
#include "disk/SalvagingRead.h"

using namespace quarvell;
using quarvell::testing::FaultyReader;

namespace {
std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i % 251 + 1);
    return v;
}
}  // namespace

TEST(SalvagingRead, OnlyTheBadUnitsStayZero) {
    FaultyReader r(pattern(8 * 512));
    r.badSectors = {2, 5};
    std::vector<uint8_t> buf(6 * 512, 0xEE);
    EXPECT_EQ(readSalvaging(r, 512, buf.data(), uint32_t(buf.size())), 2u * 512);
    for (size_t i = 0; i < buf.size(); ++i) {
        const uint64_t sector = (512 + i) / 512;
        if (sector == 2 || sector == 5) ASSERT_EQ(buf[i], 0) << i;
        else ASSERT_EQ(buf[i], r.data[512 + i]) << i;
    }

    // Units larger than a sector lose the whole unit that holds a bad sector.
    std::vector<uint8_t> blocks(8 * 512, 0xEE);
    EXPECT_EQ(readSalvaging(r, 0, blocks.data(), uint32_t(blocks.size()), 2048), 2u * 2048);
    EXPECT_EQ(blocks[2 * 512 - 1], r.data[2 * 512 - 1]);  // the unit's good part before the bad sector stays
    EXPECT_EQ(blocks[2 * 512], 0);
}

TEST(SalvagingRead, FullReadsPastTheEndAndNegativeOffsets) {
    FaultyReader r(pattern(1024));
    std::vector<uint8_t> buf(1024, 0xEE);
    EXPECT_EQ(readSalvaging(r, 0, buf.data(), 1024), 0u);
    EXPECT_EQ(buf, r.data);
    EXPECT_EQ(r.reads, 1);  // one read when everything comes

    std::vector<uint8_t> tail(1024, 0xEE);
    EXPECT_EQ(readSalvaging(r, 512, tail.data(), 1024), 512u);
    EXPECT_EQ(tail[0], r.data[512]);
    EXPECT_EQ(tail[600], 0);

    EXPECT_EQ(readSalvaging(r, -512, tail.data(), 512), 512u);
    EXPECT_EQ(tail[0], 0);
}

// A large range with a few bad sectors, each failed read slow as on a worn disk: only those
// sectors are lost, and the failure is narrowed down by halving instead of one read per sector.
TEST(SalvagingRead, FewBadSectorsInALargeRangeCostOnlyThemAndFewReads) {
    const uint32_t count = 4u << 20;  // 8192 sectors
    FaultyReader r(pattern(count + 4096));
    r.badSectors = {0, 100, 101, 5000, 8191};
    r.failDelay = std::chrono::milliseconds(5);
    std::vector<uint8_t> buf(count, 0xEE);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(readSalvaging(r, 0, buf.data(), count), 5u * 512);
    const auto took = std::chrono::steady_clock::now() - begin;
    for (size_t i = 0; i < buf.size(); ++i) {
        if (r.badSectors.count(i / 512)) ASSERT_EQ(buf[i], 0) << i;
        else ASSERT_EQ(buf[i], r.data[i]) << i;
    }
    // Each bad sector fails once per halving level (10 levels down to 8 sectors, then its own
    // sector); read one by one it would take 8192 reads.
    EXPECT_LE(r.failedReads, 1 + 5 * 12);
    EXPECT_LE(r.reads, 2 + 5 * 2 * 12 + 5 * 8);
    EXPECT_EQ(r.rereads, r.reads - 1);  // every read after the first goes the re-read way
    EXPECT_LT(took, std::chrono::seconds(2));

    // Ranges that are no whole number of units, with a bad sector in the short last unit.
    FaultyReader odd(pattern(20 * 512));
    odd.badSectors = {19};
    std::vector<uint8_t> part(19 * 512 + 100, 0xEE);
    EXPECT_EQ(readSalvaging(odd, 0, part.data(), uint32_t(part.size())), 100u + 0u);
    EXPECT_EQ(part[19 * 512 - 1], odd.data[19 * 512 - 1]);
    EXPECT_EQ(part[19 * 512], 0);

    // Blocks of 4 KiB: a block holding a bad sector is lost whole in the count.
    FaultyReader blocks(pattern(64 * 4096));
    blocks.badSectors = {8 * 10 + 3};
    std::vector<uint8_t> b(64 * 4096, 0xEE);
    EXPECT_EQ(readSalvaging(blocks, 0, b.data(), uint32_t(b.size()), 4096), 4096u);
    EXPECT_EQ(b[10 * 4096 + 3 * 512 - 1], blocks.data[10 * 4096 + 3 * 512 - 1]);  // what came before it stays
    EXPECT_EQ(b[10 * 4096 + 3 * 512], 0);
    EXPECT_EQ(b[11 * 4096], blocks.data[11 * 4096]);
}

// After a salvaged read a plain read goes on where the range ended.
TEST(SalvagingRead, LeavesThePositionAtTheRangesEnd) {
    FaultyReader r(pattern(16 * 512));
    r.badSectors = {3};
    std::vector<uint8_t> buf(8 * 512);
    readSalvaging(r, 0, buf.data(), uint32_t(buf.size()));
    std::vector<uint8_t> next(512);
    ASSERT_TRUE(r.read(next.data(), 512));
    EXPECT_EQ(next[0], r.data[8 * 512]);
}
