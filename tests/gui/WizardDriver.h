#pragma once
// Builds the wizard as start-up does, with a drive list the test decides, and walks its pages.
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/core/CTessmorApp.h"
#include "ui/Physical_DriveDialog.h"

class QTreeWidgetItem;

class WizardDriver {
public:
    // volumes: entries shown under "VOLUMES:"; images: listed with the drives.
    explicit WizardDriver(const std::vector<std::string>& images = {},
                          const std::vector<quarvell::VolumeEntry>& volumes = {});
    ~WizardDriver();

    quarvell::CTessmorApp state;
    quarvell::ui::Physical_DriveDialog& drivePage() { return *drivePage_; }

    // The one page on screen (fails the test when there is not exactly one).
    quarvell::ui::WizardPage* visiblePage() const;
    template <typename T>
    T* visible() const {
        return qobject_cast<T*>(visiblePage());
    }
    // Clicks the button with this id on the visible page.
    void click(int id) const;
    // Selects the drive-page entry with this text (under either top item).
    void selectDriveEntry(const QString& text);
    // Runs deferred deletions (Back destroys its page that way).
    static void settle();

private:
    std::unique_ptr<quarvell::ui::Physical_DriveDialog> drivePage_;
};

// A volume entry as the drive page lists one.
quarvell::VolumeEntry machineVolume(const std::string& device, const std::string& fileSystem,
                                    const std::string& sizeText);
