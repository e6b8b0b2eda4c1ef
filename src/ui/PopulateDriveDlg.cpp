#include "ui/PopulateDriveDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>
#include <chrono>

#include "app/core/CTessmorApp.h"
#include "fs/FileSystemKind.h"
#include "ui/ParceModeNtfsDlg.h"
#include "ui/RawRecoveryDialog.h"
#include "ui/SectorSpinButtons.h"

namespace quarvell::ui {

namespace {

constexpr int kList = 1031;
constexpr int kProgress = 1254;
constexpr int kStop = 1034;
constexpr int kBack = 1036;
constexpr int kNext = 1046;
constexpr int kFilter = 1229;
constexpr int kAddCustom = 1160;
constexpr int kCustomBox = 1131;
constexpr int kSelectedLabel = 1142;
constexpr int kSelectedValue = 1143;
constexpr int kStartLabel = 1147;
constexpr int kStartEdit = 1146;
constexpr int kStartSpin = 1145;
constexpr int kEndLabel = 1148;
constexpr int kEndEdit = 1149;
constexpr int kEndSpin = 1151;
constexpr int kTreatAsLabel = 1134;
constexpr int kTreatAs = 1152;
constexpr int kStatus = 1035;

const int kCustomGroup[] = {kSelectedLabel, kSelectedValue, kStartLabel, kStartEdit, kStartSpin,
                            kEndLabel,      kEndEdit,       kEndSpin,    kTreatAsLabel, kTreatAs};

}  // namespace

PopulateDriveDlg::PopulateDriveDlg(CTessmorApp& app, WizardPage* creator, const PopulateDriveSettings& settings)
    : WizardPage(app, creator, kResourceId, QStringLiteral("Volumes found on the drive")),
      settings_(settings),
      model_(settings.scanMode) {
    list_ = named(new QTableWidget(0, 4, this), kList);
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("VOLUME"), QStringLiteral("FILE_SYSTEM"), QStringLiteral("VOLUME_SIZE"), QStringLiteral("START_SECTOR")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    list_->setAlternatingRowColors(true);
    content()->addWidget(list_, 1);

    auto* status = named(new QLabel(this), kStatus);
    auto* progress = named(new QProgressBar(this), kProgress);
    progress->setRange(0, 1000);
    progress->setValue(0);
    auto* stop = named(new QPushButton(QIcon(":/icons/stop.png"), QStringLiteral("Stop"), this), kStop);
    stop->setAutoDefault(false);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(stop);
    content()->addWidget(status);
    content()->addLayout(progressRow);

    auto* custom = new QGroupBox(this);
    auto* grid = new QGridLayout(custom);
    auto* customBox = named(new QCheckBox(QStringLiteral("Custom Settings"), custom), kCustomBox);
    auto* sectors = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,19}")), this);
    auto sectorEdit = [&](int id) {
        auto* edit = named(new QLineEdit(custom), id);
        edit->setValidator(sectors);
        return edit;
    };
    auto* treatAs = named(new QComboBox(custom), kTreatAs);
    for (const std::string& label : treatAsLabels()) treatAs->addItem(QString::fromStdString(label));
    treatAs->addItem(QStringLiteral("RAW"));
    treatAs->setCurrentIndex(0);
    auto* startSpin = named(new SectorSpinButtons(custom), kStartSpin);
    auto* endSpin = named(new SectorSpinButtons(custom), kEndSpin);

    grid->addWidget(customBox, 0, 0, 1, 3);
    grid->addWidget(named(new QLabel(QStringLiteral("Selected Volume :"), custom), kSelectedLabel), 1, 0);
    grid->addWidget(named(new QLabel(custom), kSelectedValue), 1, 1, 1, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("Start Sector:"), custom), kStartLabel), 2, 0);
    grid->addWidget(sectorEdit(kStartEdit), 2, 1);
    grid->addWidget(startSpin, 2, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("End Sector :"), custom), kEndLabel), 3, 0);
    grid->addWidget(sectorEdit(kEndEdit), 3, 1);
    grid->addWidget(endSpin, 3, 2);
    grid->addWidget(named(new QLabel(QStringLiteral("Treat file system as:"), custom), kTreatAsLabel), 4, 0);
    grid->addWidget(treatAs, 4, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* filterButton = named(new QPushButton(QIcon(":/icons/filter.png"), QStringLiteral("Filter"), this), kFilter);
    filterButton->setToolTip(QStringLiteral("Filter volume entries."));
    filterButton->setAutoDefault(false);
    auto* addButton =
        named(new QPushButton(QIcon(":/icons/add.png"), QStringLiteral("Add Custom Volume"), this), kAddCustom);
    addButton->setToolTip(QStringLiteral("Add Custom Volume entry."));
    addButton->setAutoDefault(false);
    auto* side = new QVBoxLayout;
    side->addWidget(filterButton);
    side->addWidget(addButton);
    side->addStretch(1);
    auto* lower = new QHBoxLayout;
    lower->addWidget(custom, 1);
    lower->addLayout(side);
    content()->addLayout(lower);

    addBackButton(kBack);
    connect(addNextButton(kNext), &QPushButton::clicked, this, &PopulateDriveDlg::next);

    customBox->setEnabled(false);
    addButton->setEnabled(false);
    setCustomEnabled(false);

    connect(stop, &QPushButton::clicked, this, [this] {
        if (worker_.joinable()) control_.requestStop();
    });
    connect(customBox, &QCheckBox::toggled, this, &PopulateDriveDlg::setCustomEnabled);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &PopulateDriveDlg::rowSelected);
    connect(list_, &QTableWidget::cellClicked, this, &PopulateDriveDlg::rowClicked);
    connect(startSpin, &SectorSpinButtons::stepped, this, [this](bool up) { stepEdit(kStartEdit, up); });
    connect(endSpin, &SectorSpinButtons::stepped, this, [this](bool up) { stepEdit(kEndEdit, up); });
    connect(addButton, &QPushButton::clicked, this, &PopulateDriveDlg::addCustomVolume);
    connect(filterButton, &QPushButton::clicked, this, &PopulateDriveDlg::filter);

    sink_ = std::make_unique<QtUiSink>(this, progress, status);
    if (this->app().previousDialogId == 130) this->app().replaceReader();
    resize(620, 560);
}

PopulateDriveDlg::~PopulateDriveDlg() { stopWorker(); }

void PopulateDriveDlg::begin() {
    if (settings_.scanMode == ScanMode::Standard) {
        sink_->setProgressRange(0, 1000);
        runStandardScan();
        sink_->setProgressPos(1000);
    } else {
        startAdvancedScan();
    }
}

QString PopulateDriveDlg::openFailure() const {
    const std::string why = app().reader ? app().reader->lastError() : std::string();
    const QString path = QString::fromStdString(settings_.drivePath);
    return why.empty() ? path : path + QStringLiteral(": ") + QString::fromStdString(why);
}

void PopulateDriveDlg::runStandardScan() {
    control<QPushButton>(this, kAddCustom)->hide();
    scanner_ = std::make_unique<Partition>();
    scanner_->control = &control_;
    scanner_->gptMode = settings_.gptMode;
    if (app().previousDialogId == 130) {
        app().reader.reset();
        app().driveSectorCount = 0;
        app().replaceReader();
    }
    if (!app().reader) {
        message(QStringLiteral("information lost ..go back and parse again"));
        return;
    }
    if (!app().openReader(settings_.drivePath)) {
        message(QStringLiteral("file not opened.."), MsgIcon::Information, MsgButtons::Ok, openFailure());
    } else {
        scanner_->statusLabel = sink_.get();
        std::vector<VolumeEntry> found;
        scanner_->resultsPage = &found;
        scanner_->scanPartitionTables(*app().reader, app().driveSectorCount);
        model_.showStandardResults(std::move(found));
        showRows();
        if (!scanner_->tableFailure.empty()) message(QString::fromStdString(scanner_->tableFailure));
        if (!model_.rows().empty()) control<QCheckBox>(this, kCustomBox)->setEnabled(true);
    }
    control<QPushButton>(this, kFilter)->setEnabled(true);
    sink_->setStatus("Finished Scanning.");
    // A table that could not be read stays on the status line.
    sink_->setStatus(scanner_->tableFailure.empty() ? std::string("Select volume and click next button...")
                                                    : scanner_->tableFailure);
    control<QProgressBar>(this, kProgress)->hide();
    control<QPushButton>(this, kStop)->hide();
}

void PopulateDriveDlg::startAdvancedScan() {
    control<QPushButton>(this, kAddCustom)->setEnabled(false);
    control<QPushButton>(this, kNext)->setEnabled(false);
    scanner_ = std::make_unique<Partition>();
    scanner_->control = &control_;
    scanner_->skipVolumeSize = !settings_.doNotSkipVolumeSize;
    if (settings_.customEndSector >= 0) {
        scanner_->customStartSector = settings_.customStartSector;
        scanner_->customEndSector = settings_.customEndSector;
    }
    if (app().previousDialogId == 130) app().replaceReader();
    scanner_->statusLabel = sink_.get();
    if (!app().openReader(settings_.drivePath)) {
        control<QPushButton>(this, kNext)->setEnabled(true);
        message(QStringLiteral("file not opened.."), MsgIcon::Information, MsgButtons::Ok, openFailure());
        return;
    }
    list_->setRowCount(0);
    workerFinds_.clear();
    // The list belongs to this thread: while the worker runs, nothing here reads or changes it
    // except through the finds the worker queues.
    setNavigationEnabled(false);
    scanner_->resultsPage = &workerFinds_;
    QPointer<PopulateDriveDlg> page(this);
    scanner_->onFound = [page](const VolumeEntry& found) {
        QMetaObject::invokeMethod(page.data(), [page, found] {
            if (page) page->advancedFound(found);
        }, Qt::QueuedConnection);
    };
    Partition* scanner = scanner_.get();
    readWriteInterface* reader = app().reader.get();
    const int64_t sectors = app().driveSectorCount;
    workerDone_ = false;
    worker_ = std::thread([this, scanner, reader, sectors, page] {
        scanner->scanDriveForVolumes(*reader, sectors);
        workerDone_ = true;
        QMetaObject::invokeMethod(page.data(), [page] {
            if (page) page->advancedFinished();
        }, Qt::QueuedConnection);
    });
}

void PopulateDriveDlg::advancedFound(const VolumeEntry& found) {
    model_.addFound(found);
    insertRowWidget(0, model_.rows().front());
}

void PopulateDriveDlg::advancedFinished() {
    if (worker_.joinable()) worker_.join();
    sink_->setStatus("Scanned Partitions");
    message(QStringLiteral("populated partitions...."));
    sink_->setStatus("Finished Scanning.");
    scanner_.reset();
    if (!model_.volumes().empty()) control<QCheckBox>(this, kCustomBox)->setEnabled(true);
    control<QPushButton>(this, kAddCustom)->setEnabled(true);
    setNavigationEnabled(true);
    control<QProgressBar>(this, kProgress)->hide();
    control<QPushButton>(this, kStop)->hide();
    sink_->setStatus("Select volume and click next button...");
}

void PopulateDriveDlg::stopWorker() {
    if (!worker_.joinable()) return;
    // The scan clears its stop flag when it starts: keep asking until the worker has ended.
    while (!workerDone_.load()) {
        control_.requestStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker_.join();
}

void PopulateDriveDlg::setNavigationEnabled(bool enabled) {
    for (int id : {kBack, kNext, kFilter}) control<QPushButton>(this, id)->setEnabled(enabled);
}

void PopulateDriveDlg::insertRowWidget(int at, const VolumeRow& row) {
    list_->insertRow(at);
    const QString texts[] = {QString::fromStdString(row.shown.volumeName), QString::fromStdString(row.shown.fileSystem),
                             QString::fromStdString(row.shown.sizeText), QString::fromStdString(row.startSectorText())};
    for (int column = 0; column < 4; ++column) {
        auto* item = new QTableWidgetItem(texts[column]);
        item->setToolTip(texts[column]);
        list_->setItem(at, column, item);
    }
}

void PopulateDriveDlg::showRows() {
    list_->setRowCount(0);
    const auto& rows = model_.rows();
    for (size_t i = 0; i < rows.size(); ++i) insertRowWidget(int(i), rows[i]);
}

int PopulateDriveDlg::selectedRow() const {
    const auto selected = list_->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void PopulateDriveDlg::rowSelected() {
    const int row = selectedRow();
    if (row < 0 || row >= int(model_.rows().size())) return;
    const VolumeRow& shown = model_.rows()[size_t(row)];
    control<QLabel>(this, kSelectedValue)->setText(QString::fromStdString(shown.shown.volumeName));
    control<QLineEdit>(this, kStartEdit)->setText(QString::fromStdString(shown.startSectorText()));
    control<QLineEdit>(this, kEndEdit)->setText(QString::fromStdString(VolumeListModel::endSectorText(shown)));
}

void PopulateDriveDlg::rowClicked(int row) {
    if (row < 0 || row >= int(model_.rows().size())) return;
    auto* treatAs = control<QComboBox>(this, kTreatAs);
    std::vector<std::string> items;
    for (int i = 0; i < treatAs->count(); ++i) items.push_back(treatAs->itemText(i).toStdString());
    const int index = VolumeListModel::treatAsIndexFor(model_.rows()[size_t(row)].shown.fileSystem, items);
    if (index >= 0) treatAs->setCurrentIndex(index);
}

void PopulateDriveDlg::setCustomEnabled(bool enabled) {
    for (int id : kCustomGroup) findChild<QWidget*>(QString::number(id))->setEnabled(enabled);
}

void PopulateDriveDlg::stepEdit(int editId, bool up) {
    auto* edit = control<QLineEdit>(this, editId);
    edit->setText(QString::fromStdString(VolumeListModel::stepSectorText(edit->text().toStdString(), up)));
}

void PopulateDriveDlg::addCustomVolume() {
    const int row = model_.addCustomVolume();
    auto* box = control<QCheckBox>(this, kCustomBox);
    box->setEnabled(true);
    box->setChecked(true);
    setCustomEnabled(true);
    showRows();
    list_->selectRow(row);
    control<QLineEdit>(this, kStartEdit)->setText(QStringLiteral("0"));
    control<QLineEdit>(this, kEndEdit)->setText(QStringLiteral("0"));
}

void PopulateDriveDlg::filter() {
    model_.filter();
    showRows();
}

void PopulateDriveDlg::next() {
    NextChoice choice;
    choice.row = selectedRow();
    choice.customTicked = control<QCheckBox>(this, kCustomBox)->isChecked();
    choice.startText = control<QLineEdit>(this, kStartEdit)->text().toStdString();
    choice.endText = control<QLineEdit>(this, kEndEdit)->text().toStdString();
    choice.treatAsText = control<QComboBox>(this, kTreatAs)->currentText().toStdString();
    const NextOutcome outcome = model_.next(choice);
    if (!worker_.joinable()) scanner_.reset();
    switch (outcome.target) {
        case NextTarget::None:
            message(QString::fromStdString(outcome.message));
            return;
        case NextTarget::RawPage:
            selectedVolume_ = outcome.selected;
            goForward(new RawRecoveryDialog(app(), this, selectedVolume_));
            return;
        case NextTarget::ModePage:
            selectedVolume_ = outcome.selected;
            goForward(new ParceModeNtfsDlg(app(), this, kResourceId, selectedVolume_));
            return;
    }
}

}  // namespace quarvell::ui
