#pragma once
// Swallows Enter and Esc pressed anywhere on a wizard page, so neither key closes a page, presses
// a button or ends the program. Boxes and menus opened from a page keep both keys.
#include <QObject>

namespace quarvell::ui {

class KeyDiscardFilter final : public QObject {
public:
    // Installs the one filter on the application (once).
    static void ensureInstalled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

}  // namespace quarvell::ui
