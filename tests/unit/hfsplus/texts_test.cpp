// The file list's texts of HFS+ entries: dates, permissions and sizes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsTexts.h"

using namespace quarvell;

namespace {

class HfsTexts : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (hadTz_) ::setenv("TZ", saved_.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    // Seconds since 1904 of 2010-01-01 at hh:mm UTC.
    static uint32_t at(int hour, int minute) { return 3345148800u + uint32_t(hour * 3600 + minute * 60); }

private:
    std::string saved_;
    bool hadTz_ = false;
};

TEST_F(HfsTexts, DatesUseTheTwelveHourRuleOfTheFileList) {
    EXPECT_EQ(hfsDateText(at(9, 5)), "01/01/2010  09:05 AM");
    EXPECT_EQ(hfsDateText(at(13, 5)), "01/01/2010  01:05 PM");
    EXPECT_EQ(hfsDateText(at(12, 0)), "01/01/2010  12:00 PM");  // noon
    EXPECT_EQ(hfsDateText(at(0, 0)), "01/01/2010  12:00 AM");   // midnight
    EXPECT_EQ(hfsDateText(at(23, 59)), "01/01/2010  11:59 PM");
    EXPECT_EQ(hfsDateText(0), "01/01/1904  12:00 AM");
}

TEST_F(HfsTexts, PermissionBitsInTheirFixedOrder) {
    EXPECT_EQ(hfsAttributeText(0x1A4), "-Owner:W-Owner:R-OR-GR");
    EXPECT_EQ(hfsAttributeText(0x1FF), "-Owner:X-Owner:W-Owner:R-OX-OW-OR-GX-GW-GR");
    EXPECT_EQ(hfsAttributeText(0x8000), "");
}

TEST_F(HfsTexts, EntryTextsOfFilesAndFolders) {
    HFSP parser;
    HfsCatalogEntry file;
    file.kind = kHfsFile;
    file.createDate = at(9, 5);
    file.accessDate = at(13, 5);
    file.contentModDate = at(12, 0);
    file.attributeModDate = at(1, 0);
    file.fileMode = 0x81A4;
    EntryTexts t = parser.formatHfsEntryTimes(file);
    EXPECT_EQ(t.creation, "01/01/2010  09:05 AM");
    EXPECT_EQ(t.access, "01/01/2010  01:05 PM");
    EXPECT_EQ(t.modification, "01/01/2010  12:00 PM");
    EXPECT_EQ(t.attributes, "-Owner:W-Owner:R-OR-GR");
    HfsFileTimes times = parser.computeHfsFileTimes(file);
    EXPECT_EQ(times.lastWrite, int64_t(at(12, 0)) - kHfsEpochToUnix);  // the shown modification time

    HfsCatalogEntry folder = file;
    folder.kind = kHfsFolder;
    EntryTexts f = parser.formatHfsEntryTimes(folder);
    EXPECT_TRUE(f.creation.empty() && f.access.empty() && f.modification.empty() && f.attributes.empty());
    EXPECT_EQ(parser.formatHfsEntrySize(folder), "0 Bytes");

    for (auto [size, text] : std::vector<std::pair<uint64_t, std::string>>{
             {1023, "1023 Bytes"}, {1024, "1.00 KB"}, {1572864, "1.50 MB"}, {uint64_t(3) << 30, "3.00 GB"}}) {
        file.logicalSize = size;
        EXPECT_EQ(parser.formatHfsEntrySize(file), text);
    }
}

}  // namespace
