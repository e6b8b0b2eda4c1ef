#include "ui/AppLinks.h"

#include "common/InstallPaths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>
#include <QtGlobal>

#ifndef QUARVELL_MANUAL_URL
#define QUARVELL_MANUAL_URL ""
#endif
#ifndef QUARVELL_WEBPAGE_URL
#define QUARVELL_WEBPAGE_URL ""
#endif

namespace quarvell::ui {

namespace {

QString fromEnvironment(const char* name, const QString& fallback) {
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariable(name) : fallback;
}

// The README beside the program, or where a package puts it (../share/doc/quarvell/ from the
// program's own folder); empty when neither is there.
QString installedManual() {
    const std::string path = helpPath();
    return path.empty() ? QString() : QUrl::fromLocalFile(QString::fromStdString(path)).toString();
}

}  // namespace

AppLinks AppLinks::configured() {
    AppLinks links;
    QString built = QString::fromUtf8(QUARVELL_MANUAL_URL);
    if (built.isEmpty()) built = installedManual();
    links.manual = fromEnvironment("QUARVELL_MANUAL_URL", built);
    links.webPage = fromEnvironment("QUARVELL_WEBPAGE_URL", QString::fromUtf8(QUARVELL_WEBPAGE_URL));
    return links;
}

}  // namespace quarvell::ui
