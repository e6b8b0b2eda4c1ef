// The recovery-mode page: which modes each file system is offered, the options that come with
// Advanced, and the reformatted flag.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "RecordingServices.h"
#include "WizardDriver.h"
#include "ui/ParceModeNtfsDlg.h"
#include "ui/advanceOptions.h"
#include "ui/VolumeOperations.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

ParceModeNtfsDlg* openModePage(WizardDriver& wizard) {
    wizard.selectDriveEntry("/dev/sdz1");
    wizard.click(1003);
    wizard.click(1046);
    return wizard.visible<ParceModeNtfsDlg>();
}

bool shown(QWidget* page, int id) { return !control<QWidget>(page, id)->isHidden(); }

struct Offer {
    const char* fileSystem;
    bool advanced;
    bool deep;
    bool formattedBox;
};

}  // namespace

TEST(ModePage, OffersTheModesEachFileSystemAllows) {
    const Offer table[] = {
        {"NTFS", true, true, false},   {"HFS+", false, true, false},  {"FAT12", false, false, false},
        {"FAT16", true, false, true},  {"FAT32", true, false, true},   {"FAT64", true, false, true},
        {"extX", false, true, false},  {"ext4", false, false, false}, {"  ntfs", true, true, false},
        {"btrfs", true, true, false},
    };
    for (const Offer& offer : table) {
        SCOPED_TRACE(offer.fileSystem);
        RecordingServices services;
        WizardDriver wizard({}, {machineVolume("/dev/sdz1", offer.fileSystem, "64  MB")});
        ParceModeNtfsDlg* page = openModePage(wizard);
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(shown(page, 1047));
        EXPECT_EQ(shown(page, 1048), offer.advanced);
        EXPECT_EQ(shown(page, 1049), offer.deep);
        EXPECT_TRUE(control<QRadioButton>(page, 1047)->isChecked());
        EXPECT_EQ(page->parseMode(), 1);
        for (int id : {1128, 1129, 1130, 1255}) EXPECT_FALSE(shown(page, id)) << id;

        if (offer.advanced) {
            control<QRadioButton>(page, 1048)->click();
            EXPECT_EQ(page->parseMode(), 2);
            for (int id : {1128, 1129, 1130}) EXPECT_TRUE(shown(page, id)) << id;
            EXPECT_EQ(shown(page, 1255), offer.formattedBox);
            EXPECT_FALSE(control<QRadioButton>(page, 1047)->isChecked());
        }
    }
}

TEST(ModePage, ReformattedFlagFollowsTheBoxAndEveryModeChoiceClearsIt) {
    RecordingServices services;
    WizardDriver wizard({}, {machineVolume("/dev/sdz1", "FAT16", "64  MB")});
    ParceModeNtfsDlg* page = openModePage(wizard);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(control<QLineEdit>(page, 1129)->text(), "3");
    EXPECT_EQ(page->maxFileSystems(), 3);

    control<QRadioButton>(page, 1048)->click();
    auto* formatted = control<QCheckBox>(page, 1255);
    EXPECT_EQ(formatted->text(), "Is Drive Formated..?");
    formatted->click();
    EXPECT_TRUE(wizard.state.driveFormatted);
    control<QRadioButton>(page, 1048)->click();
    EXPECT_FALSE(wizard.state.driveFormatted);
    EXPECT_FALSE(formatted->isChecked());
    formatted->click();
    control<QRadioButton>(page, 1047)->click();
    EXPECT_FALSE(wizard.state.driveFormatted);
    EXPECT_FALSE(shown(page, 1255));
    EXPECT_FALSE(shown(page, 1129));

    control<QRadioButton>(page, 1048)->click();
    wizard.click(1053);
    auto* options = wizard.visible<advanceOptions>();
    ASSERT_NE(options, nullptr) << "Next in the Advanced mode opens the advanced-options page";
    EXPECT_EQ(options->volume().fileSystem, "FAT16");
}

TEST(ModePage, DeepIsTheOnlyModeCheckedWhenChosen) {
    RecordingServices services;
    WizardDriver wizard({}, {machineVolume("/dev/sdz1", "NTFS", "64  MB")});
    ParceModeNtfsDlg* page = openModePage(wizard);
    ASSERT_NE(page, nullptr);
    control<QRadioButton>(page, 1048)->click();
    control<QRadioButton>(page, 1049)->click();
    EXPECT_EQ(page->parseMode(), 3);
    EXPECT_TRUE(control<QRadioButton>(page, 1049)->isChecked());
    EXPECT_FALSE(control<QRadioButton>(page, 1048)->isChecked());
    EXPECT_FALSE(control<QRadioButton>(page, 1047)->isChecked());
    EXPECT_FALSE(shown(page, 1129));
    EXPECT_FALSE(shown(page, 1255)) << "NTFS never asks whether it was reformatted";
}
