#pragma once
// A pair of small arrow buttons beside a sector edit. The numbers go beyond what a spin box holds,
// so the edit keeps the text and these buttons only say which way to step.
#include <QWidget>

namespace quarvell::ui {

class SectorSpinButtons final : public QWidget {
    Q_OBJECT
public:
    explicit SectorSpinButtons(QWidget* parent);

signals:
    void stepped(bool up);
};

}  // namespace quarvell::ui
