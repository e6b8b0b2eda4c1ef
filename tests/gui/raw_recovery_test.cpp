// The raw recovery page on a carving image made here (known files at sector starts in filler,
// one in the pass after the last whole MiB): the catalogue chosen with "...", Parse on the worker,
// the categories with their counts, the finds named by offset and extension, the file list, the
// ticked files saved byte-exact (with a DFXML report when asked), Pause and Resume, Stop keeping what was found, and a category of
// 100,000 finds. Then the signature editor's refusals and a record appended byte-exact.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "RecordingServices.h"
#include "ReportXml.h"
#include "WizardDriver.h"
#include "raw/SignatureEditor.h"
#include "ui/CXHtmlTree.h"
#include "ui/RawFileListModel.h"
#include "ui/RawRecoveryDialog.h"
#include "ui/RawSettingDlg.h"
#include "ui/ResultTreeModel.h"

using namespace quarvell;
using namespace quarvell::ui;

namespace {

constexpr int64_t MiB = 1048576;

QByteArray bytes(std::initializer_list<uint8_t> list) {
    QByteArray out;
    for (uint8_t b : list) out.append(char(b));
    return out;
}

// A file that begins with `header`, ends with `footer` and holds neither in between.
QByteArray blob(const QByteArray& header, int body, const QByteArray& footer) {
    QByteArray out = header;
    for (int i = 0; i < body; ++i) out.append(char('a' + i % 26));
    return out + footer;
}

const QByteArray kDocHeader = "QVF1", kDocFooter = "END!";
const QByteArray kPicHeader = "QVP1", kPicFooter = "PEND";
const QByteArray kNoteHeader = "QVN1";
constexpr int64_t kNoteSize = 1536;

// The catalogue: two footer-ended signatures sharing "Documents", one sized signature in "Notes".
QString writeCatalogue(const QTemporaryDir& dir) {
    const QString path = dir.filePath("catalogue.bin");
    NullSink quiet;
    SignatureEditor editor(&quiet);
    EXPECT_TRUE(editor.chooseFile(path.toStdString()));
    SignatureForm doc{"qvf", "51,56,46,31", "45,4E,44,21"};
    doc.category = "Documents";
    SignatureForm pic{"qvp", "0x51,0x56,0x50,0x31", "50,45,4E,44"};
    pic.category = "Documents";
    SignatureForm note{"qvn", "51,56,4E,31", ""};
    note.approximateSize = kNoteSize;
    note.category = "Notes";
    for (const SignatureForm& f : {doc, pic, note}) EXPECT_TRUE(editor.appendRecord(f));
    return path;
}

struct CarvingImage {
    QString path;
    QByteArray medium;
    void put(int64_t at, const QByteArray& data) { medium.replace(int(at), data.size(), data); }
    void write() {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(medium), medium.size());
    }
};

std::string sha256(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

std::string sha256Of(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "(missing)";
    return sha256(f.readAll());
}

VolumeEntry rawVolume(const QString& image, int64_t bytes) {
    VolumeEntry v;
    v.fileSystem = "RAW";
    v.displayName = v.volumeName = image.toStdString();
    v.sectorCount = uint64_t(bytes) / 512;
    v.sizeText = std::to_string(bytes / MiB);
    return v;
}

RawRecoveryDialog* openRawPage(WizardDriver& wizard, const CarvingImage& image, const QString& catalogue) {
    EXPECT_TRUE(wizard.state.openReader(image.path.toStdString()));
    auto* page = new RawRecoveryDialog(wizard.state, &wizard.drivePage(), rawVolume(image.path, image.medium.size()));
    wizard.drivePage().goForward(page);
    page->chooseSettingsFile = [catalogue] { return catalogue; };
    control<QCheckBox>(page, 1255)->setChecked(false);
    control<QAbstractButton>(page, 1237)->click();
    page->sameDiskCheck = [](const std::string&, const std::string&) { return SameDiskVerdict{}; };
    return page;
}

bool waitDone(RawRecoveryDialog* page, int ms = 60000) {
    return QTest::qWaitFor([page] { return !page->jobRunning(); }, ms);
}

QStringList childTexts(ResultTreeModel* model, const QModelIndex& parent) {
    QStringList out;
    for (int r = 0; r < model->rowCount(parent); ++r) out << model->index(r, 0, parent).data().toString();
    return out;
}

QModelIndex childNamed(ResultTreeModel* model, const QModelIndex& parent, const QString& text) {
    for (int r = 0; r < model->rowCount(parent); ++r)
        if (model->index(r, 0, parent).data().toString() == text) return model->index(r, 0, parent);
    return {};
}

void clickLabel(RawRecoveryDialog* page, const QModelIndex& index) {
    page->treeView()->scrollTo(index);
    QTest::mouseClick(page->treeView()->viewport(), Qt::LeftButton, {}, page->treeView()->labelPoint(index));
}

bool shown(QWidget* page, int id) { return !control<QWidget>(page, id)->isHidden(); }

}  // namespace

TEST(RawRecoveryPage, CarvesListsByCategoryAndSavesTheTickedFilesByteExact) {
    QTemporaryDir dir;
    const QString catalogue = writeCatalogue(dir);
    CarvingImage image{dir.filePath("medium.img"), QByteArray(int(3 * MiB + 3584), ' ')};
    const QByteArray doc = blob(kDocHeader, 3000, kDocFooter);
    const QByteArray pic = blob(kPicHeader, 70000, kPicFooter);  // runs over a chunk's end
    const QByteArray lateDoc = blob(kDocHeader, 900, kDocFooter);
    image.put(4096, doc);
    image.put(MiB - 1536, pic);
    image.put(2 * MiB + 1024, kNoteHeader + "a note of its approximate size");
    image.put(3 * MiB + 512, lateDoc);  // in the rest after the last whole MiB
    image.put(600003, kDocHeader);       // not at a sector start: never a find
    image.write();

    RecordingServices services;
    WizardDriver wizard;
    RawRecoveryDialog* page = openRawPage(wizard, image, catalogue);
    EXPECT_EQ(control<QLineEdit>(page, 1304)->text(), catalogue);
    for (int id : {1027, 1060, 1250, 1248}) EXPECT_FALSE(shown(page, id)) << id;

    control<QAbstractButton>(page, 1238)->click();
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Processing.....");
    EXPECT_FALSE(control<QWidget>(page, 1229)->isEnabled()) << "no Back while carving";
    ASSERT_TRUE(waitDone(page));
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Processing done");
    EXPECT_TRUE(services.messageTexts().contains("Scanning processing done.Select save button to save the data.."));
    EXPECT_TRUE(control<QWidget>(page, 1229)->isEnabled());
    for (int id : {1027, 1060, 1250, 1248}) EXPECT_FALSE(shown(page, id)) << id;

    ResultTreeModel* model = page->treeModel();
    const QModelIndex top = model->index(0, 0);
    ASSERT_EQ(top.data().toString(), "RAW RECOVERY ");
    EXPECT_EQ(childTexts(model, top), QStringList({"Documents (3)", "Notes (1)"}));
    const QModelIndex docs = childNamed(model, top, "Documents (3)");
    const QModelIndex notes = childNamed(model, top, "Notes (1)");
    EXPECT_EQ(childTexts(model, docs), QStringList({"4096 .qvf", QString::number(MiB - 1536) + " .qvp",
                                                    QString::number(3 * MiB + 512) + " .qvf"}));
    EXPECT_EQ(childTexts(model, notes), QStringList({QString::number(2 * MiB + 1024) + " .qvn"}));

    // A category's label fills the list with its files; the top item's holds no files.
    clickLabel(page, docs);
    RawFileListModel* list = page->listModel();
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->index(1).data().toString(), QString::number(MiB - 1536) + " .qvp");
    EXPECT_EQ(list->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "FILES LIST ");
    clickLabel(page, top);
    EXPECT_EQ(list->rowCount(), 0);

    // Nothing ticked.
    services.messages.clear();
    control<QAbstractButton>(page, 1252)->click();
    EXPECT_EQ(services.messageTexts(), QStringList{"Please Select item from tree to save"});

    // Tick the first document in the list and the whole "Notes" category in the tree.
    clickLabel(page, docs);
    list->setData(list->index(0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(Qt::CheckState(docs.data(Qt::CheckStateRole).toInt()), Qt::PartiallyChecked);
    model->setData(notes, Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(Qt::CheckState(model->index(0, 0, notes).data(Qt::CheckStateRole).toInt()), Qt::Checked);

    // Onto the medium being carved: asked first, and No (the default) writes nothing.
    QTemporaryDir out;
    int asked = 0;
    page->chooseFolder = [&] {
        ++asked;
        return out.path();
    };
    page->sameDiskCheck = [](const std::string&, const std::string&) { return SameDiskVerdict{true, "same disk"}; };
    services.messages.clear();
    control<QAbstractButton>(page, 1252)->click();
    EXPECT_EQ(asked, 1) << "without an output folder Save asks for one";
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Nothing was saved.");
    EXPECT_TRUE(QDir(out.path()).isEmpty());

    page->sameDiskCheck = [](const std::string&, const std::string&) { return SameDiskVerdict{}; };
    control<QAbstractButton>(page, 1252)->click();
    ASSERT_TRUE(waitDone(page));
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "2 files saved into " + out.path());
    EXPECT_EQ(sha256Of(out.filePath("4096 .qvf")), sha256(doc));
    const QString notePath = out.filePath(QString::number(2 * MiB + 1024) + " .qvn");
    EXPECT_EQ(sha256Of(notePath), sha256(image.medium.mid(int(2 * MiB + 1024), int(kNoteSize))));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 2);

    // The untouched files, ticked now: the document over the chunk's end and the late one.
    list->setData(list->index(1), Qt::Checked, Qt::CheckStateRole);
    list->setData(list->index(2), Qt::Checked, Qt::CheckStateRole);
    model->setData(notes, Qt::Unchecked, Qt::CheckStateRole);
    list->setData(list->index(0), Qt::Unchecked, Qt::CheckStateRole);
    QTemporaryDir second;
    control<QLineEdit>(page, 1240)->setText(second.path());
    control<QAbstractButton>(page, 1252)->click();
    ASSERT_TRUE(waitDone(page));
    EXPECT_EQ(sha256Of(second.filePath(QString::number(MiB - 1536) + " .qvp")), sha256(pic));
    EXPECT_EQ(sha256Of(second.filePath(QString::number(3 * MiB + 512) + " .qvf")), sha256(lateDoc));
    EXPECT_EQ(page->lastSave().saved, 2);
    EXPECT_EQ(page->lastSave().failed, 0);

    // Back returns to the page that opened this one.
    control<QAbstractButton>(page, 1229)->click();
    WizardDriver::settle();
    EXPECT_EQ(wizard.visiblePage(), &wizard.drivePage());
}

// The report option beside Save: a carve report of the files saved, each one's hash that of the
// saved bytes and of the image range its byte run names.
TEST(RawRecoveryPage, TheReportOptionWritesACarveReportOfTheSavedFiles) {
    QTemporaryDir dir;
    const QString catalogue = writeCatalogue(dir);
    CarvingImage image{dir.filePath("medium.img"), QByteArray(int(2 * MiB), ' ')};
    const QByteArray doc = blob(kDocHeader, 3000, kDocFooter);
    const QByteArray pic = blob(kPicHeader, 70000, kPicFooter);
    image.put(4096, doc);
    image.put(MiB - 1536, pic);
    image.write();
    RecordingServices services;
    WizardDriver wizard;
    RawRecoveryDialog* page = openRawPage(wizard, image, catalogue);
    control<QAbstractButton>(page, 1238)->click();
    ASSERT_TRUE(waitDone(page));
    ResultTreeModel* model = page->treeModel();
    const QModelIndex docs = childNamed(model, model->index(0, 0), "Documents (2)");
    ASSERT_TRUE(docs.isValid());
    model->setData(docs, Qt::Checked, Qt::CheckStateRole);

    QCheckBox* option = control<QCheckBox>(page, 1241);
    EXPECT_EQ(option->text(), "Write a DFXML report");
    EXPECT_FALSE(option->isChecked());
    option->setChecked(true);
    QTemporaryDir out;
    control<QLineEdit>(page, 1240)->setText(out.path());
    control<QAbstractButton>(page, 1252)->click();
    ASSERT_TRUE(waitDone(page));
    const QString report = page->lastSave().report;
    ASSERT_FALSE(report.isEmpty()) << page->lastSave().reportProblem.toStdString();
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "2 files saved into " + out.path() + "; DFXML report: " + report);
    EXPECT_EQ(QFileInfo(report).absolutePath(), QFileInfo(out.path()).absoluteFilePath());

    quarvell::testing::ReportXml xml(report.toStdString());
    ASSERT_TRUE(xml.loaded());
    EXPECT_VALID_REPORT(report.toStdString());
    EXPECT_EQ(xml.one("/d:dfxml/d:metadata/dc:type"), "Carve Report");
    EXPECT_EQ(xml.one("/d:dfxml/d:creator/d:program"), "quarvell");
    EXPECT_EQ(xml.one("/d:dfxml/d:source/d:image_filename"), image.path.toStdString());
    EXPECT_EQ(xml.one("//q:outcome"), "complete");
    EXPECT_EQ(xml.all("//d:fileobject/d:filename"),
              (std::vector<std::string>{"4096 .qvf", std::to_string(MiB - 1536) + " .qvp"}));
    for (xmlNodePtr f : xml.nodes("//d:fileobject")) {
        SCOPED_TRACE(xml.one("d:filename", f));
        const std::string hash = xml.one("d:hashdigest[@type='sha256']", f);
        EXPECT_EQ(sha256Of(QString::fromStdString(xml.one("q:output_path", f))), hash);
        const auto runs = xml.nodes("d:byte_runs/d:byte_run", f);
        ASSERT_EQ(runs.size(), 1u);
        const int at = std::stoi(quarvell::testing::attr(runs[0], "img_offset"));
        const int len = std::stoi(quarvell::testing::attr(runs[0], "len"));
        EXPECT_EQ(sha256(image.medium.mid(at, len)), hash);
    }
}

TEST(RawRecoveryPage, PauseHoldsTheCarvingAndStopKeepsTheFindsSoFar) {
    QTemporaryDir dir;
    const QString catalogue = writeCatalogue(dir);
    CarvingImage image{dir.filePath("medium.img"), QByteArray(int(8 * MiB), ' ')};
    image.put(1024, kNoteHeader);
    image.put(MiB + 2048, kNoteHeader);
    image.put(6 * MiB + 512, kNoteHeader);
    image.write();
    RecordingServices services;
    WizardDriver wizard;

    {   // Pause, then Resume: the carving waits, then ends with every find.
        RawRecoveryDialog* page = openRawPage(wizard, image, catalogue);
        page->pauseGate().pause();
        control<QAbstractButton>(page, 1238)->click();
        control<QAbstractButton>(page, 1060)->click();
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Pause button pressed");
        for (int id : {1027, 1060, 1250, 1248}) EXPECT_TRUE(shown(page, id)) << id;
        QTest::qWait(300);
        EXPECT_TRUE(page->jobRunning());
        control<QAbstractButton>(page, 1250)->click();
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Resume button pressed");
        ASSERT_TRUE(waitDone(page));
        ASSERT_NE(page->engine(), nullptr);
        EXPECT_EQ(page->engine()->carvedItems.size(), 3u);
        control<QAbstractButton>(page, 1229)->click();
        WizardDriver::settle();
    }
    {   // Held after the second MiB, stopped, let go: the first two finds stay, the third never comes.
        RawRecoveryDialog* page = openRawPage(wizard, image, catalogue);
        PauseGate& gate = page->pauseGate();
        page->progressSeen = [&gate](int64_t pos) {
            if (pos == 2) gate.pause();
        };
        services.messages.clear();
        control<QAbstractButton>(page, 1238)->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return gate.isPaused(); }, 30000));
        control<QAbstractButton>(page, 1248)->click();
        EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Stop button pressed.Please wait for the process to stop");
        EXPECT_TRUE(page->jobRunning()) << "a held carving stays held after Stop";
        control<QAbstractButton>(page, 1250)->click();
        ASSERT_TRUE(waitDone(page));
        EXPECT_TRUE(services.messageTexts().contains("Scanning processing done.Select save button to save the data.."));
        ResultTreeModel* model = page->treeModel();
        const QModelIndex notes = childNamed(model, model->index(0, 0), "Notes (2)");
        ASSERT_TRUE(notes.isValid()) << childTexts(model, model->index(0, 0)).join(',').toStdString();
        EXPECT_EQ(childTexts(model, notes),
                  QStringList({"1024 .qvn", QString::number(MiB + 2048) + " .qvn"}));
    }
}

TEST(RawRecoveryPage, AHundredThousandFindsFillTheTreeAndTheListAtOnce) {
    QTemporaryDir dir;
    const QString catalogue = writeCatalogue(dir);
    constexpr int kFinds = 100000;
    CarvingImage image{dir.filePath("many.img"), QByteArray(kFinds * 512, ' ')};
    for (int i = 0; i < kFinds; ++i) image.put(int64_t(i) * 512, kNoteHeader);
    image.write();
    RecordingServices services;
    WizardDriver wizard;
    RawRecoveryDialog* page = openRawPage(wizard, image, catalogue);
    control<QAbstractButton>(page, 1238)->click();
    ASSERT_TRUE(waitDone(page, 120000));
    ResultTreeModel* model = page->treeModel();
    const QModelIndex notes = childNamed(model, model->index(0, 0), "Notes (100000)");
    ASSERT_TRUE(notes.isValid()) << childTexts(model, model->index(0, 0)).join(',').toStdString();

    QElapsedTimer timer;
    timer.start();
    page->treeView()->expand(notes);
    EXPECT_EQ(model->rowCount(notes), kFinds);
    clickLabel(page, notes);
    EXPECT_EQ(page->listModel()->rowCount(), kFinds);
    EXPECT_EQ(page->listModel()->index(kFinds - 1).data().toString(), QString::number(int64_t(kFinds - 1) * 512) + " .qvn");
    QTest::qWait(1);  // the views paint
    // Ticking the category reaches every row of the list.
    model->setData(notes, Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(Qt::CheckState(page->listModel()->index(kFinds / 2).data(Qt::CheckStateRole).toInt()), Qt::Checked);
    EXPECT_LT(timer.elapsed(), 5000) << "opening a category of 100,000 finds took " << timer.elapsed() << " ms";
}

TEST(RawRecoveryPage, SettingsFileProblemsEndTheParseWithTheLoadersMessages) {
    QTemporaryDir dir;
    CarvingImage image{dir.filePath("medium.img"), QByteArray(int(MiB), ' ')};
    image.write();
    QFile shortFile(dir.filePath("short.bin"));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(170, '\0'));
    shortFile.close();
    RecordingServices services;
    WizardDriver wizard;
    RawRecoveryDialog* page = openRawPage(wizard, image, shortFile.fileName());
    control<QAbstractButton>(page, 1238)->click();
    EXPECT_EQ(services.messageTexts(), QStringList{"not a valid file.."});
    EXPECT_EQ(control<QLabel>(page, 1033)->text(), "Processing done");
    EXPECT_FALSE(page->jobRunning());
    for (int id : {1027, 1060, 1250, 1248}) EXPECT_FALSE(shown(page, id)) << id;

    // No catalogue at all: nothing to carve with, and nothing starts.
    services.messages.clear();
    control<QLineEdit>(page, 1304)->clear();
    control<QAbstractButton>(page, 1238)->click();
    EXPECT_EQ(services.messageTexts(), QStringList{"enter the info file first.."});
    EXPECT_FALSE(page->jobRunning());

    // A volume of no size.
    auto* empty = new RawRecoveryDialog(wizard.state, page, rawVolume(image.path, 0));
    page->goForward(empty);
    empty->cataloguePath = writeCatalogue(dir);
    control<QLineEdit>(empty, 1304)->clear();
    services.messages.clear();
    control<QAbstractButton>(empty, 1238)->click();
    EXPECT_EQ(services.messageTexts(), QStringList{"zero size volume.."});
    EXPECT_FALSE(empty->jobRunning());
}

namespace {

// The record the editor must write, built by hand from the file format.
QByteArray expectedRecord(const QString& ext, int extLength, QByteArray header, QByteArray footer, uint8_t index,
                          int32_t sizeOffset, uint32_t sizeBytes, uint32_t headerSize, bool includesHeader,
                          int64_t approx, int64_t skip, const QString& category) {
    QByteArray r(171, '\0');
    auto le = [&](int at, uint64_t v, int n) {
        for (int i = 0; i < n; ++i) r[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    for (int i = 0; i < std::min<int>(4, int(ext.size())); ++i) le(2 * i, ext[i].unicode(), 2);
    r[10] = char(extLength);
    r.replace(11, header.size(), header);
    r.replace(21, footer.size(), footer);
    r[31] = char(header.size());
    r[32] = char(footer.size());
    r[33] = char(index);
    le(34, uint32_t(sizeOffset), 4);
    le(38, sizeBytes, 4);
    le(42, headerSize, 4);
    r[46] = char(includesHeader ? 1 : 0);
    le(51, uint64_t(approx), 8);
    le(59, uint64_t(skip), 8);
    for (int i = 0; i < category.size(); ++i) le(67 + 2 * i, category[i].unicode(), 2);
    return r;
}

void setText(QWidget* dialog, int id, const QString& text) { control<QLineEdit>(dialog, id)->setText(text); }

}  // namespace

TEST(SignatureEditor, RefusesEmptyFieldsAndAppendsRecordsByteExact) {
    QTemporaryDir dir;
    const QString path = dir.filePath("signatures.bin");
    RecordingServices services;
    RawSettingDlg dialog;
    dialog.chooseFile = [path] { return path; };

    // Without a settings file Save does nothing.
    setText(&dialog, 1292, "jpeg");
    control<QAbstractButton>(&dialog, 1269)->click();
    EXPECT_TRUE(services.messages.empty());
    EXPECT_FALSE(QFile::exists(path));

    control<QAbstractButton>(&dialog, 1229)->click();
    EXPECT_EQ(control<QLineEdit>(&dialog, 1303)->text(), path);
    ASSERT_TRUE(dialog.fileOpen());

    setText(&dialog, 1292, "");
    control<QAbstractButton>(&dialog, 1269)->click();
    setText(&dialog, 1292, "jpeg");
    setText(&dialog, 1293, " , ,");
    control<QAbstractButton>(&dialog, 1269)->click();
    EXPECT_EQ(services.messageTexts(), QStringList({"extention length is zero..", "signature length is zero.."}));
    EXPECT_EQ(QFileInfo(path).size(), 0);

    // A full form: the first record, index 0.
    services.messages.clear();
    setText(&dialog, 1293, "0xFF,0xD8,,0xFF");
    setText(&dialog, 1294, "FF, D9");
    setText(&dialog, 1296, "4");
    setText(&dialog, 1297, "16");
    control<QCheckBox>(&dialog, 1255)->setChecked(true);
    setText(&dialog, 1298, "2097152");
    setText(&dialog, 1299, "5000000");
    setText(&dialog, 1300, "Pictures");
    control<QAbstractButton>(&dialog, 1269)->click();
    EXPECT_EQ(services.messageTexts(), QStringList{"everything initialized well....."});

    // A second one: a five-letter extension keeps four letters and its length; an offset is kept.
    setText(&dialog, 1292, "abcde");
    setText(&dialog, 1293, "89,50");
    setText(&dialog, 1294, "");
    setText(&dialog, 1295, "12");
    setText(&dialog, 1296, "");
    setText(&dialog, 1297, "");
    control<QCheckBox>(&dialog, 1255)->setChecked(false);
    setText(&dialog, 1298, "");
    setText(&dialog, 1299, "");
    setText(&dialog, 1300, "");
    control<QAbstractButton>(&dialog, 1269)->click();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    ASSERT_EQ(written.size(), 342);
    EXPECT_EQ(written.left(171).toHex().toStdString(),
              expectedRecord("jpeg", 4, bytes({0xFF, 0xD8, 0xFF}), bytes({0xFF, 0xD9}), 0, -1, 4, 16, true, 5000000,
                             2097152, "Pictures")
                  .toHex()
                  .toStdString());
    EXPECT_EQ(written.mid(171).toHex().toStdString(),
              expectedRecord("abcd", 5, bytes({0x89, 0x50}), {}, 1, 12, 0, 0, false, 0, 0, "").toHex().toStdString());

    // Choosing the same file again keeps its records.
    control<QAbstractButton>(&dialog, 1229)->click();
    EXPECT_EQ(QFileInfo(path).size(), 342);
}
