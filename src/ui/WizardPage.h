#pragma once
// What every page of the wizard shares: the common title, the banner, the Help menu, the hidden
// EXIT button, the close question, the discarded Enter and Esc keys, and the moves forward and
// back. A page is created by the page before it, which hides itself; Back destroys the page and
// shows its creator again, exactly as it was left.
#include <QDialog>
#include <string>

#include "common/UiSink.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quarvell {
class CTessmorApp;
}

namespace quarvell::ui {

class WizardPage : public QDialog {
    Q_OBJECT
public:
    // creator: the page this one was opened from (null for the drive page).
    WizardPage(CTessmorApp& app, WizardPage* creator, int resourceId, const QString& heading);

    CTessmorApp& app() const { return app_; }
    WizardPage* creator() const { return creator_; }
    int resourceId() const { return resourceId_; }

    // Shows `next` (created with this page as its creator), hides this page, then lets `next`
    // begin its work.
    void goForward(WizardPage* next);

protected:
    // Runs once the page is on screen (a scan that starts with the page starts here).
    virtual void begin() {}
    // Runs before EXIT (or Yes to the close question) ends the program: a page with workers
    // asks them to stop and says so in its status line.
    virtual void stopForExit() {}

    QVBoxLayout* content() const { return content_; }
    // A button on the right of the bottom row, in the order added.
    QPushButton* addNavigationButton(int id, const QString& text, const QString& icon);
    QPushButton* addBackButton(int id);
    QPushButton* addNextButton(int id);
    MsgResult message(const QString& text, MsgIcon icon = MsgIcon::Information,
                      MsgButtons buttons = MsgButtons::Ok, const QString& detail = QString());
    void goBack();

    // The program's command line as a shell would take it, for the reports of its saves.
    static std::string commandLine();
    // Shows a save's status text in label with its report's outcome after it; a report that
    // could not be written is said in a warning box too (the files are saved all the same).
    void showSaveStatus(QLabel* label, QString text, const QString& report, const QString& reportProblem);

    void closeEvent(QCloseEvent* event) override;

private:
    void buildHelpMenu(QHBoxLayout* row);
    void openAddress(const QString& address);

    CTessmorApp& app_;
    WizardPage* creator_;
    int resourceId_;
    QVBoxLayout* content_ = nullptr;
    QHBoxLayout* navigation_ = nullptr;
};

// Gives a control its numeric id as its object name, so pages and tests address it by that id.
template <typename T>
T* named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// The control of a page addressed by its numeric id.
template <typename T>
T* control(const QWidget* page, int id) {
    return page->findChild<T*>(QString::number(id));
}

}  // namespace quarvell::ui
