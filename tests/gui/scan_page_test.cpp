// The scan page on every file system of the table, on its fixtures, driven through its widgets:
// the parse on the worker, opening folders, the check boxes, saving byte-exact, the quick save,
// the DFXML report of a save, the search, and the worker's Pause, Resume and Stop.
#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "FsFixture.h"
#include "common/TextFormat.h"
#include "fs/OutputPath.h"
#include "RecordingServices.h"
#include "ReportXml.h"
#include "WizardDriver.h"
#include "ui/CCheckListCtrl.h"
#include "ui/CXHtmlTree.h"
#include "ui/FileListModel.h"
#include "ui/ResultTreeModel.h"
#include "ui/VolumeScanDlg.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

QStringList split(const std::string& path) { return QString::fromStdString(path).split(QLatin1Char('/')); }

// Where the save walk puts an entry: every name made one safe path component.
QString savedPath(const QString& folder, const std::string& relative) {
    QString path = folder;
    for (const QString& part : split(relative))
        path += QLatin1Char('/') + QString::fromStdString(safeComponent(trim(part.toStdString())));
    return path;
}

bool shown(QWidget* page, int id) { return !control<QWidget>(page, id)->isHidden(); }

// Browses the page's tree with the mouse, as a user does.
class TreeDriver {
public:
    explicit TreeDriver(VolumeScanDlg* page) : page_(page), view_(page->treeView()), model_(page->treeModel()) {}

    QModelIndex root() const { return model_->index(0, 0); }

    void clickLabel(const QModelIndex& index) {
        view_->scrollTo(index);
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, view_->labelPoint(index));
    }
    void clickBox(const QModelIndex& index) {
        view_->scrollTo(index);
        const QRect box = view_->checkBoxRect(index);
        ASSERT_TRUE(box.isValid());
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, box.center());
    }
    void doubleClick(const QModelIndex& index) {
        view_->scrollTo(index);
        const QPoint at = view_->labelPoint(index);
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view_->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view_->viewport(), Qt::LeftButton, {}, at);
    }
    // A label click (children inserted with their deleted marks), then the folder opens on screen.
    void open(const QModelIndex& folder) {
        clickLabel(folder);
        view_->expand(folder);
    }
    QModelIndex child(const QModelIndex& parent, const QString& text) const {
        for (int r = 0; r < model_->rowCount(parent); ++r) {
            const QModelIndex c = model_->index(r, 0, parent);
            if (c.data().toString() == text) return c;
        }
        return {};
    }
    // The item at a manifest path; the folders on the way are opened once.
    QModelIndex find(const std::string& path) {
        QModelIndex at = root();
        const QStringList parts = split(path);
        for (int i = 0; i < parts.size(); ++i) {
            const TreeItem item = model_->itemAt(at);
            if (!opened_.count(item)) {
                open(at);
                opened_.insert(item);
            }
            at = child(at, parts[i]);
            if (!at.isValid()) return {};
        }
        return at;
    }
    Qt::CheckState state(const QModelIndex& index) const {
        return Qt::CheckState(index.data(Qt::CheckStateRole).toInt());
    }

private:
    VolumeScanDlg* page_;
    CXHtmlTree* view_;
    ResultTreeModel* model_;
    std::set<TreeItem> opened_;
};

std::vector<FsFixture> fixtures() {
    std::vector<FsFixture> all = FsFixture::all();
    EXPECT_FALSE(all.empty()) << "no file-system fixtures found";
    return all;
}

// The top-level folder holding the most files with a known hash.
std::string busiestTopFolder(const FsFixture& fixture) {
    std::string best;
    int most = 0;
    for (const ManifestEntry& folder : fixture.entries) {
        if (!folder.folder || split(folder.path).size() != 1) continue;
        int n = 0;
        for (const ManifestEntry& e : fixture.entries)
            if (!e.folder && !e.sha256.empty() && e.path.starts_with(folder.path + "/")) ++n;
        if (n > most) {
            most = n;
            best = folder.path;
        }
    }
    return best;
}

// The first fixture of each kind.
std::vector<FsFixture> onePerKind() {
    std::vector<FsFixture> out;
    std::set<const FileSystemKind*> seen;
    for (const FsFixture& f : fixtures())
        if (seen.insert(f.kind).second) out.push_back(f);
    return out;
}

}  // namespace

TEST(ScanPage, ParsesBrowsesSavesAndSearchesEveryFixture) {
    for (const FsFixture& fixture : fixtures()) {
        // Deep-mode images hang everything under one orphan folder; their listing is checked
        // by the conformance test, the page's handling of them by the Stop and Pause tests.
        if (fixture.parseMode != 1) continue;
        SCOPED_TRACE(fixture.name);
        RecordingServices services;
        WizardDriver wizard;
        VolumeScanDlg* page = openScanPage(wizard, fixture);
        EXPECT_EQ(wizard.visiblePage(), page);
        EXPECT_EQ(control<QLineEdit>(page, 1322)->text().toStdString(), fixture.image);
        ASSERT_TRUE(waitUntilIdle(page)) << "the parse did not end";
        EXPECT_TRUE(page->parseResult().completed) << page->parseResult().failure;
        ASSERT_NE(page->adapter(), nullptr);
        EXPECT_TRUE(control<QWidget>(page, 1057)->isEnabled());
        for (int id : {1055, 1060, 1061, 1059}) EXPECT_FALSE(shown(page, id)) << id;
        if (fixture.kind->showsDoneMessage)
            EXPECT_TRUE(services.messageTexts().contains(
                "Scanning processing done.Select save button to save the data."));

        TreeDriver tree(page);
        ASSERT_TRUE(tree.root().isValid());
        EXPECT_EQ(tree.root().data().toString(), "ROOT");
        // Unopened folders carry one placeholder.
        for (int r = 0; r < page->treeModel()->rowCount(tree.root()); ++r) {
            const QModelIndex c = page->treeModel()->index(r, 0, tree.root());
            if (page->treeModel()->rowCount(c) > 0 && !page->treeView()->isExpanded(c)) {
                EXPECT_EQ(page->treeModel()->rowCount(c), 1);
                EXPECT_EQ(page->treeModel()->index(0, 0, c).data().toString(), "..DUMY..");
            }
        }

        // Every entry at its path, deleted ones in red where the kind marks them.
        for (const ManifestEntry& e : fixture.entries) {
            SCOPED_TRACE(e.path);
            const QModelIndex at = tree.find(e.path);
            ASSERT_TRUE(at.isValid()) << "not in the tree";
            if (e.deleted && fixture.kind->marksDeleted)
                EXPECT_EQ(at.data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
            if (e.folder) {
                // A label click lists the folder's files, not its sub-folders.
                tree.clickLabel(at);
                for (const FileListRow& row : page->fileList().rows)
                    EXPECT_FALSE(page->adapter()->isFolder(row.entry)) << row.name;
            }
        }
        EXPECT_EQ(page->resultTree().liveCount() > 1, true);

        // Check boxes through the widget: the root's box ticks everything opened below it.
        const QModelIndex root = tree.root();
        const QModelIndex first = page->treeModel()->index(0, 0, root);
        ASSERT_TRUE(first.isValid());
        tree.clickBox(root);
        EXPECT_EQ(tree.state(root), Qt::Checked);
        EXPECT_TRUE(page->resultTree().getCheck(page->treeModel()->itemAt(root)));
        for (int r = 0; r < page->treeModel()->rowCount(root); ++r)
            EXPECT_EQ(tree.state(page->treeModel()->index(r, 0, root)), Qt::Checked) << r;
        tree.clickBox(first);
        EXPECT_EQ(tree.state(first), Qt::Unchecked);
        EXPECT_EQ(tree.state(root), Qt::PartiallyChecked);
        EXPECT_FALSE(page->resultTree().getCheck(page->treeModel()->itemAt(root)));
        tree.clickBox(first);
        EXPECT_EQ(tree.state(root), Qt::Checked);
        tree.clickBox(root);
        EXPECT_EQ(tree.state(root), Qt::Unchecked);
        EXPECT_EQ(tree.state(first), Qt::Unchecked);

        // The list's boxes: a row ticks its file in the tree; the header ticks the list only.
        tree.clickLabel(root);
        const size_t rows = page->fileList().rows.size();
        if (rows > 0) {
            FileListModel* list = page->listModel();
            const TreeItem item0 = page->fileList().rows[0].item;
            list->setData(list->index(0, 0), Qt::Checked, Qt::CheckStateRole);
            EXPECT_TRUE(page->resultTree().getCheck(item0));
            EXPECT_EQ(list->headerChecked(), rows == 1);
            if (rows > 1) {
                const TreeItem item1 = page->fileList().rows[1].item;
                emit page->listView()->checkHeader()->boxClicked();
                EXPECT_TRUE(list->headerChecked());
                EXPECT_TRUE(page->fileList().rows[1].checked);
                EXPECT_FALSE(page->resultTree().getCheck(item1)) << "the header ticks no tree item";
            }
            list->setData(list->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
            EXPECT_FALSE(page->resultTree().getCheck(item0));
            EXPECT_FALSE(list->headerChecked());
        }

        // Save the top-level folder with the most known files: its contents land in the output folder.
        const std::string saved = busiestTopFolder(fixture);
        ASSERT_FALSE(saved.empty()) << "the fixture has no top-level folder with files";
        QTemporaryDir out;
        tree.clickLabel(tree.find(saved));
        control<QLineEdit>(page, 1107)->setText(out.path());
        services.messages.clear();
        services.answers = {MsgResult::Yes};
        control<QAbstractButton>(page, 1269)->click();
        ASSERT_TRUE(waitUntilIdle(page)) << "the save did not end";
        ASSERT_GE(services.messages.size(), 2u);
        EXPECT_TRUE(services.messages.front().text.startsWith("number of files found inside this folder = "));
        EXPECT_EQ(services.messages.front().buttons, MsgButtons::YesNo);
        EXPECT_EQ(services.messageTexts().last(), "work done");
        EXPECT_TRUE(page->lastSave().ran);
        EXPECT_TRUE(control<QLabel>(page, 1033)->text().contains(QRegularExpression("^\\d+ files saved, \\d+ of them incomplete")))
            << control<QLabel>(page, 1033)->text().toStdString();
        int compared = 0;
        for (const ManifestEntry& e : fixture.entries) {
            if (e.folder || e.sha256.empty() || !e.path.starts_with(saved + "/")) continue;
            EXPECT_EQ(sha256Of(savedPath(out.path(), e.path.substr(saved.size() + 1))), e.sha256)
                << e.path;
            ++compared;
        }
        EXPECT_GT(compared, 0);

        // Quick save: a double click on a file saves it at once.
        const ManifestEntry* quick = nullptr;
        for (const ManifestEntry& e : fixture.entries)
            if (!e.folder && !e.deleted && !e.sha256.empty() && split(e.path).size() == 1) quick = &e;
        if (quick) {
            QTemporaryDir quickOut;
            control<QLineEdit>(page, 1107)->setText(quickOut.path());
            services.messages.clear();
            tree.doubleClick(tree.find(quick->path));
            ASSERT_TRUE(waitUntilIdle(page));
            const QString saved = quickOut.filePath(QString::fromStdString(quick->path));
            EXPECT_EQ(sha256Of(saved), quick->sha256);
            EXPECT_TRUE(services.messageTexts().contains("file is dumped in path  :  " + saved + "   "))
                << services.messageTexts().join("|").toStdString();
        }

        // Search "jpg|png" through every folder, opened or not.
        services.messages.clear();
        control<QLineEdit>(page, 1319)->setText("jpg|png");
        control<QAbstractButton>(page, 1318)->click();
        ASSERT_TRUE(waitUntilIdle(page)) << "the search did not end";
        EXPECT_TRUE(page->fileList().showsSearchResults);
        QStringList found;
        for (const FileListRow& row : page->fileList().rows) found << QString::fromStdString(row.name);
        const QRegularExpression pattern("jpg|png", QRegularExpression::CaseInsensitiveOption);
        for (const QString& f : found) EXPECT_TRUE(pattern.match(f.section('\\', -1)).hasMatch()) << f.toStdString();
        for (const ManifestEntry& e : fixture.entries) {
            if (e.folder || e.deleted || !pattern.match(split(e.path).last()).hasMatch()) continue;
            EXPECT_TRUE(found.contains("ROOT\\" + QString::fromStdString(e.path).replace('/', '\\'))) << e.path;
        }
        EXPECT_EQ(services.messageTexts().last(), "Searching Finished");
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Searching Finished");
        EXPECT_EQ(wizard.state.searchText, "jpg|png");
    }
}

TEST(ScanPage, PauseHoldsTheParseAndResumeLetsItFinish) {
    for (const FsFixture& fixture : onePerKind()) {
        SCOPED_TRACE(fixture.name);
        RecordingServices services;
        WizardDriver wizard;
        VolumeScanDlg* page = openScanPage(wizard, fixture, true);
        control<QAbstractButton>(page, 1060)->click();
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Pause button pressed");
        for (int id : {1055, 1060, 1061, 1059}) EXPECT_TRUE(shown(page, id)) << id;
        EXPECT_FALSE(control<QWidget>(page, 1057)->isEnabled()) << "no Back while the worker runs";
        // A paused worker cannot end; the interface goes on meanwhile.
        QTest::qWait(300);
        EXPECT_TRUE(page->jobRunning());

        // Save and Search are refused while the parse runs, and start nothing.
        services.messages.clear();
        control<QLineEdit>(page, 1107)->setText(QDir::tempPath());
        control<QAbstractButton>(page, 1269)->click();
        control<QAbstractButton>(page, 1318)->click();
        ASSERT_EQ(services.messages.size(), 2u);
        EXPECT_EQ(services.messages[0].text, "Please wait for other process to complete");
        EXPECT_EQ(services.messages[0].icon, MsgIcon::Information);
        EXPECT_EQ(services.messages[1].text, "Please wait for other process to complete");
        EXPECT_EQ(services.messages[1].icon, MsgIcon::None);

        control<QAbstractButton>(page, 1061)->click();
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Resume button pressed");
        ASSERT_TRUE(waitUntilIdle(page));
        EXPECT_TRUE(page->parseResult().completed);
        EXPECT_GT(page->treeModel()->rowCount(page->treeModel()->index(0, 0)), 0);
    }
}

TEST(ScanPage, StopDuringTheParseStillRunsTheFinish) {
    for (const FsFixture& fixture : onePerKind()) {
        SCOPED_TRACE(fixture.name);
        RecordingServices services;
        WizardDriver wizard;
        VolumeScanDlg* page = openScanPage(wizard, fixture, true);
        control<QAbstractButton>(page, 1059)->click();
        EXPECT_EQ(control<QLabel>(page, 1033)->text(),
                  "stop button pressed.Please wait for the process to be stopped.");
        EXPECT_TRUE(page->jobRunning()) << "a paused worker stays paused after Stop";
        control<QAbstractButton>(page, 1061)->click();
        ASSERT_TRUE(waitUntilIdle(page));
        EXPECT_TRUE(control<QWidget>(page, 1057)->isEnabled());
        for (int id : {1055, 1060, 1061, 1059}) EXPECT_FALSE(shown(page, id)) << id;
        // Save works again after a Stop.
        EXPECT_FALSE(page->busy());
    }
}

TEST(ScanPage, UnknownLabelIsNotAValidDrive) {
    const std::vector<FsFixture> all = fixtures();
    ASSERT_FALSE(all.empty());
    RecordingServices services;
    WizardDriver wizard;
    wizard.drivePage().move(40, 30);
    VolumeScanDlg* page = openScanPage(wizard, all.front(), false, "btrfs");
    // The page takes the place of the one it replaces.
    EXPECT_EQ(page->pos(), wizard.drivePage().pos());
    EXPECT_GE(page->width(), wizard.drivePage().width());
    EXPECT_EQ(services.messageTexts(), QStringList{"not a valid drive."});
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Not a valid Drive .Go back");
    EXPECT_TRUE(control<QWidget>(page, 1057)->isEnabled());
    EXPECT_FALSE(page->jobRunning());
    // Nothing was parsed: Save keeps refusing.
    control<QAbstractButton>(page, 1269)->click();
    EXPECT_EQ(services.messageTexts().last(), "Please wait for other process to complete");
    // Stop with no parse set up does nothing, not even a status line.
    control<QAbstractButton>(page, 1059)->click();
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Not a valid Drive .Go back");
    // Back shows the page that opened this one.
    page->move(70, 50);
    control<QAbstractButton>(page, 1057)->click();
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), &wizard.drivePage());
    EXPECT_EQ(wizard.drivePage().pos(), QPoint(70, 50));
}

TEST(ScanPage, SaveAsksBeforeWritingOntoTheSourceAndNoWritesNothing) {
    const std::vector<FsFixture> all = fixtures();
    ASSERT_FALSE(all.empty());
    RecordingServices services;
    WizardDriver wizard;
    VolumeScanDlg* page = openScanPage(wizard, all.front());
    ASSERT_TRUE(waitUntilIdle(page));
    TreeDriver tree(page);

    // No output folder yet.
    tree.clickLabel(tree.find(busiestTopFolder(all.front())));
    services.messages.clear();
    control<QAbstractButton>(page, 1269)->click();
    EXPECT_EQ(services.messageTexts(), QStringList{"select output folder"});

    std::string askedSource, askedFolder;
    page->sameDiskCheck = [&](const std::string& source, const std::string& folder) {
        askedSource = source;
        askedFolder = folder;
        return SameDiskVerdict{true, "the image's own disk"};
    };
    QTemporaryDir out;
    control<QLineEdit>(page, 1107)->setText(out.path());
    services.messages.clear();
    control<QAbstractButton>(page, 1269)->click();  // the question's default answer: No
    EXPECT_EQ(askedSource, all.front().image);
    EXPECT_EQ(QDir(QString::fromStdString(askedFolder)), QDir(out.path()));
    ASSERT_EQ(services.messages.size(), 1u) << "no file-count question after No";
    EXPECT_EQ(services.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(services.messages[0].text.contains("medium being recovered"));
    EXPECT_FALSE(page->jobRunning());
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_FALSE(page->lastSave().ran);

    // The quick save asks the same.
    for (int r = 0; r < page->treeModel()->rowCount(tree.root()); ++r) {
        const QModelIndex c = page->treeModel()->index(r, 0, tree.root());
        if (page->adapter()->isFolder(page->resultTree().itemData(page->treeModel()->itemAt(c)))) continue;
        services.messages.clear();
        tree.doubleClick(c);
        EXPECT_FALSE(page->jobRunning());
        EXPECT_TRUE(services.messageTexts().join("|").contains("medium being recovered"));
        break;
    }
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

    // A file selected and Save: nothing happens.
    page->sameDiskCheck = [](const std::string&, const std::string&) { return SameDiskVerdict{}; };
    services.messages.clear();
    for (int r = 0; r < page->treeModel()->rowCount(tree.root()); ++r) {
        const QModelIndex c = page->treeModel()->index(r, 0, tree.root());
        if (page->adapter()->isFolder(page->resultTree().itemData(page->treeModel()->itemAt(c)))) continue;
        tree.clickLabel(c);
        control<QAbstractButton>(page, 1269)->click();
        EXPECT_TRUE(services.messages.empty());
        EXPECT_FALSE(page->jobRunning());
        break;
    }
}

TEST(ScanPage, InvalidPatternIsReportedAndTheSearchEnds) {
    const std::vector<FsFixture> all = fixtures();
    ASSERT_FALSE(all.empty());
    RecordingServices services;
    WizardDriver wizard;
    VolumeScanDlg* page = openScanPage(wizard, all.front());
    ASSERT_TRUE(waitUntilIdle(page));
    services.messages.clear();
    control<QLineEdit>(page, 1319)->setText("*.jpg");
    control<QAbstractButton>(page, 1318)->click();
    ASSERT_TRUE(waitUntilIdle(page));
    EXPECT_EQ(services.messageTexts(),
              QStringList{"such characters are not allowed for search.Try again with different pattern."});
    EXPECT_TRUE(page->fileList().rows.empty());
    // An empty pattern empties the list and finishes.
    services.messages.clear();
    control<QLineEdit>(page, 1319)->setText("");
    control<QAbstractButton>(page, 1318)->click();
    ASSERT_TRUE(waitUntilIdle(page));
    EXPECT_EQ(services.messageTexts(), QStringList{"Searching Finished"});
}

namespace {

// A report's file name with its %XX escapes undone.
std::string unescaped(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            out.push_back(char(std::stoi(name.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(name[i]);
        }
    }
    return out;
}

// Every entry of the folder a report may have left, hidden temporary ones included.
QStringList reportsIn(const QString& folder) {
    return QDir(folder).entryList({"quarvell-report-*", ".quarvell-report-*"}, QDir::Files | QDir::Hidden | QDir::System);
}

}  // namespace

// The report option beside Save: off by default and then no report; on, the report lands in the
// output folder under a free name (names taken stay as they are), validates against the schema,
// names the program, its version and the source, and holds every file saved with the SHA-256 of
// the bytes written; a save declined at its question leaves none; the quick save writes one too.
TEST(ScanPage, TheReportOptionWritesAValidReportOfTheFilesSavedUnderAFreeName) {
    const FsFixture* fixture = nullptr;
    const std::vector<FsFixture> all = fixtures();
    for (const FsFixture& f : all)
        if (f.parseMode == 1 && !busiestTopFolder(f).empty()) {
            fixture = &f;
            break;
        }
    ASSERT_NE(fixture, nullptr);
    SCOPED_TRACE(fixture->name);
    RecordingServices services;
    WizardDriver wizard;
    VolumeScanDlg* page = openScanPage(wizard, *fixture);
    ASSERT_TRUE(waitUntilIdle(page));
    TreeDriver tree(page);
    const std::string folder = busiestTopFolder(*fixture);
    QCheckBox* option = control<QCheckBox>(page, 1108);
    EXPECT_EQ(option->text(), "Write a DFXML report");
    EXPECT_FALSE(option->isChecked());
    const auto saveFolderInto = [&](const QString& out, MsgResult answer) {
        tree.clickLabel(tree.find(folder));
        control<QLineEdit>(page, 1107)->setText(out);
        services.messages.clear();
        services.answers = {answer};
        control<QAbstractButton>(page, 1269)->click();
        return waitUntilIdle(page);
    };

    QTemporaryDir off;
    ASSERT_TRUE(saveFolderInto(off.path(), MsgResult::Yes));
    EXPECT_GT(page->lastSave().filesSaved, 0u);
    EXPECT_TRUE(page->lastReport().isEmpty());
    EXPECT_TRUE(reportsIn(off.path()).isEmpty());

    option->setChecked(true);
    QTemporaryDir out;
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = 0; s < 6; ++s) {
        taken << out.filePath("quarvell-report-" + now.addSecs(s).toString("yyyyMMdd-HHmmss") + ".xml");
        QFile f(taken.last());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("kept");
    }
    ASSERT_TRUE(saveFolderInto(out.path(), MsgResult::Yes));
    EXPECT_EQ(services.messageTexts().last(), "work done");
    const QString report = page->lastReport();
    ASSERT_FALSE(report.isEmpty()) << page->lastReportProblem().toStdString();
    EXPECT_EQ(QFileInfo(report).absolutePath(), QFileInfo(out.path()).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression("^quarvell-report-\\d{8}-\\d{6}-2\\.xml$").match(QFileInfo(report).fileName()).hasMatch())
        << report.toStdString();
    for (const QString& t : taken) {
        QFile f(t);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "kept") << t.toStdString();
    }
    const QString status = control<QLabel>(page, 1033)->text();
    EXPECT_TRUE(status.contains(QRegularExpression("^\\d+ files saved, \\d+ of them incomplete"))) << status.toStdString();
    EXPECT_TRUE(status.endsWith("; DFXML report: " + report)) << status.toStdString();
    EXPECT_EQ(reportsIn(out.path()).size(), taken.size() + 1) << "no temporary report is left";

    quarvell::testing::ReportXml xml(report.toStdString());
    ASSERT_TRUE(xml.loaded());
    EXPECT_VALID_REPORT(report.toStdString());
    EXPECT_EQ(xml.one("/d:dfxml/d:creator/d:program"), "quarvell");
    EXPECT_EQ(xml.one("/d:dfxml/d:creator/d:version"), QUARVELL_VERSION);
    EXPECT_EQ(xml.one("/d:dfxml/d:metadata/dc:type"), "Recovery Report");
    EXPECT_EQ(xml.one("/d:dfxml/d:source/d:image_filename"), fixture->image);
    EXPECT_EQ(xml.one("/d:dfxml/d:volume/d:ftype_str"), page->volume().fileSystem);
    std::map<std::string, std::string> known;
    for (const ManifestEntry& e : fixture->entries)
        if (!e.folder) known[e.path] = e.sha256;
    const auto files = xml.nodes("//d:fileobject");
    EXPECT_EQ(files.size(), page->lastSave().filesSaved + page->lastSave().filesFailed);
    EXPECT_EQ(xml.one("//q:file_count"), std::to_string(files.size()));
    int matched = 0;
    for (xmlNodePtr f : files) {
        const std::string name = unescaped(xml.one("d:filename", f));
        SCOPED_TRACE(name);
        EXPECT_TRUE(name.starts_with(folder + "/"));
        const std::string hash = xml.one("d:hashdigest[@type='sha256']", f);
        EXPECT_EQ(sha256Of(QString::fromStdString(xml.one("q:output_path", f))), hash);
        if (known.count(name) && !known[name].empty()) {
            EXPECT_EQ(hash, known[name]);
            ++matched;
        }
    }
    EXPECT_GT(matched, 0);

    // Declined at the file-count question: nothing is saved and no report is left.
    QTemporaryDir declined;
    ASSERT_TRUE(saveFolderInto(declined.path(), MsgResult::No));
    EXPECT_FALSE(page->lastSave().ran);
    EXPECT_TRUE(page->lastReport().isEmpty());
    EXPECT_TRUE(QDir(declined.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    // The quick save's report holds its one file under its path on the volume.
    const ManifestEntry* quick = nullptr;
    for (const ManifestEntry& e : fixture->entries)
        if (!e.folder && !e.deleted && !e.sha256.empty() && split(e.path).size() == 2 &&
            e.path.starts_with(folder + "/"))
            quick = &e;
    ASSERT_NE(quick, nullptr);
    QTemporaryDir quickOut;
    control<QLineEdit>(page, 1107)->setText(quickOut.path());
    tree.doubleClick(tree.find(quick->path));
    ASSERT_TRUE(waitUntilIdle(page));
    ASSERT_FALSE(page->lastReport().isEmpty()) << page->lastReportProblem().toStdString();
    quarvell::testing::ReportXml one(page->lastReport().toStdString());
    EXPECT_VALID_REPORT(page->lastReport().toStdString());
    EXPECT_EQ(one.all("//d:fileobject/d:filename"), std::vector<std::string>{quick->path});
    EXPECT_EQ(one.one("//d:fileobject/d:hashdigest"), quick->sha256);
}

// EXIT (and Yes to the close question) with a parse under way says "All thread Stopped" in the
// status line before the program ends; the worker leaves at its next poll.
TEST(ScanPage, ExitStopsTheWorkersAndSaysSoFirst) {
    const FsFixture fixture = onePerKind().front();
    RecordingServices services;
    WizardDriver wizard;
    VolumeScanDlg* page = openScanPage(wizard, fixture, true);
    control<QAbstractButton>(page, 1)->click();
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "All thread Stopped");
    EXPECT_EQ(services.exitCodes, std::vector<int>{0});
    ASSERT_TRUE(waitUntilIdle(page)) << "the paused worker was let go and stopped";
}
