#include "ui/Physical_DriveDialog.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/core/CTessmorApp.h"
#include "ui/DriveParsingModes.h"
#include "ui/VolumeOperations.h"

namespace quarvell::ui {

namespace {

constexpr int kTree = 1022;
constexpr int kNext = 1003;
const QString kVolumesText = QStringLiteral("     VOLUMES:");
const QString kDrivesText = QStringLiteral("     PHYSICAL DRIVES:");

}  // namespace

Physical_DriveDialog::Physical_DriveDialog(CTessmorApp& app, const DriveSources& sources,
                                           const std::vector<std::string>& images)
    : WizardPage(app, nullptr, kResourceId, QStringLiteral("Choose the drive, volume or disk image to recover from")) {
    auto* group = new QGroupBox(QStringLiteral("Currently system contains:"), this);
    auto* groupLayout = new QVBoxLayout(group);
    tree_ = new QTreeWidget(group);
    tree_->setObjectName(QString::number(kTree));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setIconSize(QSize(16, 16));
    groupLayout->addWidget(tree_);

    accessHint_ = new QLabel(
        QStringLiteral("Some drives are not listed: reading them needs root rights. Disk images can still be opened."),
        group);
    accessHint_->setObjectName(QStringLiteral("accessHint"));
    accessHint_->setWordWrap(true);
    accessHint_->hide();
    groupLayout->addWidget(accessHint_);

    auto* openButton = new QPushButton(QIcon(":/icons/open.png"), QStringLiteral("Open image..."), group);
    openButton->setObjectName(QStringLiteral("openImage"));
    openButton->setAutoDefault(false);
    connect(openButton, &QPushButton::clicked, this, &Physical_DriveDialog::openImage);
    auto* openRow = new QHBoxLayout;
    openRow->addWidget(openButton);
    openRow->addStretch(1);
    groupLayout->addLayout(openRow);
    content()->addWidget(group);

    volumesItem_ = new QTreeWidgetItem(tree_, QStringList(kVolumesText));
    drivesItem_ = new QTreeWidgetItem(tree_, QStringList(kDrivesText));
    const QIcon driveIcon(":/icons/drive.png");
    volumesItem_->setIcon(0, driveIcon);
    drivesItem_->setIcon(0, driveIcon);

    bool unreadable = false;
    for (const DriveInfo& drive : sources.drives()) {
        if (!sources.readable(drive.path)) {
            unreadable = true;
            continue;
        }
        drivePaths_.push_back(drive.path);
        addEntry(drivesItem_, QString::fromStdString(drive.displayText()), int(drivePaths_.size()) - 1);
    }
    for (const VolumeEntry& volume : sources.volumes()) {
        if (!sources.readable(volume.volumeName)) {
            unreadable = true;
            continue;
        }
        volumes_.push_back(volume);
    }
    // Highest first, as the volumes have always been shown.
    for (int i = int(volumes_.size()) - 1; i >= 0; --i)
        addEntry(volumesItem_, QString::fromStdString(volumes_[size_t(i)].displayName), i);
    for (const std::string& image : images) addImage(image);
    accessHint_->setVisible(unreadable);

    tree_->expandAll();

    QPushButton* next = addNextButton(kNext);
    connect(next, &QPushButton::clicked, this, &Physical_DriveDialog::next);
    resize(520, 440);
}

Physical_DriveDialog::~Physical_DriveDialog() {
    // The later pages go first: a scan still running on one of them reads through the reader.
    qDeleteAll(findChildren<WizardPage*>(Qt::FindDirectChildrenOnly));
    app().reader.reset();
}

QTreeWidgetItem* Physical_DriveDialog::addEntry(QTreeWidgetItem* parent, const QString& text, int index) {
    auto* item = new QTreeWidgetItem(parent, QStringList(text));
    item->setIcon(0, QIcon(":/icons/drive.png"));
    item->setData(0, Qt::UserRole, index);
    return item;
}

void Physical_DriveDialog::addImage(const std::string& path) {
    drivePaths_.push_back(path);
    QTreeWidgetItem* item = addEntry(drivesItem_, QString::fromStdString(path), int(drivePaths_.size()) - 1);
    drivesItem_->setExpanded(true);
    tree_->setCurrentItem(item);
}

void Physical_DriveDialog::openImage() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open image..."), QString(),
                                                      QStringLiteral("Disk images (*.img *.raw *.dd *.bin *.iso *.E01 *.e01 *.Ex01 *.vhd *.vhdx *.vmdk *.qcow2 *.qcow *.000 *.001 *.aa);;All files (*)"));
    if (!path.isEmpty()) addImage(path.toStdString());
}

void Physical_DriveDialog::next() {
    QTreeWidgetItem* selected = tree_->currentItem();
    if (selected && !selected->isSelected()) selected = nullptr;
    QTreeWidgetItem* parent = selected ? selected->parent() : nullptr;
    const QString parentText = parent ? parent->text(0).trimmed() : QString();

    // A new choice always starts from a fresh reader.
    app().replaceReader();
    app().previousDialogId = kResourceId;

    const int index = selected ? selected->data(0, Qt::UserRole).toInt() : -1;
    if (parentText == QLatin1String("VOLUMES:")) {
        app().isVolumeSelected = true;
        goForward(new VolumeOperations(app(), this, kResourceId, volumes_[size_t(index)], selected->text(0)));
    } else if (parentText == QLatin1String("PHYSICAL DRIVES:")) {
        app().isVolumeSelected = false;
        goForward(new DriveParsingModes(app(), this, drivePaths_[size_t(index)]));
    } else {
        message(QStringLiteral("Please select a volume or a drive.."));
    }
}

}  // namespace quarvell::ui
