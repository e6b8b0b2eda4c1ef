#pragma once
// The addresses the Help menu and the close question open. Kept here and nowhere else: the build
// may set QUARVELL_MANUAL_URL and QUARVELL_WEBPAGE_URL, and the environment variables of the same
// names override both at run time. An empty address means "not configured".
#include <QString>

namespace quarvell::ui {

struct AppLinks {
    QString manual;   // "Help"
    QString webPage;  // "Software Webpage", and after "Yes" to the close question

    static AppLinks configured();
};

}  // namespace quarvell::ui
