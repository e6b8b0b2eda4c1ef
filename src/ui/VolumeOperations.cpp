#include "ui/VolumeOperations.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ParceModeNtfsDlg.h"

namespace quarvell::ui {

namespace {

constexpr int kItemText = 1097;
constexpr int kName = 1039;
constexpr int kFileSystem = 1041;
constexpr int kSize = 1042;
constexpr int kNext = 1046;
constexpr int kBack = 1037;

}  // namespace

VolumeOperations::VolumeOperations(CTessmorApp& app, WizardPage* creator, int cameFromId,
                                   const VolumeEntry& volume, const QString& itemText)
    : WizardPage(app, creator, kResourceId, QStringLiteral("The selected volume")),
      cameFromId_(cameFromId),
      selectedVolume_(volume) {
    auto* hidden = new QLabel(itemText, this);
    hidden->setObjectName(QString::number(kItemText));
    hidden->hide();

    auto* group = new QGroupBox(QStringLiteral("Volume Information"), this);
    auto* form = new QFormLayout(group);
    auto value = [&](int id, const std::string& text) {
        auto* label = new QLabel(QString::fromStdString(text), group);
        label->setObjectName(QString::number(id));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    form->addRow(QStringLiteral("Volume Name:"), value(kName, volume.displayName));
    form->addRow(QStringLiteral("Volume File System:"), value(kFileSystem, volume.fileSystem));
    form->addRow(QStringLiteral("Volume Size:"), value(kSize, volume.sizeText));
    content()->addWidget(group);
    content()->addStretch(1);

    addBackButton(kBack);
    QPushButton* next = addNextButton(kNext);
    connect(next, &QPushButton::clicked, this, [this] {
        goForward(new ParceModeNtfsDlg(this->app(), this, kResourceId, selectedVolume_));
    });
    resize(520, 360);
}

}  // namespace quarvell::ui
