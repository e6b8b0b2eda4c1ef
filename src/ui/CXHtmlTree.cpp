#include "ui/CXHtmlTree.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace quarvell::ui {

CXHtmlTree::CXHtmlTree(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QRect CXHtmlTree::checkBoxRect(const QModelIndex& index) const {
    if (!index.isValid() || !index.data(Qt::CheckStateRole).isValid()) return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.index = index;
    option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    if (!index.data(Qt::DecorationRole).isNull()) option.features |= QStyleOptionViewItem::HasDecoration;
    option.text = index.data(Qt::DisplayRole).toString();
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

QPoint CXHtmlTree::labelPoint(const QModelIndex& index) const {
    const QRect item = visualRect(index);
    const QRect box = checkBoxRect(index);
    const int left = box.isValid() ? box.right() + 4 : item.left();
    return QPoint(std::min(item.right() - 1, left + 28), item.center().y());
}

void CXHtmlTree::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    QTreeView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || !index.isValid()) return;
    const QPoint at = event->position().toPoint();
    if (!visualRect(index).contains(at) || checkBoxRect(index).contains(at)) return;
    setCurrentIndex(index);
    emit labelClicked(index);
}

}  // namespace quarvell::ui
