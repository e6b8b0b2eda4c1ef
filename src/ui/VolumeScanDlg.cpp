#include "ui/VolumeScanDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>
#include <exception>

#include "app/core/CTessmorApp.h"
#include "report/SaveReportSession.h"
#include "scan/FileSearch.h"
#include "scan/VolumeParse.h"
#include "ui/CCheckListCtrl.h"
#include "ui/CXHtmlTree.h"
#include "ui/FileListModel.h"
#include "ui/PageServices.h"
#include "ui/ResultTreeModel.h"
#include "ui/ScanWorkerSink.h"

namespace quarvell::ui {

namespace {

constexpr const char* kBusyText = "Please wait for other process to complete";

ParseMode modeFor(int parseMode) {
    if (parseMode == 2) return ParseMode::Advanced;
    if (parseMode == 3) return ParseMode::Deep;
    return ParseMode::Standard;
}

bool offers(const FileSystemKind& kind, ParseMode mode) {
    switch (mode) {
        case ParseMode::Advanced: return kind.modes.advanced;
        case ParseMode::Deep: return kind.modes.deep;
        case ParseMode::Standard: break;
    }
    return kind.modes.standard;
}

}  // namespace

VolumeScanDlg::VolumeScanDlg(CTessmorApp& app, WizardPage* creator, const VolumeEntry& volume, int parseMode,
                             const AdvancedChoice& advanced)
    : WizardPage(app, creator, kResourceId, QStringLiteral("Browse, search and save the volume's files")),
      volume_(volume),
      parseMode_(parseMode),
      advanced_(advanced) {
    control_.gate = &gate_;
    tree_.checkBoxes = true;
    tree_.smartCheck = true;

    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(new QLabel(QStringLiteral("Volume Data:"), this));
    volumeData_ = named(new QLineEdit(this), kVolumeData);
    volumeData_->setReadOnly(true);
    volumeData_->setText(QString::fromStdString(volume_.displayName.empty() ? volume_.volumeName : volume_.displayName));
    volumeRow->addWidget(volumeData_, 1);
    content()->addLayout(volumeRow);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    treeView_ = named(new CXHtmlTree(splitter), kTree);
    treeModel_ = new ResultTreeModel(this);
    treeView_->setModel(treeModel_);
    listView_ = named(new CCheckListCtrl(splitter), kList);
    listModel_ = new FileListModel(list_, this);
    listView_->setListModel(listModel_);
    splitter->addWidget(treeView_);
    splitter->addWidget(listView_);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    content()->addWidget(splitter, 1);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Search:"), this), 0, 0);
    searchEdit_ = named(new QLineEdit(this), kSearchEdit);
    grid->addWidget(searchEdit_, 0, 1);
    searchButton_ = named(new QPushButton(QIcon(QStringLiteral(":/icons/filter.png")), QStringLiteral("Search"), this), kSearch);
    grid->addWidget(searchButton_, 0, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("* Use \"|\" to find multiple file type "), this), kSearchHint), 0, 3);

    grid->addWidget(new QLabel(QStringLiteral("Output folder:"), this), 1, 0);
    outputFolder_ = named(new QLineEdit(this), kOutputFolder);
    grid->addWidget(outputFolder_, 1, 1);
    auto* browse = named(new QPushButton(QIcon(QStringLiteral(":/icons/open.png")), QStringLiteral("Browse..."), this),
                         kChooseFolder);
    grid->addWidget(browse, 1, 2);
    saveButton_ = named(new QPushButton(QIcon(QStringLiteral(":/icons/next.png")), QStringLiteral("Save"), this), kSave);
    grid->addWidget(saveButton_, 1, 3, Qt::AlignLeft);
    writeReport_ = named(new QCheckBox(QStringLiteral("Write a DFXML report"), this), kWriteReport);
    writeReport_->setToolTip(QStringLiteral(
        "Also write quarvell-report-<date>-<time>.xml into the output folder: every file saved, where its "
        "bytes lay on the medium and the SHA-256 of the bytes written"));
    grid->addWidget(writeReport_, 2, 1);
    grid->setColumnStretch(1, 1);
    content()->addLayout(grid);

    progress_ = named(new QProgressBar(this), kProgress);
    progress_->setRange(0, 0);
    content()->addWidget(progress_);
    auto* statusRow = new QHBoxLayout;
    status_ = named(new QLabel(this), kStatus);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusRow->addWidget(status_, 1);
    fileSize_ = named(new QLabel(this), kFileSize);
    statusRow->addWidget(fileSize_);
    content()->addLayout(statusRow);

    for (QPushButton* b : {searchButton_, saveButton_, browse}) b->setAutoDefault(false);
    pauseButton_ = addNavigationButton(kPause, QStringLiteral("Pause"), QString());
    resumeButton_ = addNavigationButton(kResume, QStringLiteral("Resume"), QString());
    stopButton_ = addNavigationButton(kStop, QStringLiteral("Stop"), QStringLiteral(":/icons/stop.png"));
    backButton_ = addBackButton(kBack);
    backButton_->setEnabled(false);

    sink_ = std::make_unique<ScanWorkerSink>(this, progress_, status_, fileSize_);
    auto* rowsTimer = new QTimer(this);
    rowsTimer->setInterval(ScanWorkerSink::kFlushIntervalMs);
    connect(rowsTimer, &QTimer::timeout, this, &VolumeScanDlg::drainSearchRows);
    rowsTimer->start();

    chooseFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Please choose a folder."), QString(),
                                                 QFileDialog::ShowDirsOnly);
    };

    connect(pauseButton_, &QPushButton::clicked, this, &VolumeScanDlg::pause);
    connect(resumeButton_, &QPushButton::clicked, this, &VolumeScanDlg::resume);
    connect(stopButton_, &QPushButton::clicked, this, &VolumeScanDlg::stop);
    connect(browse, &QPushButton::clicked, this, &VolumeScanDlg::browseOutputFolder);
    connect(saveButton_, &QPushButton::clicked, this, &VolumeScanDlg::save);
    connect(searchButton_, &QPushButton::clicked, this, &VolumeScanDlg::search);
    connect(treeView_, &CXHtmlTree::labelClicked, this,
            [this](const QModelIndex& index) { labelClicked(treeModel_->itemAt(index)); });
    connect(treeView_, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { itemExpanded(treeModel_->itemAt(index)); });
    connect(treeView_, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { doubleClicked(treeModel_->itemAt(index)); });
    listModel_->onRowCheckClicked = [this](size_t row, bool wasChecked) {
        if (browser_) browser_->rowCheckClicked(row, wasChecked);
    };

    resize(960, 640);
}

VolumeScanDlg::~VolumeScanDlg() {
    // Let a running job end at its next poll: open the gate, answer its question "No", then wait.
    control_.requestAbort();
    gate_.resume();
    if (sink_) sink_->cancelQuestions();
    if (worker_.joinable()) worker_.join();
    // The views and models go before the tree and the list they show.
    treeView_->setModel(nullptr);
    listView_->setModel(nullptr);
    treeModel_->attach(nullptr);
    delete treeModel_;
    delete listModel_;
    treeModel_ = nullptr;
    listModel_ = nullptr;
    browser_.reset();
    sink_.reset();
}

void VolumeScanDlg::begin() { startParse(); }

void VolumeScanDlg::stopForExit() {
    if (!parseStarted_) return;
    control_.requestAbort();
    gate_.resume();
    status_->setText(QStringLiteral("All thread Stopped"));
}

void VolumeScanDlg::showWorkerControls(bool shown) {
    for (QWidget* w : {static_cast<QWidget*>(progress_), static_cast<QWidget*>(pauseButton_),
                       static_cast<QWidget*>(resumeButton_), static_cast<QWidget*>(stopButton_)})
        w->setVisible(shown);
}

void VolumeScanDlg::setBrowsingEnabled(bool enabled) {
    treeView_->setEnabled(enabled);
    listView_->setEnabled(enabled);
}

void VolumeScanDlg::startParse() {
    busy_ = true;
    backButton_->setEnabled(false);
    kind_ = findFileSystemKind(volume_.fileSystem);
    if (!kind_ || !kind_->parse) {
        message(QStringLiteral("not a valid drive."));
        backButton_->setEnabled(true);
        status_->setText(QStringLiteral("Not a valid Drive .Go back"));
        showWorkerControls(false);
        return;
    }
    if (app().isVolumeSelected) app().openReader(volume_.volumeName, sink_.get());
    if (!app().reader || !app().reader->isOpen()) {
        message(QStringLiteral("Please Restart the program to re begin necessary initialization..."));
        showWorkerControls(false);
        return;
    }
    const ParseMode mode = modeFor(parseMode_);
    if (!offers(*kind_, mode)) {
        message(QStringLiteral("This recovery mode is not offered for %1 volumes.")
                    .arg(QString::fromStdString(volume_.fileSystem)));
        backButton_->setEnabled(true);
        showWorkerControls(false);
        return;
    }
    if (!kind_->startStatus.empty()) status_->setText(QString::fromStdString(kind_->startStatus));
    parseStarted_ = true;
    showWorkerControls(true);
    auto result = std::make_shared<ParseResult>();
    runJob(
        [this, result, mode] {
            ParseRequest request{volume_, *app().reader, tree_, *sink_, control_, mode, advanced_};
            *result = parseVolume(request);
        },
        [this, result] { parseFinished(result); });
}

void VolumeScanDlg::runJob(std::function<void()> work, std::function<void()> done) {
    if (worker_.joinable()) worker_.join();  // the previous job has ended: its end was handled
    running_ = true;
    busy_ = true;
    setBrowsingEnabled(false);
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        try {
            work();
        } catch (const std::exception& e) {
            sink_->setStatus(std::string("The job ended early: ") + e.what());
        } catch (...) {
            sink_->setStatus("The job ended early.");
        }
        QMetaObject::invokeMethod(this, [this, done] { jobEnded(done); }, Qt::QueuedConnection);
    });
}

void VolumeScanDlg::jobEnded(const std::function<void()>& done) {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    sink_->flush();
    drainSearchRows();
    done();
}

void VolumeScanDlg::parseFinished(std::shared_ptr<ParseResult> result) {
    parsed_ = std::move(*result);
    adapter_ = std::move(parsed_.adapter);
    treeModel_->attach(&tree_);
    if (adapter_) browser_ = std::make_unique<ResultBrowser>(tree_, *adapter_, list_);
    const QModelIndex top = treeModel_->indexOf(tree_.rootItem());
    if (top.isValid()) treeView_->expand(top);
    backButton_->setEnabled(true);
    showWorkerControls(false);
    setBrowsingEnabled(true);
    busy_ = false;
}

void VolumeScanDlg::pause() {
    if (!parseStarted_) return;
    gate_.pause();
    status_->setText(QStringLiteral("Pause button pressed"));
}

void VolumeScanDlg::resume() {
    if (!parseStarted_) return;
    gate_.resume();
    status_->setText(QStringLiteral("Resume button pressed"));
}

void VolumeScanDlg::stop() {
    if (!parseStarted_) return;
    control_.requestStop();
    status_->setText(QStringLiteral("stop button pressed.Please wait for the process to be stopped."));
}

void VolumeScanDlg::browseOutputFolder() {
    const QString chosen = chooseFolder ? chooseFolder() : QString();
    outputFolder_->setText(chosen);
}

QString VolumeScanDlg::confirmedOutputFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir()) {
        message(QStringLiteral("The output folder %1 does not exist.").arg(folder));
        return {};
    }
    const QString absolute = info.absoluteFilePath();
    const std::string source = app().reader ? app().reader->path() : std::string();
    const SameDiskVerdict verdict =
        sameDiskCheck ? sameDiskCheck(source, absolute.toStdString()) : SameDiskVerdict{};
    if (verdict.same) {
        QString text = QStringLiteral("The output folder lies on the medium being recovered");
        if (!verdict.reason.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(verdict.reason));
        text += QStringLiteral(". Writing there can overwrite the very data you want back. Save there anyway?");
        if (message(text, MsgIcon::Warning, MsgButtons::YesNo) != MsgResult::Yes) {
            status_->setText(QStringLiteral("Nothing was saved."));
            return {};
        }
    }
    return absolute;
}

void VolumeScanDlg::reportSave(const SaveTotals& totals, const QString& report, const QString& reportProblem) {
    lastSave_ = totals;
    lastReport_ = report;
    lastReportProblem_ = reportProblem;
    if (!totals.ran) return;
    showSaveStatus(status_,
                   QStringLiteral("%1 files saved, %2 of them incomplete (zero-filled); %3 could not be saved")
                       .arg(totals.filesSaved)
                       .arg(totals.filesIncomplete)
                       .arg(totals.filesFailed),
                   report, reportProblem);
}

void VolumeScanDlg::save() {
    if (busy_) {
        message(QString::fromUtf8(kBusyText));
        return;
    }
    const QString folder = outputFolder_->text();
    if (folder.trimmed().isEmpty()) {
        message(QStringLiteral("select output folder"));
        return;
    }
    const TreeItem selected = treeModel_->itemAt(treeView_->currentIndex());
    if (!adapter_ || selected == kNoItem || !adapter_->isFolder(tree_.itemData(selected))) return;
    const QString target = confirmedOutputFolder(folder);
    if (target.isEmpty()) return;
    runSave([selected, target](SaveWalk& walk) { return walk.saveSelection(selected, target.toStdString()); },
            target, selected);
}

void VolumeScanDlg::quickSave(TreeItem item) {
    if (busy_) {
        message(QString::fromUtf8(kBusyText));
        return;
    }
    QString folder = outputFolder_->text();
    if (folder.trimmed().isEmpty()) {
        folder = chooseFolder ? chooseFolder() : QString();
        if (folder.trimmed().isEmpty()) return;
        outputFolder_->setText(folder);
    }
    const QString target = confirmedOutputFolder(folder);
    if (target.isEmpty()) return;
    runSave([item, target](SaveWalk& walk) { return walk.quickSave(item, target.toStdString()); },
            target, tree_.parentItem(item));
}

// Both saves run the save walk on the worker and report its totals when it ends. With the
// report asked for, the walk feeds a DFXML report in the output folder; one that cannot be
// begun or finished is said, and the save goes on without it.
void VolumeScanDlg::runSave(std::function<SaveTotals(SaveWalk&)> save, const QString& target, TreeItem base) {
    showWorkerControls(true);
    struct Outcome {
        SaveTotals totals;
        QString report;
        QString problem;
    };
    auto outcome = std::make_shared<Outcome>();
    const bool wantReport = writeReport_->isChecked();
    const std::vector<std::string> reportBase = reportNamesBelowTop(tree_, base);
    const std::string commandLine = WizardPage::commandLine();
    runJob(
        [this, save = std::move(save), outcome, wantReport, reportBase, commandLine,
         folder = target.toStdString()] {
            SaveWalk walk(tree_, *adapter_, *sink_, control_);
            std::unique_ptr<DfxmlReport> report;
            std::string reportPath, problem;
            if (wantReport) {
                const ReportVolume volume = reportVolumeOf(volume_);
                const FileReadSeek* reader = app().reader.get();
                report = beginReportInFolder(folder, int64_t(std::time(nullptr)),
                                             {"quarvell", QUARVELL_VERSION, commandLine, "Recovery Report"},
                                             reader ? reader->path() : std::string(), reader, &volume, reportPath,
                                             problem);
                if (report) reportEveryFile(walk, *report, reportBase);
            }
            outcome->totals = save(walk);
            const bool stopped = control_.stopRequested.load() || control_.aborted();
            // A save that did not go ahead (its question answered No) leaves no report.
            if (!outcome->totals.ran) return;
            if (report) {
                if (report->finish(saveOutcome(outcome->totals, stopped, parsed_.unreadableMetadata)))
                    outcome->report = QString::fromStdString(reportPath);
                else
                    problem = report->problem();
            }
            outcome->problem = QString::fromStdString(problem);
        },
        [this, outcome] {
            showWorkerControls(false);
            setBrowsingEnabled(true);
            busy_ = false;
            reportSave(outcome->totals, outcome->report, outcome->problem);
        });
}

void VolumeScanDlg::search() {
    if (busy_) {
        showMessage(this, QString::fromUtf8(kBusyText), MsgIcon::None);
        return;
    }
    const std::string pattern = searchEdit_->text().toStdString();
    app().searchText = pattern;
    listModel_->beginChange();
    list_.rows.clear();
    list_.showsSearchResults = true;
    listModel_->endChange();
    {
        std::lock_guard lock(rowsMutex_);
        pendingRows_.clear();
    }
    showWorkerControls(true);
    runJob(
        [this, pattern] {
            if (!adapter_) {
                sink_->messageBox("Searching Finished", kCaption, MsgIcon::Information, MsgButtons::Ok);
                sink_->setStatus("Searching Finished");
                return;
            }
            FileSearch finder(tree_, *adapter_, *sink_, control_);
            finder.run(pattern, [this](const SearchRow& hit) {
                FileListRow row;
                row.name = hit.displayPath();
                row.texts = hit.texts;
                row.size = hit.size;
                row.entry = hit.entry;
                std::lock_guard lock(rowsMutex_);
                pendingRows_.push_back(std::move(row));
            });
        },
        [this] {
            showWorkerControls(false);
            setBrowsingEnabled(true);
            busy_ = false;
        });
    // The hits can be read while the search goes on; only the tree waits for it.
    listView_->setEnabled(true);
}

void VolumeScanDlg::drainSearchRows() {
    std::vector<FileListRow> rows;
    {
        std::lock_guard lock(rowsMutex_);
        rows.swap(pendingRows_);
    }
    if (!rows.empty() && list_.showsSearchResults) listModel_->append(std::move(rows));
}

void VolumeScanDlg::labelClicked(TreeItem item) {
    if (!browser_ || busy_) return;
    listModel_->beginChange();
    browser_->labelClicked(item);
    listModel_->endChange();
    treeModel_->refreshChildren(item);
}

void VolumeScanDlg::itemExpanded(TreeItem item) {
    if (!browser_ || busy_ || inDoubleClick_) return;
    listModel_->beginChange();
    browser_->itemExpanding(item);
    listModel_->endChange();
    treeModel_->refreshChildren(item);
}

void VolumeScanDlg::doubleClicked(TreeItem item) {
    if (!browser_ || busy_) return;
    TreeItem saveItem = kNoItem;
    listModel_->beginChange();
    browser_->doubleClicked(item, [&](TreeItem file) { saveItem = file; });
    listModel_->endChange();
    treeModel_->refreshChildren(item);
    if (saveItem != kNoItem) {
        quickSave(saveItem);
        return;
    }
    // A folder opened by a double click also opens on screen; the list keeps its names.
    const QModelIndex index = treeModel_->indexOf(item);
    inDoubleClick_ = true;
    if (index.isValid()) treeView_->expand(index);
    inDoubleClick_ = false;
}

}  // namespace quarvell::ui
