#pragma once
// What the pages ask of the desktop around them: message boxes (with, at times, a detail the box
// shows below its text), opening a web address, and ending the program. Tests put recorders in their place, so no test ever waits on a modal box.
#include <QString>
#include <QUrl>
#include <functional>

#include "common/UiSink.h"

class QWidget;

namespace quarvell::ui {

struct PageServices {
    std::function<MsgResult(QWidget* owner, const QString& text, const QString& caption, MsgIcon icon,
                            MsgButtons buttons, const QString& detail)>
        messageBox;
    std::function<bool(const QUrl& address)> openUrl;
    std::function<void(int exitCode)> exitApplication;

    // The services in use; the desktop ones until something replaces them.
    static PageServices& current();
    static PageServices desktop();
};

// A message box through the current services, under the common caption; a non-empty detail is
// shown below the text.
MsgResult showMessage(QWidget* owner, const QString& text, MsgIcon icon = MsgIcon::Information,
                      MsgButtons buttons = MsgButtons::Ok, const QString& detail = QString());

}  // namespace quarvell::ui
