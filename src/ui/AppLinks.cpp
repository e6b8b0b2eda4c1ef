#include "ui/AppLinks.h"

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

}  // namespace

AppLinks AppLinks::configured() {
    AppLinks links;
    links.manual = fromEnvironment("QUARVELL_MANUAL_URL", QString::fromUtf8(QUARVELL_MANUAL_URL));
    links.webPage = fromEnvironment("QUARVELL_WEBPAGE_URL", QString::fromUtf8(QUARVELL_WEBPAGE_URL));
    return links;
}

}  // namespace quarvell::ui
