// The advanced road on the fixtures whose boot sector was wiped: the mode page's Advanced, the
// advanced-options page's search on its worker with the lists and the closing message, Next only
// with a selection in both lists, and the scan page parsing from the chosen entry and saving the
// files byte-exact.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "FsFixture.h"
#include "RecordingServices.h"
#include "WizardDriver.h"
#include "common/TextFormat.h"
#include "fs/OutputPath.h"
#include "ui/CXHtmlTree.h"
#include "ui/ParceModeNtfsDlg.h"
#include "ui/ResultTreeModel.h"
#include "ui/VolumeScanDlg.h"
#include "ui/advanceOptions.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

struct AdvancedFixture {
    QString file;                 // under tests/fixtures/
    std::string label;            // the volume's file-system label
    QString entriesLabel;         // the candidate list's label
    QString firstEntry;           // the first candidate's text
    QStringList clusterItems;     // the cluster list as the search fills it
    QString clusterChoice;        // the item that fits the volume
    QString message;              // "%1": the number of candidates (exFAT: "%2" the heaps)
    QString doneStatus;
    bool formatted = false;       // "Is Drive Formated..?" ticked on the mode page
};

const QString kMessageTail = " . Please select the choice from combo box and click Next button to proceed.";
const QString kExfatMessage =
    "Number of FAT64-ENTRY found = %1 and Number of HeapOffset-ENTRY found =  %2  . Please select the choice from ( "
    "Entry and Heap ) Combobox and click Next button to proceed.";

std::vector<AdvancedFixture> advancedFixtures() {
    return {
        {"ntfs/noboot", "NTFS", "TFS :", "MFT_ENTRY:0", {"8", "4", "2", "16", "32", "64"}, "8",
         "Number of MFT-ENTRY found = %1" + kMessageTail, "Parsing done.Click next to continue."},
        {"fat32/fat32_wiped", "fat32", "TFS :", "FAT32_ENTRY:0", {"2", "4", "16", "32", "64", "8", "1"}, "1",
         "Number of FAT32-ENTRY found = %1" + kMessageTail, "Parsing done.Click Next to continue."},
        {"fat16/fat16_wiped", "fat16", "Total fat16 Entries Found:", "FAT_ENTRY:0",
         {"4", "8", "16", "2", "32", "64", "128", "1"}, "1", "Number of FAT-ENTRY found = %1" + kMessageTail,
         "Parsing done.Click Next to continue."},
        // The wiped boot sector leaves its backup, whose cluster shift (3) comes first.
        {"exfat/wiped", "FAT64", "Total fat64 Entries Found:", "FAT64_ENTRY:0", {"3", "8", "9", "10", "11"}, "3",
         kExfatMessage, "Parsing done.Click Next to continue."},
        // Reformatted volumes: the old files come back with the box ticked.
        {"fat32/fat32_formatted", "fat32", "TFS :", "FAT32_ENTRY:0", {"2", "4", "16", "32", "64", "8", "1"}, "1",
         "Number of FAT32-ENTRY found = %1" + kMessageTail, "Parsing done.Click Next to continue.", true},
        {"exfat/reformatted", "FAT64", "Total fat64 Entries Found:", "FAT64_ENTRY:0", {"3", "8", "9", "10", "11"}, "3",
         kExfatMessage, "Parsing done.Click Next to continue.", true},
    };
}

struct Unpacked {
    QTemporaryDir dir;
    QString image;
    QJsonObject manifest;
    bool ok = false;
};

void unpack(const QString& name, Unpacked& out) {
    const QString base = QStringLiteral(QUARVELL_SOURCE_DIR "/tests/fixtures/") + name;
    QFile manifest(base + ".manifest.json");
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly)) << name.toStdString();
    out.manifest = QJsonDocument::fromJson(manifest.readAll()).object();
    out.image = out.dir.filePath("volume.img");
    QProcess xz;
    xz.setStandardOutputFile(out.image);
    xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), base + ".img.xz"});
    ASSERT_TRUE(xz.waitForFinished(60000) && xz.exitCode() == 0) << "could not unpack " << name.toStdString();
    out.ok = true;
}

VolumeEntry volumeOf(const Unpacked& fixture, const std::string& label) {
    VolumeEntry volume;
    volume.fileSystem = label;
    volume.displayName = fixture.image.toStdString();
    volume.volumeName = volume.displayName;
    volume.sectorCount = uint64_t(QFileInfo(fixture.image).size()) / 512;
    volume.sizeText = std::to_string(volume.sectorCount / 2048) + "  MB";
    return volume;
}

// The mode page for the volume, reached from the volume list, with Advanced chosen.
ParceModeNtfsDlg* openModePage(WizardDriver& wizard, const VolumeEntry& volume) {
    auto* mode = new ParceModeNtfsDlg(wizard.state, &wizard.drivePage(), 134, volume);
    wizard.drivePage().goForward(mode);
    control<QRadioButton>(mode, 1048)->click();
    return mode;
}

QStringList itemsOf(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

QString savedPath(const QString& folder, const QString& relative) {
    QString path = folder;
    for (const QString& part : relative.split('/'))
        path += '/' + QString::fromStdString(safeComponent(trim(part.toStdString())));
    return path;
}

bool shown(QWidget* page, int id) { return !control<QWidget>(page, id)->isHidden(); }

}  // namespace

TEST(AdvancedOptions, DamagedVolumesRunFromTheSearchToAByteExactSave) {
    for (const AdvancedFixture& f : advancedFixtures()) {
        SCOPED_TRACE(f.file.toStdString());
        Unpacked fixture;
        unpack(f.file, fixture);
        if (!fixture.ok) continue;
        RecordingServices services;
        WizardDriver wizard;
        ASSERT_TRUE(wizard.state.openReader(fixture.image.toStdString()));
        const VolumeEntry volume = volumeOf(fixture, f.label);
        ParceModeNtfsDlg* mode = openModePage(wizard, volume);
        control<QLineEdit>(mode, 1129)->setText("4");
        if (f.formatted) control<QCheckBox>(mode, 1255)->setChecked(true);
        EXPECT_EQ(wizard.state.driveFormatted, f.formatted);
        wizard.click(1053);
        auto* page = wizard.visible<advanceOptions>();
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->wantedCount(), 4);
        EXPECT_EQ(control<QLabel>(page, 1062)->text(), f.entriesLabel);
        EXPECT_TRUE(shown(page, 1069));
        EXPECT_EQ(shown(page, 1077), f.label == "FAT64");
        ASSERT_TRUE(QTest::qWaitFor([page] { return page->searchDone(); }, 30000)) << "the search did not end";

        auto* entries = control<QComboBox>(page, 1063);
        auto* cluster = control<QComboBox>(page, 1069);
        ASSERT_GT(entries->count(), 0);
        EXPECT_LE(entries->count(), 4);
        EXPECT_EQ(entries->itemText(0), f.firstEntry);
        for (int i = 0; i < entries->count(); ++i)
            EXPECT_TRUE(entries->itemText(i).endsWith(":" + QString::number(i))) << entries->itemText(i).toStdString();
        EXPECT_EQ(entries->currentIndex(), 0);
        EXPECT_EQ(cluster->currentIndex(), 0);
        QString expected = f.message.arg(entries->count());
        if (f.label == "FAT64") {
            auto* heap = control<QComboBox>(page, 1077);
            ASSERT_GT(heap->count(), 0);
            EXPECT_EQ(heap->itemText(0), "HEAP_OFFSET_ENTRY:0");
            expected = f.message.arg(entries->count()).arg(heap->count());
        }
        EXPECT_EQ(itemsOf(cluster), f.clusterItems);
        EXPECT_EQ(services.messageTexts().last(), expected);
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), f.doneStatus);
        for (int id : {1055, 1060, 1061, 1059}) EXPECT_FALSE(shown(page, id)) << id;
        EXPECT_TRUE(control<QWidget>(page, 1051)->isEnabled());
        EXPECT_TRUE(control<QWidget>(page, 1067)->isEnabled());

        // The volume's own cluster size, then Next: the scan page parses from the chosen entry.
        if (!f.clusterChoice.isEmpty()) {
            const int at = cluster->findText(f.clusterChoice);
            ASSERT_GE(at, 0) << "the volume's cluster size is not offered";
            cluster->setCurrentIndex(at);
        }
        wizard.click(1067);
        auto* scan = wizard.visible<VolumeScanDlg>();
        ASSERT_NE(scan, nullptr);
        EXPECT_EQ(scan->parseMode(), 2);
        ASSERT_TRUE(waitUntilIdle(scan)) << "the parse did not end";
        ASSERT_TRUE(scan->parseResult().completed) << scan->parseResult().failure;

        // Save every top-level folder, each into its own folder, and compare every file of known bytes.
        QTemporaryDir out;
        scan->sameDiskCheck = [](const std::string&, const std::string&) { return SameDiskVerdict{}; };
        ResultTreeModel* model = scan->treeModel();
        const QModelIndex root = model->index(0, 0);
        QStringList savedFolders;
        for (int r = 0; r < model->rowCount(root); ++r) {
            const QModelIndex top = model->index(r, 0, root);
            if (!scan->adapter()->isFolder(scan->resultTree().itemData(model->itemAt(top)))) continue;
            const QString name = top.data().toString();
            const QString target = savedPath(out.path(), name);
            ASSERT_TRUE(QDir().mkpath(target));
            scan->treeView()->setCurrentIndex(top);
            control<QLineEdit>(scan, 1107)->setText(target);
            services.answers = {MsgResult::Yes};
            control<QAbstractButton>(scan, 1269)->click();
            ASSERT_TRUE(waitUntilIdle(scan)) << "the save did not end";
            EXPECT_EQ(services.messageTexts().last(), "work done") << name.toStdString();
            savedFolders << name;
        }
        int compared = 0;
        for (const QJsonValue& v : fixture.manifest.value("entries").toArray()) {
            const QJsonObject e = v.toObject();
            const std::string sha = e.value("sha256").toString().toStdString();
            const QString path = e.value("path").toString();
            if (e.value("folder").toBool() || sha.empty() || !savedFolders.contains(path.section('/', 0, 0)) ||
                !path.contains('/'))
                continue;
            EXPECT_EQ(sha256Of(savedPath(out.path(), path)), sha) << path.toStdString();
            ++compared;
        }
        EXPECT_GT(compared, 0);

        // Back from the scan page finds the lists as they were left.
        control<QAbstractButton>(scan, 1057)->click();
        WizardDriver::settle();
        EXPECT_EQ(wizard.visiblePage(), page);
        EXPECT_EQ(entries->count() > 0, true);
    }
}

TEST(AdvancedOptions, NextDoesNothingUntilBothListsHaveASelection) {
    Unpacked fixture;
    unpack("fat16/fat16_wiped", fixture);
    ASSERT_TRUE(fixture.ok);
    RecordingServices services;
    WizardDriver wizard;
    ASSERT_TRUE(wizard.state.openReader(fixture.image.toStdString()));
    ParceModeNtfsDlg* mode = openModePage(wizard, volumeOf(fixture, "fat16"));
    control<QLineEdit>(mode, 1129)->setText("");
    auto* page = new advanceOptions(wizard.state, mode);
    EXPECT_EQ(page->wantedCount(), 3) << "an empty count searches for 3";
    page->pauseGate().pause();
    mode->goForward(page);
    EXPECT_TRUE(page->searchRunning());
    EXPECT_FALSE(control<QWidget>(page, 1067)->isEnabled());
    EXPECT_FALSE(control<QWidget>(page, 1051)->isEnabled());
    control<QAbstractButton>(page, 1060)->click();
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Pause button pressed");

    // Stop enables Next and Back; the lists are still empty, so Next stays on this page.
    control<QAbstractButton>(page, 1059)->click();
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "stop button pressed");
    EXPECT_TRUE(control<QWidget>(page, 1067)->isEnabled());
    wizard.click(1067);
    EXPECT_EQ(wizard.visiblePage(), page);

    // Back while the worker is held at its gate: it is let go and ended before the page goes.
    wizard.click(1051);
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), mode);
}

TEST(AdvancedOptions, AVolumeWithoutAnAdvancedSearchLeavesBackUsable) {
    RecordingServices services;
    WizardDriver wizard;
    VolumeEntry volume;
    volume.fileSystem = "btrfs";
    volume.sizeText = "8  MB";
    ParceModeNtfsDlg* mode = openModePage(wizard, volume);
    wizard.click(1053);
    auto* page = wizard.visible<advanceOptions>();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(services.messageTexts(), QStringList{"unKnown Partition Cant be parsed..."});
    EXPECT_FALSE(page->searchRunning());
    EXPECT_FALSE(control<QWidget>(page, 1067)->isEnabled());
    ASSERT_TRUE(control<QWidget>(page, 1051)->isEnabled());
    wizard.click(1051);
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), mode);
}
