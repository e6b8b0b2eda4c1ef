#include "WizardDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace quarvell;

WizardDriver::WizardDriver(const std::vector<std::string>& images, const std::vector<VolumeEntry>& volumes) {
    ui::DriveSources sources;
    sources.drives = [] { return std::vector<DriveInfo>{}; };
    sources.volumes = [volumes] { return volumes; };
    sources.readable = [](const std::string&) { return true; };
    drivePage_ = std::make_unique<ui::Physical_DriveDialog>(state, sources, images);
    drivePage_->show();
}

WizardDriver::~WizardDriver() {
    drivePage_.reset();
    settle();
}

ui::WizardPage* WizardDriver::visiblePage() const {
    ui::WizardPage* found = nullptr;
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* page = qobject_cast<ui::WizardPage*>(window); page && page->isVisible()) {
            found = page;
            ++count;
        }
    EXPECT_EQ(count, 1) << "pages on screen";
    return found;
}

void WizardDriver::click(int id) const {
    ui::WizardPage* page = visiblePage();
    ASSERT_NE(page, nullptr);
    auto* button = ui::control<QAbstractButton>(page, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    button->click();
}

void WizardDriver::selectDriveEntry(const QString& text) {
    auto* tree = ui::control<QTreeWidget>(drivePage_.get(), 1022);
    const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    tree->setCurrentItem(items.front());
}

void WizardDriver::settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

VolumeEntry machineVolume(const std::string& device, const std::string& fileSystem, const std::string& sizeText) {
    VolumeEntry v;
    v.fileSystem = fileSystem;
    v.displayName = device;
    v.volumeName = device;
    v.sizeText = sizeText;
    return v;
}
