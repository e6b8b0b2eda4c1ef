#include <gtest/gtest.h>

#include "common/TextFormat.h"
#include "common/Utf.h"
#include "partition/VolumeEntry.h"

using namespace quarvell;

TEST(TextFormat, SizeTextUnits) {
    EXPECT_EQ(sizeText(0), "0 Bytes");
    EXPECT_EQ(sizeText(1023), "1023 Bytes");
    EXPECT_EQ(sizeText(1024), "1.00 KB");
    EXPECT_EQ(sizeText(1536), "1.50 KB");
    EXPECT_EQ(sizeText(uint64_t(5) << 20), "5.00 MB");
    EXPECT_EQ(sizeText(uint64_t(3) << 30), "3.00 GB");
}

TEST(TextFormat, DateTextUsesA12HourClock) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 1;
    t.tm_mday = 29;
    t.tm_hour = 0;
    t.tm_min = 5;
    EXPECT_EQ(dateText(t), "02/29/2024  12:05 AM");
    t.tm_hour = 13;
    EXPECT_EQ(dateText(t), "02/29/2024  01:05 PM");
    t.tm_hour = 12;
    EXPECT_EQ(dateText(t), "02/29/2024  12:05 PM");
}

TEST(TextFormat, LeadingNumberAndVolumeLength) {
    EXPECT_EQ(leadingNumber("100   MB"), 100);
    EXPECT_EQ(leadingNumber("  42"), 42);
    EXPECT_EQ(leadingNumber("MB"), 0);
    EXPECT_EQ(leadingNumber("-3"), -3);
    EXPECT_EQ(leadingNumber("99999999999999999999999"), 999999999999999999);

    VolumeEntry v;
    v.sizeText = "100  MB";
    EXPECT_EQ(v.lengthInSectors(), 204800u);
    v.sectorCount = 204863;  // exact when the table gives it
    EXPECT_EQ(v.lengthInSectors(), 204863u);
    v.sectorCount = 0;
    v.sizeText = "0";
    EXPECT_EQ(v.lengthInBytes(), 0u);
}

TEST(Utf, Utf16ToUtf8WithSurrogates) {
    const uint8_t le[] = {'a', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};  // a, é, U+1F600, lone high
    EXPECT_EQ(utf16leToUtf8(le, 5), "a\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
    const uint8_t be[] = {0, 'Z', 0x20, 0xAC};
    EXPECT_EQ(utf16beToUtf8(be, 2), "Z\xE2\x82\xAC");
}
