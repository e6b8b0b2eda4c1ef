#include "ui/SectorSpinButtons.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace quarvell::ui {

SectorSpinButtons::SectorSpinButtons(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto arrow = [&](Qt::ArrowType type, const QString& name, bool up) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setArrowType(type);
        button->setAutoRepeat(true);
        button->setFixedHeight(12);
        connect(button, &QToolButton::clicked, this, [this, up] { emit stepped(up); });
        layout->addWidget(button);
    };
    arrow(Qt::UpArrow, QStringLiteral("up"), true);
    arrow(Qt::DownArrow, QStringLiteral("down"), false);
}

}  // namespace quarvell::ui
