#include "ui/ScreenshotTour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "ui/CQuarvellAboutDlg.h"
#include "ui/PageServices.h"
#include "ui/PopulateDriveDlg.h"
#include "ui/WizardPage.h"

namespace quarvell::ui {

namespace {

constexpr int kStepDelayMs = 400;

bool imageHasGpt(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(512)) return false;
    return file.read(8) == "EFI PART";
}

// The first row whose file system is not "Unknown".
int firstKnownRow(QTableWidget* list) {
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->item(row, 1) && list->item(row, 1)->text().compare(QLatin1String("Unknown"), Qt::CaseInsensitive) != 0)
            return row;
    return list->rowCount() > 0 ? 0 : -1;
}

}  // namespace

void ScreenshotTour::startIfAsked(WizardPage& firstPage) {
    const QString folder = qEnvironmentVariable("QUARVELL_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    PageServices::current().messageBox = [](QWidget*, const QString& text, const QString&, MsgIcon, MsgButtons buttons) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    };
    auto* tour = new ScreenshotTour(firstPage, folder);
    QTimer::singleShot(kStepDelayMs, tour, [tour] { tour->runNext(); });
}

ScreenshotTour::ScreenshotTour(WizardPage& firstPage, const QString& folder)
    : QObject(&firstPage), folder_(folder), firstPage_(firstPage) {
    folder_.mkpath(QStringLiteral("."));
    steps_ = {
        [this] { save(&firstPage_, QStringLiteral("drive-page.png")); },
        [] { click(1003); },
        [this] {
            WizardPage* page = visiblePage();
            auto* tree = firstPage_.findChild<QTreeWidget*>(QStringLiteral("1022"));
            if (tree && tree->currentItem() && imageHasGpt(tree->currentItem()->text(0)))
                control<QAbstractButton>(page, 1253)->click();
            save(page, QStringLiteral("drive-parsing-modes.png"));
        },
        [] { click(1229); },
        [this] {
            WizardPage* page = visiblePage();
            auto* list = control<QTableWidget>(page, 1031);
            if (int row = firstKnownRow(list); row >= 0) list->selectRow(row);
            save(page, QStringLiteral("volume-list.png"));
        },
        [] { click(1046); },
        [this] {
            WizardPage* page = visiblePage();
            auto* advanced = control<QAbstractButton>(page, 1048);
            if (advanced && !advanced->isHidden()) advanced->click();
            save(page, QStringLiteral("recovery-mode.png"));
        },
        [] { click(1057); },
        [] { click(1036); },
        [] {
            WizardPage* page = visiblePage();
            control<QAbstractButton>(page, 1324)->click();
            control<QAbstractButton>(page, 1229)->click();
        },
        [this] {
            auto* page = qobject_cast<PopulateDriveDlg*>(visiblePage());
            if (page && page->scanRunning()) {
                --nextStep_;  // wait for the advanced scan to end
                return;
            }
            save(page, QStringLiteral("advanced-scan.png"));
        },
        [] { click(1036); },
        [] { click(1051); },
        [this] {
            // The volume-information page, when this machine lists a volume.
            auto* tree = firstPage_.findChild<QTreeWidget*>(QStringLiteral("1022"));
            QTreeWidgetItem* volumes = tree ? tree->topLevelItem(0) : nullptr;
            if (!volumes || volumes->childCount() == 0) return;
            tree->setCurrentItem(volumes->child(0));
            click(1003);
        },
        [this] {
            WizardPage* page = visiblePage();
            if (page == &firstPage_) return;
            save(page, QStringLiteral("volume-information.png"));
            click(1037);
        },
        [this] {
            CQuarvellAboutDlg about(&firstPage_);
            about.show();
            save(&about, QStringLiteral("about.png"));
        },
        [] { PageServices::current().exitApplication(0); },
    };
}

void ScreenshotTour::runNext() {
    if (nextStep_ >= steps_.size()) return;
    steps_[nextStep_++]();
    QTimer::singleShot(kStepDelayMs, this, [this] { runNext(); });
}

void ScreenshotTour::save(QWidget* window, const QString& name) {
    if (!window) return;
    const QString path = folder_.filePath(name);
    if (!window->grab().save(path)) std::fprintf(stderr, "could not write %s\n", path.toUtf8().constData());
}

WizardPage* ScreenshotTour::visiblePage() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* page = qobject_cast<WizardPage*>(window); page && page->isVisible()) return page;
    return nullptr;
}

void ScreenshotTour::click(int id) {
    if (WizardPage* page = visiblePage())
        if (auto* button = control<QAbstractButton>(page, id)) button->click();
}

}  // namespace quarvell::ui
