#pragma once
// The advanced-options page: searches the chosen volume for copies of its key structures (MFT
// copies for NTFS, FAT starts for FAT16 and FAT32, FAT starts and cluster-heap offsets for exFAT)
// on a worker, lists them with the cluster sizes to try, and opens the scan page on the chosen
// entries. The search runs the same core code as the command line's advanced listing.
#include <memory>
#include <thread>

#include "common/WorkerControl.h"
#include "controls/MemoryTree.h"
#include "fs/FileSystemKind.h"
#include "partition/VolumeEntry.h"
#include "scan/AdvancedSearch.h"
#include "ui/WizardPage.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace quarvell::ui {

class ParceModeNtfsDlg;
class ScanWorkerSink;

class advanceOptions final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 153;
    enum : int {
        kEntriesLabel = 1062, kEntries = 1063, kClusterLabel = 1068, kCluster = 1069, kHeapLabel = 1076,
        kHeap = 1077, kProgress = 1055, kPause = 1060, kResume = 1061, kStop = 1059, kStatus = 1033,
        kBack = 1051, kNext = 1067,
    };

    advanceOptions(CTessmorApp& app, ParceModeNtfsDlg* modePage);
    ~advanceOptions() override;

    const VolumeEntry& volume() const { return volume_; }
    int wantedCount() const { return wanted_; }
    bool searchRunning() const { return running_; }
    bool searchDone() const { return done_; }
    const AdvancedSearchOutcome& outcome() const { return outcome_; }
    // The choice the scan page parses with (from the lists' current selections).
    AdvancedChoice choice() const;
    PauseGate& pauseGate() { return gate_; }

protected:
    void begin() override;
    void stopForExit() override;

private:
    void startSearch();
    void searchEnded();
    void pause();
    void resume();
    void stop();
    void back();
    void next();
    // Ends the worker for good: it leaves its loops at the next poll and is joined.
    void endWorker();
    void showWorkerControls(bool shown);

    VolumeEntry volume_;
    int wanted_ = 3;
    const FileSystemKind* kind_ = nullptr;

    PauseGate gate_;
    WorkerControl control_;
    MemoryTree scratch_;  // the search inserts nothing; the request needs a tree
    std::thread worker_;
    bool started_ = false;
    bool running_ = false;
    bool done_ = false;
    AdvancedSearchOutcome outcome_;

    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QComboBox* entries_ = nullptr;
    QComboBox* cluster_ = nullptr;
    QComboBox* heap_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* resumeButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    std::unique_ptr<ScanWorkerSink> sink_;
};

}  // namespace quarvell::ui
