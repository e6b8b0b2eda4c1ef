#pragma once
// The result tree's widget: a tree view with a three-state check box on every item. A press of
// the left button on an item's label (not its box, not its expand button) selects the item and
// reports it as a label click; the box itself toggles through the model.
#include <QTreeView>

namespace quarvell::ui {

class CXHtmlTree final : public QTreeView {
    Q_OBJECT
public:
    explicit CXHtmlTree(QWidget* parent = nullptr);

    // Where the item's check box is drawn, in viewport coordinates.
    QRect checkBoxRect(const QModelIndex& index) const;
    // Where a click lands on the item's label.
    QPoint labelPoint(const QModelIndex& index) const;

signals:
    void labelClicked(const QModelIndex& index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace quarvell::ui
