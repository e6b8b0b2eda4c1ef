// The volume list's rules without widgets: numbering, custom volumes, Filter, spin steps, the
// answers of Next, and which recovery modes a label is offered.
#include <gtest/gtest.h>

#include "partition/ParseModeOptions.h"
#include "partition/VolumeListModel.h"

using namespace quarvell;

namespace {

VolumeEntry found(const std::string& fs, const std::string& size, int64_t start, const std::string& name = "7") {
    VolumeEntry v;
    v.fileSystem = fs;
    v.sizeText = size;
    v.startSector = start;
    v.volumeName = name;
    return v;
}

std::vector<std::string> names(const VolumeListModel& m) {
    std::vector<std::string> out;
    for (const auto& r : m.rows()) out.push_back(r.shown.volumeName);
    return out;
}

std::vector<int64_t> starts(const VolumeListModel& m) {
    std::vector<int64_t> out;
    for (const auto& r : m.rows()) out.push_back(r.shown.startSector);
    return out;
}

NextChoice plain(int row) {
    NextChoice c;
    c.row = row;
    return c;
}

NextChoice custom(int row, const std::string& start, const std::string& end, const std::string& treatAs) {
    return NextChoice{row, true, start, end, treatAs};
}

}  // namespace

TEST(VolumeListModel, StandardResultsAreNumberedFromTheTopInTheOrderFound) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("NTFS", "100   MB", 2048, "9"), found("FAT32", "50   MB", 206848, "9"),
                           found("extX", "10   MB", 309248, "9")});
    EXPECT_EQ(names(m), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(starts(m), (std::vector<int64_t>{2048, 206848, 309248}));
    EXPECT_EQ(m.volumes()[2].volumeName, "2");
}

TEST(VolumeListModel, AdvancedFindsAndCustomVolumesGoOnTopThere) {
    VolumeListModel m(ScanMode::Advanced);
    m.addFound(found("NTFS", "7   MB", 2048, "0"));
    m.addFound(found("FAT32", "34  MB", 20480, "1"));
    EXPECT_EQ(names(m), (std::vector<std::string>{"1", "0"}));
    EXPECT_EQ(m.addCustomVolume(), 0);
    const VolumeRow& row = m.rows().front();
    EXPECT_EQ(row.shown.volumeName, "2");
    EXPECT_EQ(row.shown.fileSystem, "CUSTOM ");
    EXPECT_EQ(row.shown.sizeText, "0");
    EXPECT_EQ(row.shown.startSector, 0);

    VolumeListModel s(ScanMode::Standard);
    s.showStandardResults({found("NTFS", "7   MB", 2048)});
    EXPECT_EQ(s.addCustomVolume(), 1);
    EXPECT_EQ(s.rows().back().shown.fileSystem, "CUSTOM ");
}

TEST(VolumeListModel, EndSectorComesFromTheRowsSize) {
    VolumeRow row{found("NTFS", "100   MB", 2048), {}};
    EXPECT_EQ(VolumeListModel::endSectorText(row), "206847");
    row.shown.sizeText = "0";
    EXPECT_EQ(VolumeListModel::endSectorText(row), "0");
    row.shown.sizeText = "-3  MB";
    EXPECT_EQ(VolumeListModel::endSectorText(row), "0");
    row.shown.sizeText = "3";  // a GPT name's bare number
    EXPECT_EQ(VolumeListModel::endSectorText(row), "8191");
}

TEST(VolumeListModel, CustomSectorsGiveTheSizeInMiB) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("NTFS", "8   MB", 63)});
    NextOutcome out = m.next(custom(0, "2048", "206847", "HFS+"));
    ASSERT_EQ(out.target, NextTarget::ModePage);
    EXPECT_EQ(out.selected.startSector, 2048);
    EXPECT_EQ(out.selected.sizeText, "100");
    EXPECT_EQ(out.selected.fileSystem, "HFS+");
    EXPECT_EQ(out.selected.lengthInSectors(), 204800u);

    out = m.next(custom(0, "5", "5", "HFS+"));
    EXPECT_EQ(out.selected.sizeText, "0");
    out = m.next(custom(0, "100", "50", "HFS+"));
    EXPECT_EQ(out.selected.sizeText, "0");
    EXPECT_EQ(out.selected.lengthInSectors(), 0u);
}

TEST(VolumeListModel, NextRefusesNoRowAndUnknownLabelsInAnyCase) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("Unknown", "1   MB", 1), found("UNKNOWN", "1   MB", 9), found("unknown", "1", 20)});
    EXPECT_EQ(m.next(plain(-1)).message, "please select a valid volume.");
    EXPECT_EQ(m.next(plain(5)).message, "please select a valid volume.");
    for (int row = 0; row < 3; ++row) {
        NextOutcome out = m.next(plain(row));
        EXPECT_EQ(out.target, NextTarget::None);
        EXPECT_EQ(out.message, "can not parse unknown volume");
    }
}

TEST(VolumeListModel, RawNeedsTheCustomBox) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("FAT32", "34   MB", 2048)});
    NextChoice unticked{0, false, "0", "0", "RAW"};
    EXPECT_EQ(m.next(unticked).target, NextTarget::ModePage);
    EXPECT_FALSE(m.customEdited());

    NextOutcome raw = m.next(custom(0, "2048", "71679", "raw"));
    EXPECT_EQ(raw.target, NextTarget::RawPage);
    EXPECT_EQ(raw.selected.fileSystem, "RAW");
    EXPECT_EQ(raw.selected.sizeText, "34");
    EXPECT_TRUE(m.customEdited());
}

TEST(VolumeListModel, UnknownEntryParsesOnlyAsCustomHfsPlus) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("Unknown", "95   MB", 1)});
    EXPECT_EQ(m.next(plain(0)).target, NextTarget::None);
    NextOutcome out = m.next(custom(0, "1", "194560", "HFS+"));
    EXPECT_EQ(out.target, NextTarget::ModePage);
    EXPECT_EQ(out.selected.fileSystem, "HFS+");
}

TEST(VolumeListModel, AfterACustomNextTheUntickedRowIsReadBackFromItsTexts) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("Unknown", "8   MB", 2048)});
    m.next(custom(0, "4096", "8191", "HFS+"));
    NextOutcome out = m.next(plain(0));
    EXPECT_EQ(out.target, NextTarget::None) << "the row says Unknown again";
    EXPECT_EQ(out.selected.startSector, 2048);
    EXPECT_EQ(out.selected.sizeText, "8");
    EXPECT_EQ(out.selected.volumeName, "0");
}

TEST(VolumeListModel, TreatAsLabelsOtherThanTheKnownOnesLeaveTheLabel) {
    VolumeListModel m(ScanMode::Standard);
    m.showStandardResults({found("FAT32", "34   MB", 2048)});
    EXPECT_EQ(m.next(custom(0, "2048", "4095", "zfs")).selected.fileSystem, "FAT32");
    EXPECT_EQ(m.next(custom(0, "2048", "4095", "hfs+")).selected.fileSystem, "hfs+");
}

TEST(VolumeListModel, FilterKeepsRecordsOneSectorAfterTheirPredecessor) {
    VolumeListModel m(ScanMode::Advanced);
    for (int64_t start : {63, 64, 2048, 2049}) m.addFound(found("NTFS", "7   MB", start));
    m.filter();
    EXPECT_EQ(starts(m), (std::vector<int64_t>{2049, 64}));
    EXPECT_EQ(names(m), (std::vector<std::string>{"3", "1"}));
    EXPECT_EQ(m.volumes().size(), 4u);

    VolumeListModel one(ScanMode::Advanced);
    one.addFound(found("NTFS", "7   MB", 64));
    one.filter();
    EXPECT_TRUE(one.rows().empty()) << "the first record never gets a row";
}

TEST(VolumeListModel, SpinStepsUpAndDownButNotBelowZero) {
    EXPECT_EQ(VolumeListModel::stepSectorText("5", true), "6");
    EXPECT_EQ(VolumeListModel::stepSectorText("5", false), "4");
    EXPECT_EQ(VolumeListModel::stepSectorText("0", false), "0");
    EXPECT_EQ(VolumeListModel::stepSectorText("", true), "1");
    EXPECT_EQ(VolumeListModel::stepSectorText("4294967296000", true), "4294967296001");
}

TEST(VolumeListModel, RowClickFindsTheComboItemByPrefix) {
    const std::vector<std::string> items{"HFS+", "RAW"};
    EXPECT_EQ(VolumeListModel::treatAsIndexFor("HFS+", items), 0);
    EXPECT_EQ(VolumeListModel::treatAsIndexFor("hfs", items), 0);
    EXPECT_EQ(VolumeListModel::treatAsIndexFor("FAT32", items), -1);
    EXPECT_EQ(VolumeListModel::treatAsIndexFor("CUSTOM ", items), -1);
    EXPECT_EQ(VolumeListModel::treatAsIndexFor("", items), -1);
}

// Labels of the file-system table take their kind's modes (both exFAT labels offer the
// formatted-drive box); others are judged by their first three letters.
TEST(ParseModeOptions, ModesOfTheKindOrByTheFirstThreeLetters) {
    struct Case {
        const char* label;
        bool advanced, deep, formatted;
    };
    const Case cases[] = {{"NTFS", true, true, false},  {"HFS+", false, true, false}, {"FAT16", true, false, true},
                          {"FAT64", true, false, true}, {"fat32", true, false, true}, {"exFAT", true, false, true},
                          {"extX", false, true, false}, {" ext3", false, false, false}, {"Unknown", true, true, false},
                          {"", true, true, false}};
    for (const Case& c : cases) {
        const ParseModeOptions o = ParseModeOptions::forFileSystem(c.label);
        EXPECT_EQ(o.advanced, c.advanced) << c.label;
        EXPECT_EQ(o.deep, c.deep) << c.label;
        EXPECT_EQ(o.formattedBox, c.formatted) << c.label;
    }
}
