#pragma once
// The first page and the program's main window: the machine's volumes and drives, and the disk
// images the user named, to choose one for recovery.
#include <string>
#include <vector>

#include "partition/VolumeEntry.h"
#include "ui/DriveSources.h"
#include "ui/WizardPage.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarvell::ui {

class Physical_DriveDialog final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 130;

    Physical_DriveDialog(CTessmorApp& app, const DriveSources& sources, const std::vector<std::string>& images);
    ~Physical_DriveDialog() override;

    // Lists a disk image with the drives (what "Open image..." does after its file picker).
    void addImage(const std::string& path);

private:
    void next();
    void openImage();
    QTreeWidgetItem* addEntry(QTreeWidgetItem* parent, const QString& text, int index);

    QTreeWidget* tree_ = nullptr;
    QTreeWidgetItem* volumesItem_ = nullptr;
    QTreeWidgetItem* drivesItem_ = nullptr;
    QLabel* accessHint_ = nullptr;
    std::vector<VolumeEntry> volumes_;
    std::vector<std::string> drivePaths_;  // drives first, then images
};

}  // namespace quarvell::ui
