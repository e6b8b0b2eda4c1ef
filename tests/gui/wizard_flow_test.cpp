// The wizard as a whole: page order on both roads, Back, the keys that must do nothing, the close
// question, the drive page's refusals and the parts every page shares.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "FixtureDisk.h"
#include "RecordingServices.h"
#include "WizardDriver.h"
#include "ui/DriveParsingModes.h"
#include "ui/ParceModeNtfsDlg.h"
#include "ui/PopulateDriveDlg.h"
#include "ui/VolumeOperations.h"
#include "ui/VolumeScanDlg.h"
#include "fs/FileSystemKind.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

const QString kCaptionText = QString::fromUtf8(kCaption);

// Drive road up to the volume list, with "GPT format" ticked on the way.
PopulateDriveDlg* openGptVolumeList(WizardDriver& wizard, const std::string& image) {
    wizard.selectDriveEntry(QString::fromStdString(image));
    wizard.click(1003);
    auto* modes = wizard.visible<DriveParsingModes>();
    if (!modes) return nullptr;
    control<QCheckBox>(modes, 1253)->setChecked(true);
    wizard.click(1229);
    return wizard.visible<PopulateDriveDlg>();
}

}  // namespace

TEST(WizardFlow, DriveRoadGoesThroughModesAndVolumeListToTheModePage) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("gpt");
    WizardDriver wizard({disk.path});

    wizard.selectDriveEntry(QString::fromStdString(disk.path));
    wizard.click(1003);
    auto* modes = wizard.visible<DriveParsingModes>();
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(modes->creator(), &wizard.drivePage());
    EXPECT_EQ(modes->drivePath(), disk.path);
    EXPECT_EQ(control<QLabel>(modes, 1263)->text().toStdString(), disk.path);
    EXPECT_EQ(wizard.state.previousDialogId, 130);
    EXPECT_FALSE(wizard.state.isVolumeSelected);
    EXPECT_EQ(wizard.state.driveSectorCount, disk.manifest.value("bytes").toInteger() / 512);

    control<QCheckBox>(modes, 1253)->setChecked(true);
    wizard.click(1229);
    auto* list = wizard.visible<PopulateDriveDlg>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->creator(), modes);
    EXPECT_EQ(list->settings().scanMode, ScanMode::Standard);
    EXPECT_TRUE(list->settings().gptMode);

    control<QTableWidget>(list, 1031)->selectRow(1);
    wizard.click(1046);
    auto* mode = wizard.visible<ParceModeNtfsDlg>();
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->cameFromId(), 134);
    EXPECT_EQ(mode->volume().fileSystem, "FAT32");
    EXPECT_EQ(mode->volume().startSector, 20480);

    wizard.click(1053);
    auto* scan = wizard.visible<VolumeScanDlg>();
    ASSERT_NE(scan, nullptr) << "Standard goes on to the scan page";
    EXPECT_EQ(scan->creator(), mode);
    EXPECT_EQ(scan->volume().startSector, 20480);
    EXPECT_EQ(scan->parseMode(), 1);
    if (!findFileSystemKind("FAT32")) {
        EXPECT_EQ(services.messageTexts(), QStringList{"not a valid drive."});
        EXPECT_TRUE(control<QWidget>(scan, 1057)->isEnabled());
    } else {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !scan->busy(); }, 20000));
    }
}

TEST(WizardFlow, VolumeRoadShowsTheVolumeThenTheModePage) {
    RecordingServices services;
    WizardDriver wizard({}, {machineVolume("/dev/sdz1", "NTFS", "476937  MB"), machineVolume("/dev/sdz2", "FAT32", "100  MB")});
    // Highest first.
    auto* volumes = control<QTreeWidget>(&wizard.drivePage(), 1022)->topLevelItem(0);
    ASSERT_EQ(volumes->childCount(), 2);
    EXPECT_EQ(volumes->child(0)->text(0), "/dev/sdz2");
    EXPECT_EQ(volumes->child(1)->text(0), "/dev/sdz1");

    wizard.selectDriveEntry("/dev/sdz1");
    wizard.click(1003);
    auto* info = wizard.visible<VolumeOperations>();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(wizard.state.isVolumeSelected);
    EXPECT_EQ(wizard.state.previousDialogId, 130);
    EXPECT_EQ(info->cameFromId(), 130);
    EXPECT_EQ(control<QLabel>(info, 1039)->text(), "/dev/sdz1");
    EXPECT_EQ(control<QLabel>(info, 1041)->text(), "NTFS");
    EXPECT_EQ(control<QLabel>(info, 1042)->text(), "476937  MB");
    EXPECT_EQ(control<QLabel>(info, 1097)->text(), "/dev/sdz1");
    EXPECT_TRUE(control<QLabel>(info, 1097)->isHidden());

    wizard.click(1046);
    auto* mode = wizard.visible<ParceModeNtfsDlg>();
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->cameFromId(), 135);
    EXPECT_EQ(mode->creator(), info);
    EXPECT_EQ(mode->volume().fileSystem, "NTFS");

    wizard.click(1057);
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), info);
    wizard.click(1037);
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), &wizard.drivePage());
    EXPECT_EQ(control<QTreeWidget>(&wizard.drivePage(), 1022)->currentItem()->text(0), "/dev/sdz1");
    EXPECT_TRUE(services.messages.empty());
}

TEST(WizardFlow, BackShowsTheSamePageWithItsSelection) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("gpt");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* list = openGptVolumeList(wizard, disk.path);
    ASSERT_NE(list, nullptr);
    auto* modes = static_cast<DriveParsingModes*>(list->creator());
    control<QTableWidget>(list, 1031)->selectRow(2);
    wizard.click(1046);
    QPointer<WizardPage> mode = wizard.visiblePage();

    wizard.click(1057);
    WizardDriver::settle();
    EXPECT_TRUE(mode.isNull()) << "Back destroys the page it leaves";
    EXPECT_EQ(wizard.visiblePage(), list);
    EXPECT_EQ(control<QTableWidget>(list, 1031)->selectionModel()->selectedRows().front().row(), 2);

    QPointer<WizardPage> listAlive = list;
    wizard.click(1036);
    WizardDriver::settle();
    EXPECT_TRUE(listAlive.isNull());
    EXPECT_EQ(wizard.visiblePage(), modes);
    EXPECT_TRUE(control<QCheckBox>(modes, 1253)->isChecked());

    wizard.click(1051);
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), &wizard.drivePage());
    auto* tree = control<QTreeWidget>(&wizard.drivePage(), 1022);
    ASSERT_NE(tree->currentItem(), nullptr);
    EXPECT_EQ(tree->currentItem()->text(0).toStdString(), disk.path);

    // Forward again makes new pages and scans again.
    wizard.click(1003);
    EXPECT_NE(wizard.visiblePage(), nullptr);
    EXPECT_TRUE(services.messages.empty());
}

TEST(WizardFlow, EnterAndEscapeDoNothingOnAnyPage) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("gpt");
    WizardDriver wizard({disk.path});
    // Each key on the page itself and on its Next button, which would otherwise take Enter as a click.
    auto pressKeys = [&](int nextId) {
        WizardPage* page = wizard.visiblePage();
        for (QWidget* target : {static_cast<QWidget*>(page), control<QWidget>(page, nextId)})
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, key);
        WizardDriver::settle();
        EXPECT_EQ(wizard.visiblePage(), page) << "after the keys on page " << page->objectName().toStdString();
    };

    wizard.selectDriveEntry(QString::fromStdString(disk.path));
    pressKeys(1003);
    wizard.click(1003);
    pressKeys(1229);
    control<QCheckBox>(wizard.visiblePage(), 1253)->setChecked(true);
    wizard.click(1229);
    control<QTableWidget>(wizard.visiblePage(), 1031)->selectRow(0);
    pressKeys(1046);
    wizard.click(1046);
    pressKeys(1053);

    EXPECT_TRUE(services.messages.empty());
    EXPECT_TRUE(services.exitCodes.empty());
}

TEST(WizardFlow, CloseQuestionAnsweredNoLeavesEverythingAsItWas) {
    RecordingServices services;
    qputenv("QUARVELL_WEBPAGE_URL", "https://quarvell.example/");
    const FixtureDisk disk = FixtureDisk::load("gpt");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* list = openGptVolumeList(wizard, disk.path);
    ASSERT_NE(list, nullptr);
    control<QTableWidget>(list, 1031)->selectRow(3);
    const size_t rows = list->model().rows().size();

    services.answers = {MsgResult::No};
    EXPECT_FALSE(list->close());
    ASSERT_EQ(services.messages.size(), 1u);
    const RecordedMessage& asked = services.messages.front();
    EXPECT_EQ(asked.text, "Do you want to Close Application ?");
    EXPECT_EQ(asked.caption, kCaptionText);
    EXPECT_EQ(asked.icon, MsgIcon::Question);
    EXPECT_EQ(asked.buttons, MsgButtons::YesNo);
    EXPECT_EQ(wizard.visiblePage(), list);
    EXPECT_EQ(list->model().rows().size(), rows);
    EXPECT_EQ(control<QTableWidget>(list, 1031)->selectionModel()->selectedRows().front().row(), 3);
    EXPECT_TRUE(services.exitCodes.empty());
    EXPECT_TRUE(services.openedUrls.empty());

    services.answers = {MsgResult::Yes};
    list->close();
    EXPECT_EQ(services.exitCodes, std::vector<int>{0});
    ASSERT_EQ(services.openedUrls.size(), 1u);
    EXPECT_EQ(services.openedUrls.front(), QUrl("https://quarvell.example/"));
    qunsetenv("QUARVELL_WEBPAGE_URL");
}

TEST(WizardFlow, CloseWithoutAConfiguredWebPageOnlyExits) {
    RecordingServices services;
    WizardDriver wizard;
    services.answers = {MsgResult::Yes};
    wizard.drivePage().close();
    EXPECT_EQ(services.exitCodes, std::vector<int>{0});
    EXPECT_TRUE(services.openedUrls.empty());
}

TEST(WizardFlow, DriveNextWithoutAnEntryRefusesButStillReplacesTheReader) {
    RecordingServices services;
    WizardDriver wizard({}, {machineVolume("/dev/sdz1", "NTFS", "10  MB")});
    auto* tree = control<QTreeWidget>(&wizard.drivePage(), 1022);

    tree->clearSelection();
    tree->setCurrentItem(nullptr);
    wizard.click(1003);
    tree->setCurrentItem(tree->topLevelItem(0));  // "     VOLUMES:" itself
    wizard.click(1003);
    tree->setCurrentItem(tree->topLevelItem(1));  // "     PHYSICAL DRIVES:" itself
    wizard.click(1003);

    EXPECT_EQ(services.messageTexts(), QStringList(3, "Please select a volume or a drive.."));
    for (const auto& m : services.messages) EXPECT_EQ(m.icon, MsgIcon::Information);
    EXPECT_EQ(wizard.visiblePage(), &wizard.drivePage());
    ASSERT_NE(wizard.state.reader, nullptr);
    EXPECT_FALSE(wizard.state.reader->isOpen());
    EXPECT_EQ(wizard.state.previousDialogId, 130);
}

TEST(WizardFlow, DrivePageListsItsTopItemsAndTheImages) {
    WizardDriver wizard({"/tmp/one.img", "/tmp/two.img"});
    auto* tree = control<QTreeWidget>(&wizard.drivePage(), 1022);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "     VOLUMES:");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "     PHYSICAL DRIVES:");
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_TRUE(tree->topLevelItem(1)->isExpanded());
    ASSERT_EQ(tree->topLevelItem(1)->childCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), "/tmp/one.img");
    wizard.drivePage().addImage("/tmp/three.img");
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 3);
    EXPECT_EQ(tree->currentItem()->text(0), "/tmp/three.img");
}

TEST(WizardFlow, UnreadableDevicesLeaveTheImagesAndAHint) {
    DriveSources sources;
    sources.drives = [] { return std::vector<DriveInfo>{{"/dev/sdz", "Test Disk", 1 << 20}}; };
    sources.volumes = [] { return std::vector<VolumeEntry>{machineVolume("/dev/sdz1", "NTFS", "1  MB")}; };
    sources.readable = [](const std::string& path) { return path.rfind("/dev/", 0) != 0; };
    CTessmorApp state;
    Physical_DriveDialog page(state, sources, {"/tmp/image.img"});
    auto* tree = control<QTreeWidget>(&page, 1022);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 0);
    ASSERT_EQ(tree->topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), "/tmp/image.img");
    EXPECT_FALSE(page.findChild<QLabel*>("accessHint")->isHidden());

    sources.readable = [](const std::string&) { return true; };
    Physical_DriveDialog readable(state, sources, {});
    tree = control<QTreeWidget>(&readable, 1022);
    ASSERT_EQ(tree->topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), "Test Disk");
    EXPECT_TRUE(readable.findChild<QLabel*>("accessHint")->isHidden());
}

TEST(WizardFlow, EveryPageSharesTitleHelpMenuAndHiddenExit) {
    RecordingServices services;
    qputenv("QUARVELL_WEBPAGE_URL", "https://quarvell.example/");
    const FixtureDisk disk = FixtureDisk::load("gpt");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* list = openGptVolumeList(wizard, disk.path);
    ASSERT_NE(list, nullptr);
    control<QTableWidget>(list, 1031)->selectRow(0);
    wizard.click(1046);

    int pages = 0;
    for (WizardPage* page = wizard.visiblePage(); page; page = page->creator(), ++pages) {
        SCOPED_TRACE(page->objectName().toStdString());
        EXPECT_EQ(page->windowTitle(), kCaptionText);
        auto* help = control<QToolButton>(page, 1326);
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->text(), "Help");
        QStringList items;
        for (QAction* a : help->menu()->actions()) items << a->text();
        EXPECT_EQ(items, (QStringList{"Help", "About", "Software Webpage"}));
        auto* exit = control<QAbstractButton>(page, 1);
        ASSERT_NE(exit, nullptr);
        EXPECT_EQ(exit->text(), "EXIT");
        EXPECT_TRUE(exit->isHidden());
    }
    EXPECT_EQ(pages, 4);

    WizardPage* page = wizard.visiblePage();
    control<QToolButton>(page, 1326)->menu()->findChild<QAction*>("32774")->trigger();
    ASSERT_EQ(services.openedUrls.size(), 1u);
    EXPECT_EQ(services.openedUrls.front(), QUrl("https://quarvell.example/"));

    control<QAbstractButton>(page, 1)->click();
    EXPECT_EQ(services.exitCodes, std::vector<int>{0});
    EXPECT_TRUE(services.messages.empty()) << "EXIT asks nothing";
    qunsetenv("QUARVELL_WEBPAGE_URL");
}
