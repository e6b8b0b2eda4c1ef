// The volume list page on the fixture disks: both scans, the rows, the custom group, Filter,
// Add Custom Volume and the answers of Next.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "FixtureDisk.h"
#include "FsFixture.h"
#include "RecordingServices.h"
#include "WizardDriver.h"
#include "disk/FileReadSeek.h"
#include "fs/FileSystemKind.h"
#include "partition/Partition.h"
#include "ui/DriveParsingModes.h"
#include "ui/ParceModeNtfsDlg.h"
#include "ui/PopulateDriveDlg.h"
#include "ui/RawRecoveryDialog.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

enum class Road { Standard, Gpt, Advanced };

PopulateDriveDlg* openVolumeList(WizardDriver& wizard, const std::string& image, Road road) {
    wizard.selectDriveEntry(QString::fromStdString(image));
    wizard.click(1003);
    WizardPage* modes = wizard.visible<DriveParsingModes>();
    if (!modes) return nullptr;
    if (road == Road::Gpt) control<QCheckBox>(modes, 1253)->setChecked(true);
    if (road == Road::Advanced) control<QAbstractButton>(modes, 1324)->click();
    wizard.click(1229);
    return wizard.visible<PopulateDriveDlg>();
}

bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

QStringList rowTexts(QTableWidget* list, int row) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c) out << list->item(row, c)->text();
    return out;
}

QStringList manifestTexts(const QJsonValue& v) {
    const QJsonObject o = v.toObject();
    return {o.value("volumeName").toString(), o.value("fileSystem").toString(), o.value("sizeText").toString(),
            QString::number(o.value("startSector").toInteger())};
}

void expectRows(QTableWidget* list, const QJsonArray& expected) {
    ASSERT_EQ(list->rowCount(), expected.size());
    for (int row = 0; row < list->rowCount(); ++row) EXPECT_EQ(rowTexts(list, row), manifestTexts(expected[row])) << row;
}

QString text(QWidget* page, int id) {
    if (auto* edit = control<QLineEdit>(page, id)) return edit->text();
    return control<QLabel>(page, id)->text();
}

void setText(QWidget* page, int id, const QString& value) { control<QLineEdit>(page, id)->setText(value); }

// A large empty medium, so that an advanced scan takes a while.
std::string sparseImage(QTemporaryDir& folder, qint64 bytes) {
    const QString path = folder.filePath("empty.img");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(bytes));
    return path.toStdString();
}

}  // namespace

TEST(VolumeListPage, StandardScanOfTheMbrDiskListsItsTableInOrder) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Standard);
    ASSERT_NE(page, nullptr);
    auto* list = control<QTableWidget>(page, 1031);
    QStringList columns;
    for (int c = 0; c < list->columnCount(); ++c) columns << list->horizontalHeaderItem(c)->text();
    EXPECT_EQ(columns, (QStringList{"VOLUME", "FILE_SYSTEM", "VOLUME_SIZE", "START_SECTOR"}));
    expectRows(list, disk.rows("standard"));

    EXPECT_EQ(text(page, 1035), "Select volume and click next button...");
    EXPECT_TRUE(control<QWidget>(page, 1254)->isHidden());
    EXPECT_TRUE(control<QWidget>(page, 1034)->isHidden());
    EXPECT_TRUE(control<QWidget>(page, 1160)->isHidden()) << "custom volumes come after an advanced scan only";
    EXPECT_TRUE(control<QWidget>(page, 1131)->isEnabled());
    EXPECT_FALSE(control<QWidget>(page, 1146)->isEnabled());
    EXPECT_TRUE(control<QWidget>(page, 1229)->isEnabled());
    EXPECT_EQ(control<QPushButton>(page, 1229)->toolTip(), "Filter volume entries.");
    EXPECT_EQ(control<QPushButton>(page, 1160)->toolTip(), "Add Custom Volume entry.");
    EXPECT_TRUE(services.messages.empty());
}

TEST(VolumeListPage, GptDiskListsItsEntriesOnlyWithGptTicked) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("gpt");
    {
        WizardDriver wizard({disk.path});
        PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Gpt);
        ASSERT_NE(page, nullptr);
        expectRows(control<QTableWidget>(page, 1031), disk.rows("gpt"));
    }
    {
        WizardDriver wizard({disk.path});
        PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Standard);
        ASSERT_NE(page, nullptr);
        expectRows(control<QTableWidget>(page, 1031), disk.rows("standard"));  // the protective entry
    }
}

TEST(VolumeListPage, AdvancedScanRunsOnAWorkerAndListsNewestFindFirst) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Advanced);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->settings().scanMode, ScanMode::Advanced);
    // Until the worker has ended nothing may leave the page or touch the list.
    for (int id : {1036, 1046, 1229, 1160, 1131}) EXPECT_FALSE(control<QWidget>(page, id)->isEnabled()) << id;

    ASSERT_TRUE(waitUntil([&] { return !page->scanRunning(); }));
    EXPECT_EQ(services.messageTexts(), QStringList{"populated partitions...."});
    EXPECT_EQ(text(page, 1035), "Select volume and click next button...");
    for (int id : {1036, 1046, 1229, 1160, 1131}) EXPECT_TRUE(control<QWidget>(page, id)->isEnabled()) << id;
    EXPECT_TRUE(control<QWidget>(page, 1254)->isHidden());
    EXPECT_TRUE(control<QWidget>(page, 1034)->isHidden());

    // The same finds as the scanner gives on its own, the newest at the top.
    std::vector<VolumeEntry> direct;
    Partition scanner;
    scanner.resultsPage = &direct;
    scanner.skipVolumeSize = true;
    FileReadSeek reader;
    ASSERT_TRUE(reader.open(disk.path));
    scanner.scanDriveForVolumes(reader, int64_t(reader.driveSectorCount()));
    auto* list = control<QTableWidget>(page, 1031);
    ASSERT_FALSE(direct.empty());
    ASSERT_EQ(list->rowCount(), int(direct.size()));
    for (size_t i = 0; i < direct.size(); ++i) {
        const VolumeEntry& e = direct[direct.size() - 1 - i];
        EXPECT_EQ(rowTexts(list, int(i)), (QStringList{QString::fromStdString(e.volumeName), QString::fromStdString(e.fileSystem),
                                                       QString::fromStdString(e.sizeText), QString::number(e.startSector)}));
    }
}

TEST(VolumeListPage, StopEndsTheAdvancedScanEarly) {
    RecordingServices services;
    QTemporaryDir folder;
    const std::string image = sparseImage(folder, qint64(4) << 30);
    WizardDriver wizard({image});
    PopulateDriveDlg* page = openVolumeList(wizard, image, Road::Advanced);
    ASSERT_NE(page, nullptr);
    auto* progress = control<QProgressBar>(page, 1254);
    ASSERT_TRUE(waitUntil([&] { return progress->value() > 0 || !page->scanRunning(); }));
    control<QPushButton>(page, 1034)->click();
    ASSERT_TRUE(waitUntil([&] { return !page->scanRunning(); }));
    EXPECT_LT(progress->value(), 1000);
    EXPECT_EQ(services.messageTexts(), QStringList{"populated partitions...."});
    EXPECT_TRUE(control<QWidget>(page, 1046)->isEnabled());
}

TEST(VolumeListPage, LeavingDuringAnAdvancedScanStopsTheWorkerFirst) {
    RecordingServices services;
    QTemporaryDir folder;
    const std::string image = sparseImage(folder, qint64(4) << 30);
    QElapsedTimer timer;
    timer.start();
    {
        WizardDriver wizard({image});
        PopulateDriveDlg* page = openVolumeList(wizard, image, Road::Advanced);
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(page->scanRunning());
    }  // the program ends: every page goes, the running scan with it
    QTest::qWait(20);  // finds queued by the worker must find no page
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(services.messages.empty());
}

TEST(VolumeListPage, SelectingARowFillsTheCustomGroup) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Standard);
    ASSERT_NE(page, nullptr);
    auto* list = control<QTableWidget>(page, 1031);

    list->selectRow(0);  // FAT16, 8 MiB at 2048
    EXPECT_EQ(text(page, 1143), "0");
    EXPECT_EQ(text(page, 1146), "2048");
    EXPECT_EQ(text(page, 1149), "18431");
    list->selectRow(6);  // Unknown, 1 MiB at 129024
    EXPECT_EQ(text(page, 1143), "6");
    EXPECT_EQ(text(page, 1146), "129024");
    EXPECT_EQ(text(page, 1149), "131071");

    // The custom box switches the whole group.
    auto* box = control<QCheckBox>(page, 1131);
    box->setChecked(true);
    for (int id : {1142, 1143, 1146, 1147, 1148, 1149, 1145, 1151, 1134, 1152})
        EXPECT_TRUE(control<QWidget>(page, id)->isEnabled()) << id;
    box->setChecked(false);
    EXPECT_FALSE(control<QWidget>(page, 1152)->isEnabled());

    // A click on a row picks its file system in the combo only when the combo offers it.
    // The combo offers the file-system table's labels, then "RAW".
    auto* combo = control<QComboBox>(page, 1152);
    const std::vector<std::string> offered = treatAsLabels();
    ASSERT_EQ(combo->count(), int(offered.size()) + 1);
    for (size_t i = 0; i < offered.size(); ++i) EXPECT_EQ(combo->itemText(int(i)).toStdString(), offered[i]);
    EXPECT_EQ(combo->itemText(combo->count() - 1), "RAW");
    combo->setCurrentIndex(combo->count() - 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(6, 0)).center());
    EXPECT_EQ(combo->currentText(), "RAW") << "Unknown is not offered";
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1, 0)).center());
    EXPECT_EQ(combo->currentText(), "fat32");
}

TEST(VolumeListPage, SpinButtonsStepTheSectorEditsAndStopAtZero) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Standard);
    ASSERT_NE(page, nullptr);
    control<QCheckBox>(page, 1131)->setChecked(true);
    auto* startSpin = control<QWidget>(page, 1145);
    auto* up = startSpin->findChild<QToolButton*>("up");
    auto* down = startSpin->findChild<QToolButton*>("down");
    setText(page, 1146, "5");
    up->click();
    EXPECT_EQ(text(page, 1146), "6");
    for (int i = 0; i < 8; ++i) down->click();
    EXPECT_EQ(text(page, 1146), "0");
    setText(page, 1149, "4294967296000");  // sector numbers go past 32 bits
    control<QWidget>(page, 1151)->findChild<QToolButton*>("up")->click();
    EXPECT_EQ(text(page, 1149), "4294967296001");
}

TEST(VolumeListPage, NextRefusesMissingAndUnknownVolumesAndHonoursTheCustomGroup) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Standard);
    ASSERT_NE(page, nullptr);
    auto* list = control<QTableWidget>(page, 1031);
    auto* combo = control<QComboBox>(page, 1152);

    wizard.click(1046);
    list->selectRow(6);  // "Unknown"
    combo->setCurrentText("RAW");
    wizard.click(1046);  // RAW counts only with the custom box ticked
    EXPECT_EQ(services.messageTexts(), (QStringList{"please select a valid volume.", "can not parse unknown volume"}));
    EXPECT_EQ(wizard.visiblePage(), page);

    // Ticked and treated as HFS+, the unknown entry can be parsed over the sectors given.
    control<QCheckBox>(page, 1131)->setChecked(true);
    combo->setCurrentText("HFS+");
    setText(page, 1146, "2048");
    setText(page, 1149, "206847");
    wizard.click(1046);
    auto* mode = wizard.visible<ParceModeNtfsDlg>();
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->volume().fileSystem, "HFS+");
    EXPECT_EQ(mode->volume().startSector, 2048);
    EXPECT_EQ(mode->volume().sizeText, "100");
    EXPECT_EQ(mode->volume().lengthInSectors(), 204800u);
    EXPECT_EQ(page->selectedVolume().fileSystem, "HFS+");

    // Back, untick: the row's own values count again.
    wizard.click(1057);
    WizardDriver::settle();
    control<QCheckBox>(page, 1131)->setChecked(false);
    list->selectRow(6);
    wizard.click(1046);
    EXPECT_EQ(services.messageTexts().last(), "can not parse unknown volume");
    list->selectRow(3);
    wizard.click(1046);
    mode = wizard.visible<ParceModeNtfsDlg>();
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->volume().fileSystem, "NTFS");
    EXPECT_EQ(mode->volume().startSector, 90112);
    EXPECT_EQ(mode->volume().sizeText, "8");
    wizard.click(1057);
    WizardDriver::settle();

    // RAW with the box ticked leads to the raw recovery page.
    control<QCheckBox>(page, 1131)->setChecked(true);
    combo->setCurrentText("RAW");
    wizard.click(1046);
    EXPECT_EQ(page->selectedVolume().fileSystem, "RAW");
    auto* raw = wizard.visible<RawRecoveryDialog>();
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->volume().fileSystem, "RAW");
    wizard.click(1229);
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), page);
}

TEST(VolumeListPage, CustomVolumeAfterAnAdvancedScanGoesOnWithTheSectorsGiven) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("gpt");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Advanced);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !page->scanRunning(); }));
    auto* list = control<QTableWidget>(page, 1031);
    const int found = list->rowCount();

    control<QPushButton>(page, 1160)->click();
    ASSERT_EQ(list->rowCount(), found + 1);
    EXPECT_EQ(rowTexts(list, 0), (QStringList{QString::number(found), "CUSTOM ", "0", "0"}));
    EXPECT_EQ(list->selectionModel()->selectedRows().front().row(), 0);
    EXPECT_TRUE(control<QCheckBox>(page, 1131)->isChecked());
    EXPECT_TRUE(control<QWidget>(page, 1146)->isEnabled());
    EXPECT_EQ(text(page, 1146), "0");
    EXPECT_EQ(text(page, 1149), "0");

    setText(page, 1146, "5");
    setText(page, 1149, "5");
    control<QComboBox>(page, 1152)->setCurrentText("HFS+");
    wizard.click(1046);
    auto* mode = wizard.visible<ParceModeNtfsDlg>();
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->volume().fileSystem, "HFS+");
    EXPECT_EQ(mode->volume().sizeText, "0");
    EXPECT_EQ(mode->volume().startSector, 5);
}

TEST(VolumeListPage, FilterKeepsOnlyEntriesOneSectorAfterTheirPredecessor) {
    RecordingServices services;
    const FixtureDisk disk = FixtureDisk::load("mbr-extended");
    WizardDriver wizard({disk.path});
    PopulateDriveDlg* page = openVolumeList(wizard, disk.path, Road::Standard);
    ASSERT_NE(page, nullptr);
    wizard.click(1229);
    EXPECT_EQ(control<QTableWidget>(page, 1031)->rowCount(), 0);
    EXPECT_EQ(page->model().volumes().size(), size_t(disk.rows("standard").size()));
}

TEST(VolumeListPage, AMediumThatCannotBeOpenedLeavesAnEmptyList) {
    RecordingServices services;
    const std::string missing = "/nonexistent/quarvell-missing.img";
    WizardDriver wizard({missing});
    PopulateDriveDlg* page = openVolumeList(wizard, missing, Road::Standard);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(services.messageTexts(), QStringList{"file not opened.."});
    EXPECT_EQ(control<QTableWidget>(page, 1031)->rowCount(), 0);
    EXPECT_FALSE(control<QWidget>(page, 1131)->isEnabled());
    EXPECT_EQ(text(page, 1035), "Select volume and click next button...");
}

// A container that cannot be opened keeps the message and the status, and the box says why:
// the path and the reader's own reason, on both roads.
TEST(VolumeListPage, AContainerThatCannotBeOpenedSaysWhy) {
    QTemporaryDir dir;
    // A QCOW2 signature over nothing else: taken for a container, and no readable one.
    const std::string damaged = dir.filePath("damaged.qcow2").toStdString();
    {
        QFile f(QString::fromStdString(damaged));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray head(4096, '\0');
        head.replace(0, 4, QByteArray("QFI\xfb", 4));
        f.write(head);
    }
    FileReadSeek probe;
    ASSERT_FALSE(probe.open(damaged));
    ASSERT_FALSE(probe.lastError().empty());
    const std::string missing = "/nonexistent/quarvell-missing.img";
    for (Road road : {Road::Standard, Road::Advanced}) {
        for (const std::string& image : {damaged, missing}) {
            SCOPED_TRACE(image);
            RecordingServices services;
            WizardDriver wizard({image});
            PopulateDriveDlg* page = openVolumeList(wizard, image, road);
            ASSERT_NE(page, nullptr);
            ASSERT_EQ(services.messageTexts(), QStringList{"file not opened.."});
            const QString why = image == damaged ? QString::fromStdString(probe.lastError())
                                                 : QStringLiteral("No such file or directory");
            EXPECT_EQ(services.messages[0].detail, QString::fromStdString(image) + ": " + why);
            if (road == Road::Standard) EXPECT_EQ(text(page, 1035), "Select volume and click next button...");
        }
    }
}

// A bare volume image (every kind's fixtures) is listed as the one volume of its medium, Next
// goes on with it; an image whose boot record is wiped lists nothing.
TEST(VolumeListPage, ABareVolumeImageIsItsMediumsOneVolume) {
    RecordingServices services;
    for (const FsFixture& fixture : FsFixture::all()) {
        SCOPED_TRACE(fixture.name);
        QFile manifestFile(QStringLiteral(QUARVELL_SOURCE_DIR "/tests/fixtures/") + QString::fromStdString(fixture.name) +
                           ".manifest.json");
        ASSERT_TRUE(manifestFile.open(QIODevice::ReadOnly));
        const bool whole = QJsonDocument::fromJson(manifestFile.readAll()).object().value("wholeVolume").toBool(true);
        WizardDriver wizard({fixture.image});
        PopulateDriveDlg* page = openVolumeList(wizard, fixture.image, Road::Standard);
        ASSERT_NE(page, nullptr);
        auto* list = control<QTableWidget>(page, 1031);
        if (!whole) {
            EXPECT_EQ(list->rowCount(), 0);
            continue;
        }
        ASSERT_EQ(list->rowCount(), 1);
        const QStringList row = rowTexts(list, 0);
        EXPECT_EQ(row[0], "0");
        EXPECT_EQ(findFileSystemKind(row[1].toStdString()), fixture.kind) << row[1].toStdString();
        EXPECT_EQ(row[3], "0");
        EXPECT_EQ(QFileInfo(QString::fromStdString(fixture.image)).size() / 1048576, row[2].split(' ').front().toLongLong());
        list->selectRow(0);
        wizard.click(1046);
        auto* mode = wizard.visible<ParceModeNtfsDlg>();
        ASSERT_NE(mode, nullptr) << services.messageTexts().join("|").toStdString();
        EXPECT_EQ(mode->volume().lengthInBytes(), uint64_t(QFileInfo(QString::fromStdString(fixture.image)).size()));
    }
}
