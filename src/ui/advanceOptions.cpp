#include "ui/advanceOptions.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "app/core/CTessmorApp.h"
#include "ui/ParceModeNtfsDlg.h"
#include "ui/ScanWorkerSink.h"
#include "ui/VolumeScanDlg.h"

namespace quarvell::ui {

advanceOptions::advanceOptions(CTessmorApp& app, ParceModeNtfsDlg* modePage)
    : WizardPage(app, modePage, kResourceId, QStringLiteral("ADVANCE OPTIONS")),
      volume_(modePage->volume()),
      wanted_(modePage->maxFileSystems() < 1 ? 3 : modePage->maxFileSystems()),
      kind_(advancedSearchKind(modePage->volume().fileSystem)) {
    control_.gate = &gate_;

    auto* grid = new QGridLayout;
    auto* entriesLabel = named(new QLabel(QStringLiteral("TFS :"), this), kEntriesLabel);
    entries_ = named(new QComboBox(this), kEntries);
    auto* clusterLabel = named(new QLabel(QStringLiteral("Sector Per Cluster :"), this), kClusterLabel);
    cluster_ = named(new QComboBox(this), kCluster);
    auto* heapLabel = named(new QLabel(QStringLiteral("Heap Offset :"), this), kHeapLabel);
    heap_ = named(new QComboBox(this), kHeap);
    grid->addWidget(entriesLabel, 0, 0);
    grid->addWidget(entries_, 0, 1);
    grid->addWidget(clusterLabel, 1, 0);
    grid->addWidget(cluster_, 1, 1);
    grid->addWidget(heapLabel, 2, 0);
    grid->addWidget(heap_, 2, 1);
    grid->setColumnStretch(1, 1);
    for (QComboBox* combo : {entries_, cluster_, heap_}) combo->setMinimumContentsLength(24);

    auto* volumeLine = new QLabel(
        QStringLiteral("Volume: %1   %2").arg(QString::fromStdString(volume_.fileSystem), QString::fromStdString(volume_.sizeText)),
        this);
    content()->addWidget(volumeLine);
    content()->addLayout(grid);
    content()->addStretch(1);
    progress_ = named(new QProgressBar(this), kProgress);
    progress_->setRange(0, 0);
    content()->addWidget(progress_);
    status_ = named(new QLabel(this), kStatus);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);
    content()->addWidget(status_);

    pauseButton_ = addNavigationButton(kPause, QStringLiteral("Pause"), QString());
    resumeButton_ = addNavigationButton(kResume, QStringLiteral("Resume"), QString());
    stopButton_ = addNavigationButton(kStop, QStringLiteral("Stop"), QStringLiteral(":/icons/stop.png"));
    pauseButton_->setToolTip(QStringLiteral("Pause"));
    resumeButton_->setToolTip(QStringLiteral("Resume"));
    stopButton_->setToolTip(QStringLiteral("Stop"));
    backButton_ = addNavigationButton(kBack, QStringLiteral("&Back"), QStringLiteral(":/icons/back.png"));
    nextButton_ = addNextButton(kNext);
    backButton_->setEnabled(false);
    nextButton_->setEnabled(false);

    // Only the candidate list shows until the file system says which others it needs.
    for (QWidget* w : {static_cast<QWidget*>(clusterLabel), static_cast<QWidget*>(cluster_),
                       static_cast<QWidget*>(heapLabel), static_cast<QWidget*>(heap_)})
        w->hide();
    if (kind_) {
        const AdvancedSearchLayout layout = advancedSearchLayout(*kind_);
        entriesLabel->setText(QString::fromStdString(layout.entriesLabel));
        clusterLabel->show();
        cluster_->show();
        heapLabel->setVisible(layout.heapList);
        heap_->setVisible(layout.heapList);
    }

    sink_ = std::make_unique<ScanWorkerSink>(this, progress_, status_, nullptr);
    connect(pauseButton_, &QPushButton::clicked, this, &advanceOptions::pause);
    connect(resumeButton_, &QPushButton::clicked, this, &advanceOptions::resume);
    connect(stopButton_, &QPushButton::clicked, this, &advanceOptions::stop);
    connect(backButton_, &QPushButton::clicked, this, &advanceOptions::back);
    connect(nextButton_, &QPushButton::clicked, this, &advanceOptions::next);
    resize(620, 420);
}

advanceOptions::~advanceOptions() {
    endWorker();
    sink_.reset();
}

void advanceOptions::endWorker() {
    control_.requestAbort();
    gate_.resume();
    if (sink_) sink_->cancelQuestions();
    if (worker_.joinable()) worker_.join();
}

void advanceOptions::begin() { startSearch(); }

void advanceOptions::stopForExit() {
    if (!started_) return;
    control_.requestAbort();
    gate_.resume();
    status_->setText(QStringLiteral("All thread Stopped"));
}

void advanceOptions::showWorkerControls(bool shown) {
    for (QWidget* w : {static_cast<QWidget*>(progress_), static_cast<QWidget*>(pauseButton_),
                       static_cast<QWidget*>(resumeButton_), static_cast<QWidget*>(stopButton_)})
        w->setVisible(shown);
}

void advanceOptions::startSearch() {
    if (!kind_) {
        // Nothing can be searched; Back stays usable so the user is never stuck on this page.
        message(QStringLiteral("unKnown Partition Cant be parsed..."));
        showWorkerControls(false);
        backButton_->setEnabled(true);
        return;
    }
    if (kind_->id == "ntfs") status_->setText(QStringLiteral("ntfs partition selected...."));
    if (app().isVolumeSelected) app().openReader(volume_.volumeName, sink_.get());
    if (!app().reader || !app().reader->isOpen()) {
        message(QStringLiteral("Please Restart the program to re begin necessary initialization..."));
        showWorkerControls(false);
        backButton_->setEnabled(true);
        return;
    }
    const AdvancedSearchLayout layout = advancedSearchLayout(*kind_);
    if (!layout.startStatus.empty()) status_->setText(QString::fromStdString(layout.startStatus));
    started_ = true;
    running_ = true;
    showWorkerControls(true);
    auto outcome = std::make_shared<AdvancedSearchOutcome>();
    worker_ = std::thread([this, outcome] {
        try {
            ParseRequest request{volume_, *app().reader, scratch_, *sink_, control_, ParseMode::Advanced, {}};
            *outcome = runAdvancedSearch(*kind_, request, wanted_);
        } catch (const std::exception& e) {
            outcome->notes.push_back(std::string("The search ended early: ") + e.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                outcome_ = std::move(*outcome);
                searchEnded();
            },
            Qt::QueuedConnection);
    });
}

void advanceOptions::searchEnded() {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    sink_->flush();
    entries_->clear();
    for (const Candidate& c : outcome_.found.primary) entries_->addItem(QString::fromStdString(c.label));
    cluster_->clear();
    for (const std::string& item : outcome_.clusterItems) cluster_->addItem(QString::fromStdString(item));
    heap_->clear();
    for (const Candidate& c : outcome_.found.heap) heap_->addItem(QString::fromStdString(c.label));
    for (QComboBox* combo : {entries_, cluster_, heap_})
        if (combo->count() > 0) combo->setCurrentIndex(0);
    for (const std::string& note : outcome_.notes) message(QString::fromStdString(note));
    message(QString::fromStdString(outcome_.message));
    showWorkerControls(false);
    status_->setText(QString::fromStdString(outcome_.doneStatus));
    backButton_->setEnabled(true);
    nextButton_->setEnabled(true);
    done_ = true;
}

void advanceOptions::pause() {
    if (!running_) return;
    gate_.pause();
    status_->setText(QStringLiteral("Pause button pressed"));
}

void advanceOptions::resume() {
    if (!running_) return;
    gate_.resume();
    status_->setText(QStringLiteral("Resume button pressed"));
}

void advanceOptions::stop() {
    if (!started_) return;
    control_.requestStop();
    status_->setText(QStringLiteral("stop button pressed"));
    backButton_->setEnabled(true);
    nextButton_->setEnabled(true);
}

void advanceOptions::back() {
    endWorker();
    goBack();
}

AdvancedChoice advanceOptions::choice() const {
    AdvancedChoice c;
    c.candidate = entries_->currentIndex();
    c.heap = heap_->isVisibleTo(this) && heap_->currentIndex() >= 0 ? heap_->currentIndex() : c.candidate;
    c.sectorsPerCluster = kind_ ? sectorsPerClusterOf(*kind_, cluster_->currentText().toStdString()) : 0;
    c.driveFormatted = app().driveFormatted;
    return c;
}

void advanceOptions::next() {
    if (entries_->currentIndex() < 0 || cluster_->currentIndex() < 0) return;
    goForward(new VolumeScanDlg(app(), this, volume_, 2, choice()));
}

}  // namespace quarvell::ui
