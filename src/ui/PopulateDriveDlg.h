#pragma once
// The volume list of a physical drive or disk image: runs the partition scan chosen on the page
// before (the standard scan here on the interface thread, the advanced scan on a worker), lists
// what it finds, lets the user add a custom volume and override its sectors and file system, and
// hands the selected volume on by its file-system label.
#include <QPointer>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "common/WorkerControl.h"
#include "partition/Partition.h"
#include "partition/VolumeListModel.h"
#include "ui/PopulateDriveSettings.h"
#include "ui/QtUiSink.h"
#include "ui/WizardPage.h"

class QTableWidget;

namespace quarvell::ui {

class PopulateDriveDlg final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 134;

    PopulateDriveDlg(CTessmorApp& app, WizardPage* creator, const PopulateDriveSettings& settings);
    ~PopulateDriveDlg() override;

    const PopulateDriveSettings& settings() const { return settings_; }
    const VolumeListModel& model() const { return model_; }
    // The record handed on by the last Next.
    const VolumeEntry& selectedVolume() const { return selectedVolume_; }
    bool scanRunning() const { return worker_.joinable(); }

protected:
    void begin() override;

private:
    // Why the medium did not open ("<path>: <reason>"), shown below "file not opened..".
    QString openFailure() const;
    void runStandardScan();
    void startAdvancedScan();
    void advancedFound(const VolumeEntry& found);
    void advancedFinished();
    void stopWorker();

    void showRows();
    void insertRowWidget(int at, const VolumeRow& row);
    int selectedRow() const;
    void rowSelected();
    void rowClicked(int row);
    void setCustomEnabled(bool enabled);
    void stepEdit(int editId, bool up);
    void addCustomVolume();
    void filter();
    void next();
    void setNavigationEnabled(bool enabled);

    PopulateDriveSettings settings_;
    VolumeListModel model_;
    VolumeEntry selectedVolume_;
    std::unique_ptr<QtUiSink> sink_;
    std::unique_ptr<Partition> scanner_;
    WorkerControl control_;                 // the scan's stop flag (Stop, leaving the page)
    std::vector<VolumeEntry> workerFinds_;  // written by the worker only, until it has ended
    std::thread worker_;
    std::atomic<bool> workerDone_{true};
    QTableWidget* list_ = nullptr;
};

}  // namespace quarvell::ui
