#pragma once
// The recovery-mode page: Standard, Advanced or Deep for the chosen volume, as far as its file
// system allows, and for FAT volumes whether the drive was reformatted.
#include "partition/ParseModeOptions.h"
#include "partition/VolumeEntry.h"
#include "ui/WizardPage.h"

namespace quarvell::ui {

class ParceModeNtfsDlg final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 136;

    // cameFromId: 135 from the volume-information page, 134 from the volume list.
    ParceModeNtfsDlg(CTessmorApp& app, WizardPage* creator, int cameFromId, const VolumeEntry& volume);

    int cameFromId() const { return cameFromId_; }
    const VolumeEntry& volume() const { return volume_; }
    int parseMode() const { return parseMode_; }  // 1 Standard, 2 Advanced, 3 Deep
    // The "Please Enter Max File Systems to Find :" number.
    int maxFileSystems() const;

private:
    void chooseStandard();
    void chooseAdvanced();
    void chooseDeep();
    void showAdvancedOptions(bool shown);
    void next();

    int cameFromId_;
    VolumeEntry volume_;
    ParseModeOptions options_;
    int parseMode_ = 1;
};

}  // namespace quarvell::ui
