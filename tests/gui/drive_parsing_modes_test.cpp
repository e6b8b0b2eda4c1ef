// The drive-parsing-modes page: the scan choices and what it hands the volume list.
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "FixtureDisk.h"
#include "RecordingServices.h"
#include "WizardDriver.h"
#include "ui/DriveParsingModes.h"
#include "ui/PopulateDriveDlg.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

DriveParsingModes* openModes(WizardDriver& wizard, const std::string& image) {
    wizard.selectDriveEntry(QString::fromStdString(image));
    wizard.click(1003);
    return wizard.visible<DriveParsingModes>();
}

bool enabled(QWidget* page, int id) { return control<QWidget>(page, id)->isEnabled(); }

}  // namespace

TEST(DriveParsingModesPage, StandardIsChosenAndTheAdvancedOptionsWaitForAdvance) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    DriveParsingModes* page = openModes(wizard, disk.path);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(control<QRadioButton>(page, 1323)->isChecked());
    EXPECT_FALSE(control<QRadioButton>(page, 1324)->isChecked());
    EXPECT_EQ(control<QLineEdit>(page, 1157)->text(), "0");
    EXPECT_EQ(control<QLineEdit>(page, 1158)->text(), "0");
    for (int id : {1144, 1153, 1155, 1156, 1157, 1158}) EXPECT_FALSE(enabled(page, id)) << id;

    control<QRadioButton>(page, 1324)->click();
    EXPECT_FALSE(control<QRadioButton>(page, 1323)->isChecked());
    EXPECT_TRUE(enabled(page, 1144));
    EXPECT_TRUE(enabled(page, 1153));
    EXPECT_FALSE(enabled(page, 1157)) << "the range edits wait for Custom Setting";
    control<QGroupBox>(page, 1153)->setChecked(true);
    for (int id : {1155, 1156, 1157, 1158}) EXPECT_TRUE(enabled(page, id)) << id;

    // Back to Standard: the custom range is cleared and switched off again.
    control<QRadioButton>(page, 1323)->click();
    EXPECT_FALSE(control<QGroupBox>(page, 1153)->isChecked());
    for (int id : {1144, 1153, 1157, 1158}) EXPECT_FALSE(enabled(page, id)) << id;
}

TEST(DriveParsingModesPage, AdvanceScanHandsOnItsOptionsAndAnyRangeWithAnEnd) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    DriveParsingModes* page = openModes(wizard, disk.path);
    ASSERT_NE(page, nullptr);
    control<QRadioButton>(page, 1324)->click();
    control<QCheckBox>(page, 1144)->setChecked(true);
    control<QGroupBox>(page, 1153)->setChecked(true);
    control<QLineEdit>(page, 1157)->setText("100");
    control<QLineEdit>(page, 1158)->setText("50");
    control<QLineEdit>(page, 1157)->insert("-");  // only digits are taken
    EXPECT_EQ(control<QLineEdit>(page, 1157)->text(), "100");
    wizard.click(1229);

    auto* list = wizard.visible<PopulateDriveDlg>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->settings().drivePath, disk.path);
    EXPECT_EQ(list->settings().scanMode, ScanMode::Advanced);
    EXPECT_TRUE(list->settings().doNotSkipVolumeSize);
    EXPECT_FALSE(list->settings().gptMode);
    EXPECT_EQ(list->settings().customStartSector, 100);
    EXPECT_EQ(list->settings().customEndSector, 50);
}

TEST(DriveParsingModesPage, AnUntickedRangeIsNotHandedOn) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    DriveParsingModes* page = openModes(wizard, disk.path);
    ASSERT_NE(page, nullptr);
    control<QRadioButton>(page, 1324)->click();
    control<QLineEdit>(page, 1157)->setText("2048");
    control<QLineEdit>(page, 1158)->setText("4096");
    wizard.click(1229);
    auto* list = wizard.visible<PopulateDriveDlg>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->settings().customStartSector, 0);
    EXPECT_EQ(list->settings().customEndSector, 0);
    EXPECT_FALSE(list->settings().doNotSkipVolumeSize);
}
