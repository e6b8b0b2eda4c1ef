// Times the scan page on one large folder: parses IMAGE (a bare volume of file system LABEL) on the
// page, then clicks the folder's label (the file list fills) and expands it in the tree (the tree
// shows its children), each until the view has painted. Prints one line per step in seconds:
//   parse S / list ROWS S / expand ROWS S
// usage: bench_scan_folder IMAGE LABEL FOLDER_NAME
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

#include "app/core/CTessmorApp.h"
#include "partition/VolumeEntry.h"
#include "ui/CCheckListCtrl.h"
#include "ui/CXHtmlTree.h"
#include "ui/DriveSources.h"
#include "ui/FileListModel.h"
#include "ui/PageServices.h"
#include "ui/Physical_DriveDialog.h"
#include "ui/ResultTreeModel.h"
#include "ui/VolumeScanDlg.h"

using namespace quarvell;

namespace {

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets the view lay out and paint what the step changed.
void paint(QWidget* view) {
    view->repaint();
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IMAGE LABEL FOLDER_NAME\n", argv[0]);
        return 2;
    }
    const std::string image = argv[1];
    const QString folderName = QString::fromLocal8Bit(argv[3]);

    // Boxes ("Scanning processing done...") are answered at once: only the page's own work is timed.
    ui::PageServices::current().messageBox = [](QWidget*, const QString&, const QString&, MsgIcon,
                                                MsgButtons buttons, const QString&) {
        return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    };
    CTessmorApp state;
    ui::DriveSources sources;
    sources.drives = [] { return std::vector<DriveInfo>{}; };
    sources.volumes = [] { return std::vector<VolumeEntry>{}; };
    sources.readable = [](const std::string&) { return true; };
    ui::Physical_DriveDialog drivePage(state, sources, {image});
    drivePage.show();
    if (!state.openReader(image)) {
        std::fprintf(stderr, "cannot open %s\n", image.c_str());
        return 1;
    }
    VolumeEntry volume;
    volume.fileSystem = argv[2];
    volume.displayName = volume.volumeName = image;
    volume.sectorCount = uint64_t(QFileInfo(QString::fromStdString(image)).size()) / 512;
    volume.sizeText = std::to_string(volume.sectorCount / 2048) + "  MB";

    QElapsedTimer timer;
    timer.start();
    auto* page = new ui::VolumeScanDlg(state, &drivePage, volume, 1);
    drivePage.goForward(page);
    if (!waitFor([page] { return !page->busy() && !page->jobRunning(); }, 600000) || !page->treeModel()) {
        std::fprintf(stderr, "the parse did not end\n");
        return 1;
    }
    std::printf("parse %.3f\n", timer.nsecsElapsed() / 1e9);

    ui::ResultTreeModel* model = page->treeModel();
    ui::CXHtmlTree* tree = page->treeView();
    const QModelIndex root = model->index(0, 0);
    emit tree->labelClicked(root);
    tree->expand(root);
    QModelIndex folder;
    for (int row = 0; row < model->rowCount(root); ++row)
        if (model->index(row, 0, root).data().toString() == folderName) folder = model->index(row, 0, root);
    if (!folder.isValid()) {
        std::fprintf(stderr, "no folder %s under the root\n", argv[3]);
        return 1;
    }
    paint(page);

    timer.restart();
    emit tree->labelClicked(folder);
    paint(page->listView());
    std::printf("list %d %.3f\n", page->listModel()->rowCount(), timer.nsecsElapsed() / 1e9);

    timer.restart();
    tree->expand(folder);
    paint(tree);
    std::printf("expand %d %.3f\n", model->rowCount(folder), timer.nsecsElapsed() / 1e9);
    return 0;
}
