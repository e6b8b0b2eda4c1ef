#include <gtest/gtest.h>

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
