#pragma once
// The scan page: parses the chosen volume on a worker thread with the file system the volume's
// label dispatches to, shows the result tree and the file list, and saves and searches on the
// same worker. Pause closes the job's gate, Resume opens it, Stop sets the job's stop flag. One
// job runs at a time; Save and Search refuse while one runs. Every widget changes on the
// interface thread; the worker reports through a coalescing sink.
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/WorkerControl.h"
#include "controls/MemoryTree.h"
#include "fs/FileSystemKind.h"
#include "partition/VolumeEntry.h"
#include "scan/FileList.h"
#include "scan/ResultBrowser.h"
#include "scan/SameDiskCheck.h"
#include "scan/SaveWalk.h"
#include "ui/WizardPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quarvell::ui {

class CCheckListCtrl;
class CXHtmlTree;
class FileListModel;
class ResultTreeModel;
class ScanWorkerSink;

class VolumeScanDlg final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 139;
    enum : int {
        kTree = 1042, kList = 1268, kProgress = 1055, kStatus = 1033, kFileSize = 1325, kVolumeData = 1322,
        kSearchEdit = 1319, kSearchHint = 1320, kSearch = 1318, kPause = 1060, kResume = 1061, kStop = 1059,
        kBack = 1057, kSave = 1269, kOutputFolder = 1107, kChooseFolder = 1106, kWriteReport = 1108,
    };

    // parseMode as the mode page keeps it: 1 Standard, 2 Advanced (with `advanced`), 3 Deep.
    VolumeScanDlg(CTessmorApp& app, WizardPage* creator, const VolumeEntry& volume, int parseMode,
                  const AdvancedChoice& advanced = {});
    ~VolumeScanDlg() override;

    const VolumeEntry& volume() const { return volume_; }
    int parseMode() const { return parseMode_; }
    // A job (parse, save or search) is running, or the parse never started.
    bool busy() const { return busy_; }
    bool jobRunning() const { return running_; }
    // The job's stop flag and pause gate.
    WorkerControl& workerControl() { return control_; }
    PauseGate& pauseGate() { return gate_; }

    // After the parse: the tree, the parser's entries, the list and what the last save did.
    MemoryTree& resultTree() { return tree_; }
    const EntryAdapter* adapter() const { return adapter_.get(); }
    const ParseResult& parseResult() const { return parsed_; }
    const FileList& fileList() const { return list_; }
    const SaveTotals& lastSave() const { return lastSave_; }
    // The DFXML report the last save wrote (empty when it wrote none), or why it could not.
    const QString& lastReport() const { return lastReport_; }
    const QString& lastReportProblem() const { return lastReportProblem_; }
    ResultTreeModel* treeModel() const { return treeModel_; }
    FileListModel* listModel() const { return listModel_; }
    CXHtmlTree* treeView() const { return treeView_; }
    CCheckListCtrl* listView() const { return listView_; }

    // The folder browser ("Please choose a folder."); tests put their own chooser here.
    std::function<QString()> chooseFolder;
    // Whether an output folder lies on the medium being recovered (the core's check).
    std::function<SameDiskVerdict(const std::string& source, const std::string& folder)> sameDiskCheck =
        [](const std::string& source, const std::string& folder) { return checkOutputAgainstSource(source, folder); };

protected:
    void begin() override;

private:
    void startParse();
    void parseFinished(std::shared_ptr<ParseResult> result);
    void pause();
    void resume();
    void stop();
    void browseOutputFolder();
    void save();
    // target: the output folder the save writes into; base: the tree item whose names the
    // saved files' names continue (the report's file names).
    void runSave(std::function<SaveTotals(SaveWalk&)> save, const QString& target, TreeItem base);
    void quickSave(TreeItem item);
    void search();

    // Runs `work` on the worker; `done` runs on this thread once it has returned.
    void stopForExit() override;
    void runJob(std::function<void()> work, std::function<void()> done);
    void jobEnded(const std::function<void()>& done);
    void showWorkerControls(bool shown);
    void setBrowsingEnabled(bool enabled);
    // The output folder as typed, after the same-disk question; empty: do not write.
    QString confirmedOutputFolder(const QString& folder);
    void reportSave(const SaveTotals& totals, const QString& report, const QString& reportProblem);
    void drainSearchRows();

    // Core browsing with the models kept in step.
    void labelClicked(TreeItem item);
    void itemExpanded(TreeItem item);
    void doubleClicked(TreeItem item);

    VolumeEntry volume_;
    int parseMode_;
    AdvancedChoice advanced_;
    const FileSystemKind* kind_ = nullptr;

    PauseGate gate_;
    WorkerControl control_;
    MemoryTree tree_;
    ParseResult parsed_;
    std::unique_ptr<EntryAdapter> adapter_;
    FileList list_;
    std::unique_ptr<ResultBrowser> browser_;
    SaveTotals lastSave_;
    QString lastReport_;
    QString lastReportProblem_;

    bool busy_ = true;
    bool running_ = false;
    bool parseStarted_ = false;
    bool inDoubleClick_ = false;
    std::thread worker_;

    std::mutex rowsMutex_;
    std::vector<FileListRow> pendingRows_;

    QLabel* status_ = nullptr;
    QLabel* fileSize_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLineEdit* volumeData_ = nullptr;
    QLineEdit* searchEdit_ = nullptr;
    QLineEdit* outputFolder_ = nullptr;
    QCheckBox* writeReport_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* resumeButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    CXHtmlTree* treeView_ = nullptr;
    CCheckListCtrl* listView_ = nullptr;
    ResultTreeModel* treeModel_ = nullptr;
    FileListModel* listModel_ = nullptr;
    std::unique_ptr<ScanWorkerSink> sink_;
};

}  // namespace quarvell::ui
