#include "ui/DriveParsingModes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/core/CTessmorApp.h"
#include "common/TextFormat.h"
#include "ui/PopulateDriveDlg.h"

namespace quarvell::ui {

namespace {

constexpr int kStandard = 1323;
constexpr int kAdvanced = 1324;
constexpr int kGpt = 1253;
constexpr int kNoSkip = 1144;
constexpr int kCustom = 1153;
constexpr int kStartLabel = 1155;
constexpr int kEndLabel = 1156;
constexpr int kStartEdit = 1157;
constexpr int kEndEdit = 1158;
constexpr int kDriveText = 1263;
constexpr int kNext = 1229;
constexpr int kBack = 1051;

}  // namespace

DriveParsingModes::DriveParsingModes(CTessmorApp& app, WizardPage* creator, const std::string& drivePath)
    : WizardPage(app, creator, kResourceId, QStringLiteral("How should the volumes of this drive be found?")),
      drivePath_(drivePath) {
    auto* driveRow = new QHBoxLayout;
    driveRow->setSpacing(8);
    driveRow->addWidget(new QLabel(QStringLiteral("Selected drive:"), this));
    auto* driveText = named(new QLabel(QString::fromStdString(drivePath_), this), kDriveText);
    driveText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    driveRow->addWidget(driveText, 1);
    content()->addLayout(driveRow);

    auto* modes = new QGroupBox(QStringLiteral("Scan Mode"), this);
    auto* modesLayout = new QVBoxLayout(modes);
    auto* standard = named(new QRadioButton(QStringLiteral("Standard Scan"), modes), kStandard);
    auto* gpt = named(new QCheckBox(QStringLiteral("GPT format"), modes), kGpt);
    auto* advanced = named(new QRadioButton(QStringLiteral("Advance Scan"), modes), kAdvanced);
    auto* noSkip = named(new QCheckBox(QStringLiteral("Do not Skip Volume Size While Parsing in Advance  Scan "), modes),
                         kNoSkip);
    modesLayout->addWidget(standard);
    auto* indentedGpt = new QHBoxLayout;
    indentedGpt->addSpacing(24);
    indentedGpt->addWidget(gpt);
    modesLayout->addLayout(indentedGpt);
    modesLayout->addWidget(advanced);
    auto* indentedAdvanced = new QVBoxLayout;
    indentedAdvanced->setContentsMargins(24, 0, 0, 0);
    indentedAdvanced->addWidget(noSkip);

    auto* custom = named(new QGroupBox(QStringLiteral("Custom Setting:"), modes), kCustom);
    custom->setCheckable(true);
    custom->setChecked(false);
    auto* grid = new QGridLayout(custom);
    auto* sectors = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,19}")), this);
    auto* startEdit = named(new QLineEdit(custom), kStartEdit);
    auto* endEdit = named(new QLineEdit(custom), kEndEdit);
    startEdit->setValidator(sectors);
    endEdit->setValidator(sectors);
    grid->addWidget(named(new QLabel(QStringLiteral("Starting Sector:"), custom), kStartLabel), 0, 0);
    grid->addWidget(startEdit, 0, 1);
    grid->addWidget(named(new QLabel(QStringLiteral("Ending Sector:"), custom), kEndLabel), 1, 0);
    grid->addWidget(endEdit, 1, 1);
    indentedAdvanced->addWidget(custom);
    modesLayout->addLayout(indentedAdvanced);
    content()->addWidget(modes);
    content()->addStretch(1);

    connect(standard, &QRadioButton::clicked, this, &DriveParsingModes::chooseStandard);
    connect(advanced, &QRadioButton::clicked, this, &DriveParsingModes::chooseAdvanced);
    connect(custom, &QGroupBox::toggled, this, &DriveParsingModes::setCustomEnabled);

    addBackButton(kBack);
    connect(addNextButton(kNext), &QPushButton::clicked, this, &DriveParsingModes::next);

    // The medium's size is known from here on; whether it opened is reported by the volume list.
    if (this->app().reader) this->app().openReader(drivePath_);
    startEdit->setText(QStringLiteral("0"));
    endEdit->setText(QStringLiteral("0"));
    chooseStandard();
    resize(520, 440);
}

void DriveParsingModes::setCustomEnabled(bool enabled) {
    for (int id : {kStartLabel, kEndLabel, kStartEdit, kEndEdit}) control<QWidget>(this, id)->setEnabled(enabled);
}

void DriveParsingModes::chooseStandard() {
    control<QRadioButton>(this, kStandard)->setChecked(true);
    control<QCheckBox>(this, kNoSkip)->setEnabled(false);
    auto* custom = control<QGroupBox>(this, kCustom);
    custom->setChecked(false);
    custom->setEnabled(false);
    setCustomEnabled(false);
}

void DriveParsingModes::chooseAdvanced() {
    control<QRadioButton>(this, kAdvanced)->setChecked(true);
    control<QCheckBox>(this, kNoSkip)->setEnabled(true);
    control<QGroupBox>(this, kCustom)->setEnabled(true);
    setCustomEnabled(control<QGroupBox>(this, kCustom)->isChecked());
}

void DriveParsingModes::next() {
    PopulateDriveSettings settings;
    settings.drivePath = drivePath_;
    settings.doNotSkipVolumeSize = control<QCheckBox>(this, kNoSkip)->isChecked();
    settings.scanMode = control<QRadioButton>(this, kStandard)->isChecked() ? ScanMode::Standard : ScanMode::Advanced;
    settings.gptMode = control<QCheckBox>(this, kGpt)->isChecked();
    if (control<QGroupBox>(this, kCustom)->isChecked()) {
        const int64_t start = leadingNumber(control<QLineEdit>(this, kStartEdit)->text().toStdString());
        const int64_t end = leadingNumber(control<QLineEdit>(this, kEndEdit)->text().toStdString());
        // The range is passed on whenever its end is not negative, even when it ends before it starts.
        if (end >= 0) {
            settings.customStartSector = start;
            settings.customEndSector = end;
        }
    }
    goForward(new PopulateDriveDlg(app(), this, settings));
}

}  // namespace quarvell::ui
