#include <gtest/gtest.h>

#include "common/DateTextCache.h"
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

// The texts are built without printf; they must read exactly as printf would have written them,
// rounding of halves and odd years included.
TEST(TextFormat, SizeAndDateTextsMatchTheirPrintfForms) {
    for (uint64_t bytes : {uint64_t(1024 + 5), uint64_t(1152), uint64_t(1535), uint64_t(10239), uint64_t(1048575),
                           uint64_t(1) << 40, (uint64_t(1) << 53) + 1, ~uint64_t(0)}) {
        const double b = double(bytes);
        const std::string want = bytes >= (uint64_t(1) << 30) ? format("%.2f GB", b / double(1 << 30))
                                 : bytes >= (uint64_t(1) << 20) ? format("%.2f MB", b / double(1 << 20))
                                                                : format("%.2f KB", b / 1024.0);
        EXPECT_EQ(sizeText(bytes), want) << bytes;
    }
    for (int seed = 0; seed < 2000; ++seed) {
        const uint64_t bytes = (uint64_t(seed) * 2654435761u) % (uint64_t(1) << 34);
        if (bytes < 1024) continue;
        const double b = double(bytes);
        const std::string want = bytes >= (uint64_t(1) << 30) ? format("%.2f GB", b / double(1 << 30))
                                 : bytes >= (uint64_t(1) << 20) ? format("%.2f MB", b / double(1 << 20))
                                                                : format("%.2f KB", b / 1024.0);
        ASSERT_EQ(sizeText(bytes), want) << bytes;
    }
    std::tm t{};
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    for (int year : {1901, 1970, 2038, 9999}) {
        t.tm_year = year - 1900;
        EXPECT_EQ(dateText(t), format("12/31/%d  11:59 PM", year));
    }
    t.tm_year = 12000 - 1900;  // past four digits: printf's form
    EXPECT_EQ(dateText(t), "12/31/12000  11:59 PM");
}

TEST(TextFormat, CachedDateTextsAreTheConvertedOnes) {
    DateTextCache cache;
    // Far more seconds than slots, revisited: every answer must be the conversion of its own second.
    for (int round = 0; round < 3; ++round)
        for (int64_t s = 0; s < 5000; ++s) {
            const int64_t seconds = 1700000000 + s * 61 - (s % 7) * 86400 * 200;
            ASSERT_EQ(cache.text(seconds), dateTextFromUnix(seconds)) << seconds;
        }
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
