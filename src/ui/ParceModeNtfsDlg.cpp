#include "ui/ParceModeNtfsDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/core/CTessmorApp.h"
#include "ui/VolumeScanDlg.h"
#include "ui/advanceOptions.h"

namespace quarvell::ui {

namespace {

constexpr int kStandard = 1047;
constexpr int kAdvanced = 1048;
constexpr int kDeep = 1049;
constexpr int kMaxLabel = 1128;
constexpr int kMaxEdit = 1129;
constexpr int kMaxDefault = 1130;
constexpr int kFormatted = 1255;
constexpr int kNext = 1053;
constexpr int kBack = 1057;

}  // namespace

ParceModeNtfsDlg::ParceModeNtfsDlg(CTessmorApp& app, WizardPage* creator, int cameFromId, const VolumeEntry& volume)
    : WizardPage(app, creator, kResourceId, QStringLiteral("How should the volume be read?")),
      cameFromId_(cameFromId),
      volume_(volume),
      options_(ParseModeOptions::forFileSystem(volume.fileSystem)) {
    auto* group = new QGroupBox(QStringLiteral("Select Recovery Mode:"), this);
    auto* layout = new QVBoxLayout(group);
    auto* standard = named(new QRadioButton(QStringLiteral("Standard"), group), kStandard);
    auto* advanced = named(new QRadioButton(QStringLiteral("Advanced"), group), kAdvanced);
    auto* deep = named(new QRadioButton(QStringLiteral("Deep"), group), kDeep);
    layout->addWidget(standard);
    layout->addWidget(advanced);

    auto* options = new QVBoxLayout;
    options->setContentsMargins(24, 0, 0, 0);
    auto* maxRow = new QHBoxLayout;
    maxRow->addWidget(named(new QLabel(QStringLiteral("Please Enter Max File Systems to Find :"), group), kMaxLabel));
    auto* maxEdit = named(new QLineEdit(QStringLiteral("3"), group), kMaxEdit);
    maxEdit->setValidator(new QIntValidator(1, 9999, maxEdit));
    maxEdit->setMaximumWidth(maxEdit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    maxRow->addWidget(maxEdit);
    maxRow->addWidget(named(new QLabel(QStringLiteral("( By  Default  it's  = 3 )"), group), kMaxDefault));
    maxRow->addStretch(1);
    options->addLayout(maxRow);
    options->addWidget(named(new QCheckBox(QStringLiteral("Is Drive Formated..?"), group), kFormatted));
    layout->addLayout(options);
    layout->addWidget(deep);

    auto* volumeLine = new QLabel(
        QStringLiteral("Volume: %1   %2").arg(QString::fromStdString(volume_.fileSystem), QString::fromStdString(volume_.sizeText)),
        this);
    content()->addWidget(volumeLine);
    content()->addWidget(group);
    content()->addStretch(1);

    connect(standard, &QRadioButton::clicked, this, &ParceModeNtfsDlg::chooseStandard);
    connect(advanced, &QRadioButton::clicked, this, &ParceModeNtfsDlg::chooseAdvanced);
    connect(deep, &QRadioButton::clicked, this, &ParceModeNtfsDlg::chooseDeep);
    connect(control<QCheckBox>(this, kFormatted), &QCheckBox::toggled, this,
            [this](bool checked) { this->app().driveFormatted = checked; });

    addBackButton(kBack);
    connect(addNextButton(kNext), &QPushButton::clicked, this, &ParceModeNtfsDlg::next);

    showAdvancedOptions(false);
    chooseStandard();
    deep->setVisible(options_.deep);
    advanced->setVisible(options_.advanced);
    resize(520, 400);
}

int ParceModeNtfsDlg::maxFileSystems() const { return control<QLineEdit>(this, kMaxEdit)->text().toInt(); }

void ParceModeNtfsDlg::showAdvancedOptions(bool shown) {
    for (int id : {kMaxLabel, kMaxEdit, kMaxDefault}) control<QWidget>(this, id)->setVisible(shown);
    control<QWidget>(this, kFormatted)->setVisible(shown && options_.formattedBox);
}

void ParceModeNtfsDlg::chooseStandard() {
    app().driveFormatted = false;
    control<QCheckBox>(this, kFormatted)->setChecked(false);
    showAdvancedOptions(false);
    control<QRadioButton>(this, kStandard)->setChecked(true);
    parseMode_ = 1;
}

void ParceModeNtfsDlg::chooseAdvanced() {
    app().driveFormatted = false;
    control<QCheckBox>(this, kFormatted)->setChecked(false);
    showAdvancedOptions(true);
    control<QRadioButton>(this, kAdvanced)->setChecked(true);
    parseMode_ = 2;
}

void ParceModeNtfsDlg::chooseDeep() {
    app().driveFormatted = false;
    control<QCheckBox>(this, kFormatted)->setChecked(false);
    showAdvancedOptions(false);
    control<QRadioButton>(this, kDeep)->setChecked(true);
    parseMode_ = 3;
}

void ParceModeNtfsDlg::next() {
    if (parseMode_ == 2)
        goForward(new advanceOptions(app(), this));
    else
        goForward(new VolumeScanDlg(app(), this, volume_, parseMode_));
}

}  // namespace quarvell::ui
