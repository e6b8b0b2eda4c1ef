// quarvell: the desktop wizard over the recovery core.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/InstanceGuard.h"
#include "common/InstallPaths.h"
#include "app/core/CTessmorApp.h"
#include "ui/PageServices.h"
#include "ui/Physical_DriveDialog.h"
#include "ui/ScreenshotTour.h"

#ifndef QUARVELL_VERSION
#define QUARVELL_VERSION "unknown"
#endif

namespace {

struct StartOptions {
    std::string guardName = quarvell::kInstanceGuardName;
    std::vector<std::string> images;
    bool help = false;
    bool version = false;
    bool paths = false;
};

StartOptions parseOptions(int argc, char** argv) {
    StartOptions options;
    if (const char* name = std::getenv("QUARVELL_INSTANCE_GUARD"); name && *name) options.guardName = name;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (arg == "--version" || arg == "-V")
            options.version = true;
        else if (arg == "--paths")
            options.paths = true;
        else if (arg == "--instance-guard" && i + 1 < argc)
            options.guardName = argv[++i];
        else
            options.images.push_back(arg);
    }
    return options;
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value) return true;
    return false;
}

std::string imagesText(const std::vector<std::string>& images) {
    std::string text;
    for (const auto& image : images) text += " " + image;
    return text.empty() ? " IMAGE_OR_DEVICE" : text;
}

// Message boxes written to stderr and answered at once ("Ok", or "No" to a question), for runs
// that nobody watches, such as the tests that start the program twice.
quarvell::MsgResult messageToStderr(QWidget*, const QString& text, const QString& caption, quarvell::MsgIcon,
                                    quarvell::MsgButtons buttons, const QString& detail) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    if (!detail.isEmpty()) std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), detail.toUtf8().constData());
    return buttons == quarvell::MsgButtons::YesNo ? quarvell::MsgResult::No : quarvell::MsgResult::Ok;
}

}  // namespace

int main(int argc, char** argv) {
    const StartOptions options = parseOptions(argc, argv);
    if (options.help) {
        std::printf(
            "usage: quarvell [--instance-guard NAME] [IMAGE...]\n"
            "       quarvell --version | --paths\n"
            "Starts the recovery wizard. Disk images named here are listed with the drives.\n"
            "--paths prints where the signature catalogue and the help were found.\n");
        return 0;
    }
    if (options.version) {
        std::printf("quarvell %s\n", QUARVELL_VERSION);
        return 0;
    }
    if (options.paths) {
        // Without a display too: tells whether an installed copy finds what ships with it.
        const std::string catalogue = quarvell::defaultCataloguePath();
        const std::string help = quarvell::helpPath();
        std::printf("catalogue: %s\nhelp: %s\n", catalogue.c_str(), help.empty() ? "(not found)" : help.c_str());
        return help.empty() ? 1 : 0;
    }
    if (!hasDisplay()) {
        std::fprintf(stderr,
                     "quarvell: no display (DISPLAY is not set), so the wizard cannot be shown.\n"
                     "The same volume listing from the command line:\n  quarvell-cli partitions%s\n",
                     imagesText(options.images).c_str());
        return 2;
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("QuarvellOstrelleDemoV1"));
    QApplication::setApplicationName(QStringLiteral("quarvell"));
    QApplication::setWindowIcon(QIcon(":/icons/quarvell.png"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (qEnvironmentVariableIsSet("QUARVELL_MESSAGES_TO_STDERR"))
        quarvell::ui::PageServices::current().messageBox = messageToStderr;

    quarvell::InstanceGuard guard(options.guardName);
    if (!guard.acquired()) {
        quarvell::ui::showMessage(nullptr, QStringLiteral("Another instance of application is already running"));
        return 1;
    }

    quarvell::CTessmorApp state;
    state.rootName = "ROOT";
    state.isVolumeSelected = false;
    state.driveSectorCount = 0;
    int exitCode = 0;
    {
        quarvell::ui::Physical_DriveDialog drivePage(state, quarvell::ui::DriveSources::system(), options.images);
        state.driveFormatted = false;
        state.searchText.clear();
        drivePage.show();
        quarvell::ui::ScreenshotTour::startIfAsked(drivePage);
        exitCode = application.exec();
    }
    return exitCode;
}
