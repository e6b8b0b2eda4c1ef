#include "ui/ScreenshotTour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/core/CTessmorApp.h"
#include "ui/CQuarvellAboutDlg.h"
#include "ui/CXHtmlTree.h"
#include "ui/RawFileListModel.h"
#include "ui/RawRecoveryDialog.h"
#include "ui/RawSettingDlg.h"
#include "ui/advanceOptions.h"
#include "ui/PageServices.h"
#include "ui/PopulateDriveDlg.h"
#include "ui/ResultTreeModel.h"
#include "ui/VolumeScanDlg.h"
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

QModelIndex childNamed(ResultTreeModel* model, const QModelIndex& parent, const QString& name) {
    for (int row = 0; row < model->rowCount(parent); ++row)
        if (const QModelIndex child = model->index(row, 0, parent); child.data().toString() == name) return child;
    return {};
}

// Opens the demo disk's Photos/2019 folder (deleted pictures, shown in red) and lists its files;
// any other volume shows its root.
void openDeletedFolder(VolumeScanDlg* scan) {
    if (!scan || !scan->treeModel()) return;
    ResultTreeModel* model = scan->treeModel();
    CXHtmlTree* view = scan->treeView();
    QModelIndex at = model->index(0, 0);
    for (const QString& name : {QStringLiteral("Photos"), QStringLiteral("2019")}) {
        emit view->labelClicked(at);
        view->expand(at);
        const QModelIndex next = childNamed(model, at, name);
        if (!next.isValid()) break;
        at = next;
    }
    emit view->labelClicked(at);
    view->expand(at);
    view->setCurrentIndex(at);
    view->scrollTo(at, QAbstractItemView::PositionAtCenter);
}

}  // namespace

void ScreenshotTour::startIfAsked(WizardPage& firstPage) {
    const QString folder = qEnvironmentVariable("QUARVELL_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    PageServices::current().messageBox = [](QWidget*, const QString& text, const QString&, MsgIcon, MsgButtons buttons,
                                            const QString&) {
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
        // The scan page in Standard mode: the parse held by Pause, the tree with a folder open, the
        // file list, a search, then Back to the mode page.
        [] {
            click(1053);
            if (auto* scan = qobject_cast<VolumeScanDlg*>(visiblePage()); scan && scan->jobRunning())
                control<QAbstractButton>(scan, VolumeScanDlg::kPause)->click();
        },
        [this] {
            WizardPage* page = visiblePage();
            save(page, QStringLiteral("scan-progress.png"));
            click(VolumeScanDlg::kResume);
        },
        [this] {
            auto* scan = qobject_cast<VolumeScanDlg*>(visiblePage());
            if (scan && scan->busy()) {
                --nextStep_;  // wait for the parse to end
                return;
            }
            openDeletedFolder(scan);
            save(scan, QStringLiteral("scan-tree.png"));
        },
        [this] {
            auto* scan = qobject_cast<VolumeScanDlg*>(visiblePage());
            if (!scan) return;
            control<QLineEdit>(scan, VolumeScanDlg::kSearchEdit)->setText(QStringLiteral("pdf|txt|csv"));
            control<QAbstractButton>(scan, VolumeScanDlg::kSearch)->click();
        },
        [this] {
            auto* scan = qobject_cast<VolumeScanDlg*>(visiblePage());
            if (scan && scan->busy()) {
                --nextStep_;  // wait for the search to end
                return;
            }
            save(scan, QStringLiteral("scan-search.png"));
        },
        [] { click(VolumeScanDlg::kBack); },
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
    std::vector<std::function<void()>> more = advancedAndRawSteps();
    steps_.insert(steps_.end() - 1, more.begin(), more.end());
}

bool ScreenshotTour::waitFor(const std::function<bool()>& ready) {
    if (ready() || ++waits_ > 150) {
        waits_ = 0;
        return true;
    }
    --nextStep_;
    return false;
}

std::vector<std::function<void()>> ScreenshotTour::advancedAndRawSteps() {
    // From the drive page: the disk, its volume list, then a volume's advanced road.
    auto openVolumeList = [this] {
        return std::vector<std::function<void()>>{
            [this] {
                auto* tree = firstPage_.findChild<QTreeWidget*>(QStringLiteral("1022"));
                QTreeWidgetItem* drives = tree ? tree->topLevelItem(1) : nullptr;
                if (!drives || drives->childCount() == 0) return;
                QTreeWidgetItem* disk = drives->child(0);
                for (int i = 0; i < drives->childCount(); ++i)
                    if (drives->child(i)->text(0).endsWith(QLatin1String(".img"))) disk = drives->child(i);
                tree->setCurrentItem(disk);
                click(1003);
            },
            [this] {
                WizardPage* page = visiblePage();
                auto* tree = firstPage_.findChild<QTreeWidget*>(QStringLiteral("1022"));
                if (tree && tree->currentItem() && imageHasGpt(tree->currentItem()->text(0)))
                    if (auto* gpt = control<QAbstractButton>(page, 1253); gpt && !gpt->isChecked()) gpt->click();
                click(1229);
            },
        };
    };
    auto advancedRoad = [this](const QString& fileSystem, const QString& picture, bool scanToo) {
        std::vector<std::function<void()>> steps{
            [fileSystem] {
                WizardPage* page = visiblePage();
                auto* list = control<QTableWidget>(page, 1031);
                if (!list) return;
                for (int row = 0; row < list->rowCount(); ++row)
                    if (list->item(row, 1) && list->item(row, 1)->text().compare(fileSystem, Qt::CaseInsensitive) == 0)
                        list->selectRow(row);
                click(1046);
            },
            [] {
                if (auto* advanced = control<QAbstractButton>(visiblePage(), 1048); advanced && !advanced->isHidden()) {
                    advanced->click();
                    click(1053);
                }
            },
            [this, picture] {
                auto* page = qobject_cast<advanceOptions*>(visiblePage());
                if (!waitFor([page] { return !page || page->searchDone(); })) return;
                if (page) save(page, picture);
            },
        };
        if (scanToo) {
            steps.push_back([] {
                if (qobject_cast<advanceOptions*>(visiblePage())) click(1067);
            });
            steps.push_back([this] {
                auto* page = qobject_cast<VolumeScanDlg*>(visiblePage());
                if (!waitFor([page] { return !page || !page->busy(); })) return;
                if (!page) return;
                if (auto* tree = page->treeView()) {
                    const QModelIndex root = page->treeModel()->index(0, 0);
                    tree->expand(root);
                    tree->setCurrentIndex(root);
                }
                save(page, QStringLiteral("advanced-options-scan.png"));
                click(1057);
            });
        }
        steps.push_back([] {
            if (qobject_cast<advanceOptions*>(visiblePage())) click(1051);
        });
        steps.push_back([] { click(1057); });  // the mode page's Back: the volume list again
        return steps;
    };

    std::vector<std::function<void()>> steps = openVolumeList();
    for (auto& step : advancedRoad(QStringLiteral("FAT32"), QStringLiteral("advanced-options-fat32.png"), true))
        steps.push_back(std::move(step));
    for (auto& step : advancedRoad(QStringLiteral("NTFS"), QStringLiteral("advanced-options-ntfs.png"), false))
        steps.push_back(std::move(step));

    // The raw road: the whole disk as a custom range treated as "RAW".
    steps.push_back([] {
        WizardPage* page = visiblePage();
        auto* box = control<QCheckBox>(page, 1131);
        auto* treatAs = control<QComboBox>(page, 1152);
        if (!box || !treatAs || !page->app().reader) return;
        box->setChecked(true);
        treatAs->setCurrentText(QStringLiteral("RAW"));
        control<QLineEdit>(page, 1146)->setText(QStringLiteral("0"));
        control<QLineEdit>(page, 1149)->setText(QString::number(page->app().reader->mediumLength / 512 - 1));
        click(1046);
    });
    steps.push_back([this] {
        if (auto* page = qobject_cast<RawRecoveryDialog*>(visiblePage())) save(page, QStringLiteral("raw-start.png"));
        click(1238);
    });
    steps.push_back([this] {
        auto* page = qobject_cast<RawRecoveryDialog*>(visiblePage());
        if (!waitFor([page] { return !page || !page->jobRunning(); })) return;
        if (!page) return;
        ResultTreeModel* model = page->treeModel();
        const QModelIndex top = model->index(0, 0);
        // The category with the most finds, opened, with its files in the list.
        QModelIndex best;
        int most = -1;
        for (int r = 0; r < model->rowCount(top); ++r) {
            const QModelIndex c = model->index(r, 0, top);
            if (model->rowCount(c) > most) most = model->rowCount(c), best = c;
        }
        if (best.isValid()) {
            page->treeView()->expand(best);
            page->treeView()->setCurrentIndex(best);
            page->listModel()->showChildrenOf(model->tree(), model->itemAt(best));
            if (model->rowCount(best) > 0) model->setData(model->index(0, 0, best), Qt::Checked, Qt::CheckStateRole);
        }
        save(page, QStringLiteral("raw-finds.png"));
    });
    steps.push_back([this] {
        WizardPage* page = visiblePage();
        RawSettingDlg editor(page);
        control<QLineEdit>(&editor, RawSettingDlg::kExtension)->setText(QStringLiteral("png"));
        control<QLineEdit>(&editor, RawSettingDlg::kHeader)->setText(QStringLiteral("0x89,0x50,0x4E,0x47"));
        control<QLineEdit>(&editor, RawSettingDlg::kFooter)
            ->setText(QStringLiteral("0x49,0x45,0x4E,0x44,0xAE,0x42,0x60,0x82"));
        control<QLineEdit>(&editor, RawSettingDlg::kCategory)->setText(QStringLiteral("Pictures"));
        editor.show();
        editor.adjustSize();
        save(&editor, QStringLiteral("raw-signature-editor.png"));
    });
    steps.push_back([] { click(1229); });
    return steps;
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
