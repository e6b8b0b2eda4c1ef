#include "ui/WizardPage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "report/DfxmlReport.h"
#include "ui/AppLinks.h"
#include "ui/CQuarvellAboutDlg.h"
#include "ui/KeyDiscardFilter.h"
#include "ui/PageBanner.h"
#include "ui/PageServices.h"

namespace quarvell::ui {

namespace {

constexpr int kExitButton = 1;
constexpr int kHelpButton = 1326;
constexpr int kHelpMenu = 186;
constexpr int kHelpItem = 32771;
constexpr int kAboutItem = 32775;
constexpr int kWebPageItem = 32774;

}  // namespace

WizardPage::WizardPage(CTessmorApp& app, WizardPage* creator, int resourceId, const QString& heading)
    : QDialog(creator), app_(app), creator_(creator), resourceId_(resourceId) {
    KeyDiscardFilter::ensureInstalled();
    setObjectName(QString::number(resourceId));
    setWindowTitle(QString::fromUtf8(kCaption));
    setModal(false);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(new PageBanner(heading, this));

    auto* body = new QVBoxLayout;
    body->setContentsMargins(12, 12, 12, 12);
    outer->addLayout(body, 1);
    content_ = new QVBoxLayout;
    body->addLayout(content_, 1);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(12, 0, 12, 12);
    outer->addLayout(row);
    buildHelpMenu(row);
    row->addStretch(1);
    navigation_ = new QHBoxLayout;
    row->addLayout(navigation_);

    // The hidden EXIT button: ends the program at once, without a question.
    auto* exitButton = new QPushButton(QStringLiteral("EXIT"), this);
    exitButton->setObjectName(QString::number(kExitButton));
    exitButton->setAutoDefault(false);
    exitButton->hide();
    connect(exitButton, &QPushButton::clicked, this, [this] {
        stopForExit();
        PageServices::current().exitApplication(0);
    });
}

void WizardPage::buildHelpMenu(QHBoxLayout* row) {
    auto* help = new QToolButton(this);
    help->setObjectName(QString::number(kHelpButton));
    help->setText(QStringLiteral("Help"));
    help->setIcon(QIcon(":/icons/help.png"));
    help->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    help->setPopupMode(QToolButton::InstantPopup);

    auto* menu = new QMenu(help);
    menu->setObjectName(QString::number(kHelpMenu));
    const AppLinks links = AppLinks::configured();
    auto add = [&](int id, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::number(id));
        return action;
    };
    QAction* manual = add(kHelpItem, QStringLiteral("Help"));
    manual->setEnabled(!links.manual.isEmpty());
    connect(manual, &QAction::triggered, this, [this, links] { openAddress(links.manual); });
    connect(add(kAboutItem, QStringLiteral("About")), &QAction::triggered, this, [this] {
        CQuarvellAboutDlg about(this);
        about.exec();
    });
    QAction* web = add(kWebPageItem, QStringLiteral("Software Webpage"));
    web->setEnabled(!links.webPage.isEmpty());
    connect(web, &QAction::triggered, this, [this, links] { openAddress(links.webPage); });
    help->setMenu(menu);
    row->addWidget(help);
}

void WizardPage::openAddress(const QString& address) {
    if (!address.isEmpty()) PageServices::current().openUrl(QUrl::fromUserInput(address));
}

QPushButton* WizardPage::addNavigationButton(int id, const QString& text, const QString& icon) {
    auto* button = new QPushButton(QIcon(icon), text, this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    navigation_->addWidget(button);
    return button;
}

QPushButton* WizardPage::addBackButton(int id) {
    QPushButton* back = addNavigationButton(id, QStringLiteral("&Back"), QStringLiteral(":/icons/back.png"));
    connect(back, &QPushButton::clicked, this, &WizardPage::goBack);
    return back;
}

QPushButton* WizardPage::addNextButton(int id) {
    navigation_->addSpacing(16);  // Back and Next apart, so neither is pressed for the other
    QPushButton* next = addNavigationButton(id, QStringLiteral("&Next"), QStringLiteral(":/icons/next.png"));
    next->setLayoutDirection(Qt::RightToLeft);  // the arrow after the word
    return next;
}

MsgResult WizardPage::message(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& detail) {
    return showMessage(this, text, icon, buttons, detail);
}

// The next page takes the place of the one it replaces, at its position and size (at least the
// new page's own minimum), so the window does not jump on every Next and Back.
static void takePlace(QWidget* next, const QWidget* previous) {
    next->resize(previous->size().expandedTo(next->minimumSizeHint()));
    next->move(previous->pos());
}

void WizardPage::goForward(WizardPage* next) {
    if (isVisible()) takePlace(next, this);
    next->show();
    hide();
    next->begin();
}

void WizardPage::goBack() {
    if (creator_) {
        takePlace(creator_, this);
        creator_->show();
    }
    hide();
    deleteLater();
}

void WizardPage::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (message(QStringLiteral("Do you want to Close Application ?"), MsgIcon::Question, MsgButtons::YesNo) !=
        MsgResult::Yes)
        return;
    openAddress(AppLinks::configured().webPage);
    stopForExit();
    PageServices::current().exitApplication(0);
}

std::string WizardPage::commandLine() {
    std::vector<std::string> arguments;
    for (const QString& a : QCoreApplication::arguments()) arguments.push_back(a.toStdString());
    if (arguments.empty()) arguments.push_back("quarvell");
    return shellCommandLine(arguments);
}

void WizardPage::showSaveStatus(QLabel* label, QString text, const QString& report, const QString& reportProblem) {
    if (!report.isEmpty()) text += QStringLiteral("; DFXML report: %1").arg(report);
    if (!reportProblem.isEmpty()) text += QStringLiteral("; the DFXML report could not be written");
    label->setText(text);
    if (!reportProblem.isEmpty())
        message(QStringLiteral("The DFXML report could not be written: %1").arg(reportProblem), MsgIcon::Warning);
}

}  // namespace quarvell::ui
