#pragma once
// The raw recovery page: loads the signature catalogues, carves the selected volume (or drive)
// on a worker with Pause, Resume and Stop, shows the finds as "RAW RECOVERY " -> categories ->
// files with a file list beside the tree, and saves the ticked files into the output folder.
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/WorkerControl.h"
#include "controls/MemoryTree.h"
#include "partition/VolumeEntry.h"
#include "raw/myJpg.h"
#include "scan/SameDiskCheck.h"
#include "ui/WizardPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace quarvell::ui {

class CXHtmlTree;
class RawFileListModel;
class ResultTreeModel;
class ScanWorkerSink;

struct RawSaveTotals {
    bool ran = false;
    int saved = 0;
    int incomplete = 0;  // saved with unreadable bytes written as zeros
    int failed = 0;
    QString folder;
    QString report;         // the DFXML report written, empty when none was
    QString reportProblem;  // why the report asked for could not be written
};

class RawRecoveryDialog final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 151;
    enum : int {
        kSettingsEdit = 1304, kChooseSettings = 1237, kParse = 1238, kLoadDefault = 1255, kSetting = 1282,
        kTree = 1251, kList = 1281, kProgress = 1027, kPause = 1060, kResume = 1250, kStop = 1248,
        kStatus = 1033, kSave = 1252, kBack = 1229, kBrowse = 1239, kOutputFolder = 1240, kWriteReport = 1241,
    };

    RawRecoveryDialog(CTessmorApp& app, WizardPage* creator, const VolumeEntry& volume);
    ~RawRecoveryDialog() override;

    const VolumeEntry& volume() const { return volume_; }
    bool jobRunning() const { return running_; }
    const myJpg* engine() const { return engine_.get(); }
    MemoryTree& resultTree() { return tree_; }
    ResultTreeModel* treeModel() const { return treeModel_; }
    RawFileListModel* listModel() const { return listModel_; }
    CXHtmlTree* treeView() const { return treeView_; }
    const RawSaveTotals& lastSave() const { return lastSave_; }
    PauseGate& pauseGate() { return gate_; }

    QString cataloguePath;  // the default catalogue this page loads (the shipped one at first)
    // Pickers; tests put their own here.
    std::function<QString()> chooseFolder;
    std::function<QString()> chooseSettingsFile;
    std::function<void()> openSettingEditor;
    std::function<SameDiskVerdict(const std::string& source, const std::string& folder)> sameDiskCheck =
        [](const std::string& source, const std::string& folder) { return checkOutputAgainstSource(source, folder); };
    // Called on the worker with every progress position the carving reports (for tests).
    std::function<void(int64_t)> progressSeen;

private:
    class WorkerSink;

    void pickSettingsFile();
    void browse();
    void parse();
    void carvingEnded();
    void pause();
    void resume();
    void stop();
    void save();
    void itemSelected(TreeItem item);
    void endParse(const QString& status);
    void showWorkerControls(bool shown);
    void runJob(std::function<void()> work, std::function<void()> done);
    void joinWorker();

    VolumeEntry volume_;
    int64_t origin_ = 0;
    PauseGate gate_;
    WorkerControl control_;
    MemoryTree tree_;
    std::unique_ptr<myJpg> engine_;
    std::thread worker_;
    bool running_ = false;
    RawSaveTotals lastSave_;

    QLineEdit* settingsEdit_ = nullptr;
    QCheckBox* loadDefault_ = nullptr;
    QCheckBox* writeReport_ = nullptr;
    QLineEdit* outputFolder_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* parseButton_ = nullptr;
    QPushButton* settingButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* resumeButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    CXHtmlTree* treeView_ = nullptr;
    QTreeView* listView_ = nullptr;
    ResultTreeModel* treeModel_ = nullptr;
    RawFileListModel* listModel_ = nullptr;
    std::unique_ptr<ScanWorkerSink> sink_;
    std::unique_ptr<WorkerSink> workerSink_;
};

}  // namespace quarvell::ui
