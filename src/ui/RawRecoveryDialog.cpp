#include "ui/RawRecoveryDialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <exception>
#include <vector>

#include "app/core/CTessmorApp.h"
#include "common/InstallPaths.h"
#include "raw/CarvedFileSaver.h"
#include "raw/SignatureLoader.h"
#include "report/SaveReportSession.h"
#include "scan/SaveWalk.h"
#include "ui/CXHtmlTree.h"
#include "ui/PageServices.h"
#include "ui/RawFileListModel.h"
#include "ui/RawSettingDlg.h"
#include "ui/QtUiSink.h"
#include "ui/ResultTreeModel.h"
#include "ui/ScanWorkerSink.h"

namespace quarvell::ui {

namespace {

constexpr const char* kDoneStatus = "Processing done";

}  // namespace

// The worker's reports go to the page's coalescing sink; progress positions are also shown to
// whoever watches them.
class RawRecoveryDialog::WorkerSink final : public UiSink {
public:
    WorkerSink(UiSink& inner, const std::function<void(int64_t)>& seen) : inner_(inner), seen_(seen) {}
    void setProgressRange(int64_t low, int64_t high) override { inner_.setProgressRange(low, high); }
    void setProgressPos(int64_t pos) override {
        inner_.setProgressPos(pos);
        if (seen_) seen_(pos);
    }
    void setStatus(const std::string& text) override { inner_.setStatus(text); }
    void setDetail(const std::string& text) override { inner_.setDetail(text); }
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        return inner_.messageBox(text, caption, icon, buttons);
    }

private:
    UiSink& inner_;
    const std::function<void(int64_t)>& seen_;
};

RawRecoveryDialog::RawRecoveryDialog(CTessmorApp& app, WizardPage* creator, const VolumeEntry& volume)
    : WizardPage(app, creator, kResourceId, QStringLiteral("Raw Recovery Dialog")),
      cataloguePath(QString::fromStdString(defaultCataloguePath())),
      volume_(volume) {
    control_.gate = &gate_;
    tree_.checkBoxes = true;
    tree_.smartCheck = true;

    auto* group = new QGroupBox(
        QStringLiteral("Click Parse button to add default file settings or create your own file to process raw recovery."),
        this);
    auto* groupLayout = new QVBoxLayout(group);
    auto* fileRow = new QHBoxLayout;
    settingsEdit_ = named(new QLineEdit(cataloguePath, group), kSettingsEdit);
    auto* pick = named(new QPushButton(QStringLiteral("..."), group), kChooseSettings);
    parseButton_ = named(new QPushButton(QStringLiteral("Parse"), group), kParse);
    fileRow->addWidget(settingsEdit_, 1);
    fileRow->addWidget(pick);
    fileRow->addWidget(parseButton_);
    groupLayout->addLayout(fileRow);
    auto* optionRow = new QHBoxLayout;
    loadDefault_ = named(new QCheckBox(QStringLiteral("Load Default Items"), group), kLoadDefault);
    loadDefault_->setChecked(true);
    settingButton_ = named(new QPushButton(QIcon(QStringLiteral(":/icons/add.png")), QString(), group), kSetting);
    settingButton_->setToolTip(QStringLiteral("Setting"));
    optionRow->addWidget(loadDefault_);
    optionRow->addStretch(1);
    optionRow->addWidget(settingButton_);
    optionRow->addWidget(new QLabel(QStringLiteral("[Add new signatures in \n new/existing file]"), group));
    groupLayout->addLayout(optionRow);
    content()->addWidget(group);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    treeView_ = named(new CXHtmlTree(splitter), kTree);
    treeModel_ = new ResultTreeModel(this);
    treeView_->setModel(treeModel_);
    treeView_->setUniformRowHeights(true);
    listView_ = named(new QTreeView(splitter), kList);
    listModel_ = new RawFileListModel(this);
    listView_->setModel(listModel_);
    listView_->setRootIsDecorated(false);
    listView_->setUniformRowHeights(true);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->header()->resizeSection(0, 300);
    splitter->addWidget(treeView_);
    splitter->addWidget(listView_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    content()->addWidget(splitter, 1);

    auto* saveRow = new QHBoxLayout;
    auto* browse = named(new QPushButton(QIcon(QStringLiteral(":/icons/open.png")), QStringLiteral("Browse"), this), kBrowse);
    outputFolder_ = named(new QLineEdit(this), kOutputFolder);
    saveButton_ = named(new QPushButton(QIcon(QStringLiteral(":/icons/next.png")), QStringLiteral("Save"), this), kSave);
    saveRow->addWidget(browse);
    saveRow->addWidget(outputFolder_, 1);
    writeReport_ = named(new QCheckBox(QStringLiteral("Write a DFXML report"), this), kWriteReport);
    writeReport_->setToolTip(QStringLiteral(
        "Also write quarvell-report-<date>-<time>.xml into the output folder: every file saved, the range of "
        "the medium it was carved from and the SHA-256 of the bytes written"));
    saveRow->addWidget(writeReport_);
    saveRow->addWidget(saveButton_);
    content()->addLayout(saveRow);

    progress_ = named(new QProgressBar(this), kProgress);
    content()->addWidget(progress_);
    status_ = named(new QLabel(this), kStatus);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    content()->addWidget(status_);

    for (QPushButton* b : {pick, parseButton_, settingButton_, browse, saveButton_}) b->setAutoDefault(false);
    pauseButton_ = addNavigationButton(kPause, QStringLiteral("Pause"), QString());
    resumeButton_ = addNavigationButton(kResume, QStringLiteral("Resume"), QString());
    stopButton_ = addNavigationButton(kStop, QStringLiteral("Stop"), QStringLiteral(":/icons/stop.png"));
    backButton_ = addBackButton(kBack);
    showWorkerControls(false);

    sink_ = std::make_unique<ScanWorkerSink>(this, progress_, status_, nullptr);
    workerSink_ = std::make_unique<WorkerSink>(*sink_, progressSeen);

    chooseFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Please choose a folder."), QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    chooseSettingsFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(), QString(), nullptr,
                                            QFileDialog::ReadOnly);
    };
    openSettingEditor = [this] {
        RawSettingDlg editor(this);
        editor.exec();
    };

    connect(pick, &QPushButton::clicked, this, &RawRecoveryDialog::pickSettingsFile);
    connect(browse, &QPushButton::clicked, this, &RawRecoveryDialog::browse);
    connect(parseButton_, &QPushButton::clicked, this, &RawRecoveryDialog::parse);
    connect(pauseButton_, &QPushButton::clicked, this, &RawRecoveryDialog::pause);
    connect(resumeButton_, &QPushButton::clicked, this, &RawRecoveryDialog::resume);
    connect(stopButton_, &QPushButton::clicked, this, &RawRecoveryDialog::stop);
    connect(saveButton_, &QPushButton::clicked, this, &RawRecoveryDialog::save);
    connect(settingButton_, &QPushButton::clicked, this, [this] {
        if (openSettingEditor) openSettingEditor();
    });
    connect(treeView_, &CXHtmlTree::labelClicked, this,
            [this](const QModelIndex& index) { itemSelected(treeModel_->itemAt(index)); });
    connect(treeModel_, &QAbstractItemModel::dataChanged, listModel_, &RawFileListModel::checksChanged);
    resize(900, 620);
}

RawRecoveryDialog::~RawRecoveryDialog() {
    control_.requestAbort();
    gate_.resume();
    if (sink_) sink_->cancelQuestions();
    joinWorker();
    treeView_->setModel(nullptr);
    listView_->setModel(nullptr);
    treeModel_->attach(nullptr);
    delete treeModel_;
    delete listModel_;
    treeModel_ = nullptr;
    listModel_ = nullptr;
    workerSink_.reset();
    sink_.reset();
}

void RawRecoveryDialog::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

void RawRecoveryDialog::showWorkerControls(bool shown) {
    for (QWidget* w : {static_cast<QWidget*>(progress_), static_cast<QWidget*>(pauseButton_),
                       static_cast<QWidget*>(resumeButton_), static_cast<QWidget*>(stopButton_)})
        w->setVisible(shown);
}

void RawRecoveryDialog::pickSettingsFile() {
    const QString chosen = chooseSettingsFile ? chooseSettingsFile() : QString();
    if (!chosen.isEmpty()) settingsEdit_->setText(chosen);
}

void RawRecoveryDialog::browse() {
    const QString chosen = chooseFolder ? chooseFolder() : QString();
    outputFolder_->setText(chosen);
}

void RawRecoveryDialog::endParse(const QString& status) {
    backButton_->setEnabled(true);
    status_->setText(status);
    showWorkerControls(false);
}

void RawRecoveryDialog::parse() {
    if (running_) return;
    showWorkerControls(true);
    QtUiSink direct(this, nullptr, nullptr);  // the loaders' messages, shown at once
    SignatureLoader loader(&direct);
    if (loadDefault_->isChecked()) loader.loadDefaultSignatures(cataloguePath.toStdString());
    const QString chosen = settingsEdit_->text();
    if (!chosen.isEmpty() && !loader.loadSignatureFile(chosen.toStdString())) {
        endParse(QString::fromUtf8(kDoneStatus));
        return;
    }
    // Without a catalogue, or with catalogues that hold no signature, nothing can be carved.
    if (cataloguePath.isEmpty() || !loader.engine || loader.engine->signatures.empty()) {
        message(QStringLiteral("enter the info file first.."));
        endParse(QString::fromUtf8(kDoneStatus));
        return;
    }
    if (app().isVolumeSelected) app().openReader(volume_.volumeName, nullptr);
    if (!app().reader || !app().reader->isOpen()) {
        message(QStringLiteral("Please Restart the program to re begin necessary initialization..."));
        endParse(QString::fromUtf8(kDoneStatus));
        return;
    }
    // The volume's size, never past the medium's end.
    origin_ = volume_.startSector * 512;
    const int64_t medium = int64_t(app().reader->mediumLength);
    int64_t size = int64_t(volume_.lengthInBytes());
    if (medium > 0) size = std::min<int64_t>(size, std::max<int64_t>(medium - origin_, 0));
    if (size <= 0) {
        message(QStringLiteral("zero size volume.."));
        endParse(QString::fromUtf8(kDoneStatus));
        return;
    }

    // The views let go of the previous finds before they are replaced.
    listModel_->clear();
    treeModel_->attach(nullptr);
    tree_.deleteAllItems();
    engine_ = std::move(loader.engine);
    app().reader->volumeOrigin = origin_;
    engine_->reader = app().reader.get();
    engine_->mediumSize = size;
    engine_->sink = workerSink_.get();
    engine_->tree = &tree_;
    engine_->control = &control_;
    control_.clear();
    status_->setText(QStringLiteral("Processing....."));
    runJob([this] { engine_->carve(); }, [this] { carvingEnded(); });
}

void RawRecoveryDialog::runJob(std::function<void()> work, std::function<void()> done) {
    joinWorker();
    running_ = true;
    backButton_->setEnabled(false);
    for (QPushButton* b : {parseButton_, settingButton_, saveButton_}) b->setEnabled(false);
    treeView_->setEnabled(false);
    listView_->setEnabled(false);
    showWorkerControls(true);
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        try {
            work();
        } catch (const std::exception& e) {
            sink_->setStatus(std::string("The job ended early: ") + e.what());
        } catch (...) {
            sink_->setStatus("The job ended early.");
        }
        QMetaObject::invokeMethod(
            this,
            [this, done] {
                joinWorker();
                running_ = false;
                sink_->flush();
                backButton_->setEnabled(true);
                for (QPushButton* b : {parseButton_, settingButton_, saveButton_}) b->setEnabled(true);
                treeView_->setEnabled(true);
                listView_->setEnabled(true);
                showWorkerControls(false);
                done();
            },
            Qt::QueuedConnection);
    });
}

void RawRecoveryDialog::carvingEnded() {
    treeModel_->attach(&tree_);
    const QModelIndex top = treeModel_->indexOf(tree_.rootItem());
    if (top.isValid()) treeView_->expand(top);
    status_->setText(QString::fromUtf8(kDoneStatus));
}

void RawRecoveryDialog::pause() {
    if (!running_) return;
    gate_.pause();
    status_->setText(QStringLiteral("Pause button pressed"));
}

void RawRecoveryDialog::resume() {
    if (!running_) return;
    gate_.resume();
    status_->setText(QStringLiteral("Resume button pressed"));
}

void RawRecoveryDialog::stop() {
    if (!running_) return;
    control_.requestStop();
    status_->setText(QStringLiteral("Stop button pressed.Please wait for the process to stop"));
}

void RawRecoveryDialog::itemSelected(TreeItem item) {
    if (running_ || treeModel_->tree() == nullptr) return;
    listModel_->showChildrenOf(&tree_, item);
}

void RawRecoveryDialog::save() {
    if (running_) {
        message(QStringLiteral("Please wait for other process to complete"));
        return;
    }
    // The ticked carved files, in the tree's order.
    std::vector<size_t> picked;
    const TreeItem top = treeModel_->tree() ? tree_.rootItem() : kNoItem;
    if (engine_ && top != kNoItem)
        for (TreeItem category = tree_.firstChild(top); category != kNoItem; category = tree_.nextSibling(category))
            for (TreeItem file = tree_.firstChild(category); file != kNoItem; file = tree_.nextSibling(file)) {
                const int64_t index = tree_.itemData(file);
                if (tree_.getCheck(file) && index >= 0 && size_t(index) < engine_->carvedItems.size())
                    picked.push_back(size_t(index));
            }
    if (picked.empty()) {
        message(QStringLiteral("Please Select item from tree to save"));
        return;
    }
    QString folder = outputFolder_->text();
    if (folder.trimmed().isEmpty()) {
        folder = chooseFolder ? chooseFolder() : QString();
        if (folder.trimmed().isEmpty()) return;
        outputFolder_->setText(folder);
    }
    const QFileInfo info(folder);
    if (!info.isDir()) {
        message(QStringLiteral("The output folder %1 does not exist.").arg(folder));
        return;
    }
    const QString target = info.absoluteFilePath();
    const std::string source = app().reader ? app().reader->path() : std::string();
    const SameDiskVerdict verdict = sameDiskCheck ? sameDiskCheck(source, target.toStdString()) : SameDiskVerdict{};
    if (verdict.same) {
        QString text = QStringLiteral("The output folder lies on the medium being recovered");
        if (!verdict.reason.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(verdict.reason));
        text += QStringLiteral(". Writing there can overwrite the very data you want back. Save there anyway?");
        if (message(text, MsgIcon::Warning, MsgButtons::YesNo) != MsgResult::Yes) {
            status_->setText(QStringLiteral("Nothing was saved."));
            return;
        }
    }
    if (!app().reader) return;
    app().reader->volumeOrigin = origin_;
    control_.clear();
    auto totals = std::make_shared<RawSaveTotals>();
    totals->ran = true;
    totals->folder = target;
    const bool wantReport = writeReport_->isChecked();
    const std::string commandLine = WizardPage::commandLine();
    status_->setText(QStringLiteral("Saving %1 files into %2").arg(picked.size()).arg(target));
    runJob(
        [this, picked = std::move(picked), totals, wantReport, commandLine] {
            FileReadSeek& reader = *app().reader;
            const std::string folder = totals->folder.toStdString();
            // With the report asked for, every file tried goes into it; a report that cannot be
            // begun or finished is said, and the files are saved all the same.
            std::unique_ptr<DfxmlReport> report;
            std::string reportPath, problem;
            if (wantReport) {
                const ReportVolume carved{uint64_t(origin_), uint64_t(engine_->mediumSize), volume_.fileSystem};
                report = beginReportInFolder(folder, int64_t(std::time(nullptr)),
                                             {"quarvell", QUARVELL_VERSION, commandLine, "Carve Report"},
                                             reader.path(), &reader, &carved, reportPath, problem);
            }
            sink_->setProgressRange(0, int64_t(picked.size()));
            bool stopped = false;
            for (size_t k = 0; k < picked.size(); ++k) {
                if (control_.poll()) {
                    stopped = true;
                    break;
                }
                const CarvedItem& item = engine_->carvedItems[picked[k]];
                const std::string name = engine_->carvedName(picked[k]);
                const CarvedSaveResult r =
                    CarvedFileSaver::save(reader, folder, name, item.start, item.length, control_, bool(report));
                if (!r.ok) ++totals->failed;
                else if (r.unreadableBytes > 0) ++totals->incomplete;
                if (r.ok) ++totals->saved;
                if (report) addCarvedItem(*report, name, engine_->carvedCategory(picked[k]), item, origin_, r.report);
                sink_->setProgressPos(int64_t(k + 1));
            }
            stopped = stopped || control_.stopRequested.load() || control_.aborted();
            control_.clear();
            if (report) {
                SaveTotals counted;
                counted.ran = true;
                counted.filesSaved = uint64_t(totals->saved);
                counted.filesIncomplete = uint64_t(totals->incomplete);
                counted.filesFailed = uint64_t(totals->failed);
                if (report->finish(saveOutcome(counted, stopped))) totals->report = QString::fromStdString(reportPath);
                else problem = report->problem();
            }
            totals->reportProblem = QString::fromStdString(problem);
        },
        [this, totals] {
            lastSave_ = *totals;
            QString text = QStringLiteral("%1 files saved into %2").arg(totals->saved).arg(totals->folder);
            if (totals->incomplete > 0)
                text += QStringLiteral(", %1 of them with unreadable bytes written as zeros").arg(totals->incomplete);
            if (totals->failed > 0) text += QStringLiteral("; %1 could not be saved").arg(totals->failed);
            showSaveStatus(status_, text, totals->report, totals->reportProblem);
        });
}

}  // namespace quarvell::ui
