#pragma once
// The volume-information page: the chosen volume's name, file system and size, before the choice
// of recovery mode.
#include "partition/VolumeEntry.h"
#include "ui/WizardPage.h"

namespace quarvell::ui {

class VolumeOperations final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 135;

    // itemText: the drive page's text for the volume.
    VolumeOperations(CTessmorApp& app, WizardPage* creator, int cameFromId, const VolumeEntry& volume,
                     const QString& itemText);

    const VolumeEntry& selectedVolume() const { return selectedVolume_; }
    int cameFromId() const { return cameFromId_; }

private:
    int cameFromId_;
    VolumeEntry selectedVolume_;
};

}  // namespace quarvell::ui
