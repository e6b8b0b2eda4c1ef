#include "ui/KeyDiscardFilter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "ui/WizardPage.h"

namespace quarvell::ui {

void KeyDiscardFilter::ensureInstalled() {
    static KeyDiscardFilter* filter = nullptr;
    if (filter || !qApp) return;
    filter = new KeyDiscardFilter(qApp);
    qApp->installEventFilter(filter);
}

bool KeyDiscardFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
    return qobject_cast<WizardPage*>(static_cast<QWidget*>(watched)->window()) != nullptr;
}

}  // namespace quarvell::ui
