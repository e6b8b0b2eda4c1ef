#pragma once
// The drive-parsing-modes page: how the chosen drive's volumes are to be found — the standard scan
// of the partition tables (optionally GPT) or the advanced scan of every sector, optionally over a
// custom sector range and without skipping found volumes.
#include <string>

#include "ui/WizardPage.h"

namespace quarvell::ui {

class DriveParsingModes final : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kResourceId = 152;

    DriveParsingModes(CTessmorApp& app, WizardPage* creator, const std::string& drivePath);

    const std::string& drivePath() const { return drivePath_; }

private:
    void chooseStandard();
    void chooseAdvanced();
    void setCustomEnabled(bool enabled);
    void next();

    std::string drivePath_;
};

}  // namespace quarvell::ui
