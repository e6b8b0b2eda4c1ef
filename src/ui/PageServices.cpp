#include "ui/PageServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>

namespace quarvell::ui {

namespace {

QMessageBox::Icon toQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::Warning: return QMessageBox::Warning;
        case MsgIcon::Error: return QMessageBox::Critical;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

MsgResult desktopMessageBox(QWidget* owner, const QString& text, const QString& caption, MsgIcon icon,
                            MsgButtons buttons, const QString& detail) {
    QMessageBox box(toQt(icon), caption, text,
                    buttons == MsgButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    if (!detail.isEmpty()) box.setInformativeText(detail);
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    const int answer = box.exec();
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

}  // namespace

PageServices PageServices::desktop() {
    PageServices s;
    s.messageBox = desktopMessageBox;
    s.openUrl = [](const QUrl& address) { return QDesktopServices::openUrl(address); };
    s.exitApplication = [](int code) { QCoreApplication::exit(code); };
    return s;
}

PageServices& PageServices::current() {
    static PageServices services = desktop();
    return services;
}

MsgResult showMessage(QWidget* owner, const QString& text, MsgIcon icon, MsgButtons buttons, const QString& detail) {
    return PageServices::current().messageBox(owner, text, QString::fromUtf8(kCaption), icon, buttons, detail);
}

}  // namespace quarvell::ui
