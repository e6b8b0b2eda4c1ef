#include "ui/CCheckListCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "ui/FileListModel.h"

namespace quarvell::ui {

CheckBoxHeader::CheckBoxHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
}

void CheckBoxHeader::setChecked(bool checked) {
    if (checked_ == checked) return;
    checked_ = checked;
    viewport()->update();
}

QRect CheckBoxHeader::boxRect() const {
    QStyleOptionButton option;
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    const int x = sectionViewportPosition(logicalIndex(0)) + 4;
    return QRect(x, (height() - indicator.height()) / 2, indicator.width(), indicator.height());
}

void CheckBoxHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (logicalIndex != 0) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // The caption moves right of the box.
    const QRect box = boxRect();
    painter->save();
    QHeaderView::paintSection(painter, rect.adjusted(box.width() + 6, 0, 0, 0), logicalIndex);
    painter->restore();
    QStyleOptionButton option;
    option.rect = QRect(rect.left() + 4, box.top(), box.width(), box.height());
    option.state = QStyle::State_Enabled | (checked_ ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, this);
}

void CheckBoxHeader::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && logicalIndexAt(event->position().toPoint()) == 0) {
        emit boxClicked();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

CCheckListCtrl::CCheckListCtrl(QWidget* parent) : QTreeView(parent), header_(new CheckBoxHeader(this)) {
    setHeader(header_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAlternatingRowColors(true);
}

void CCheckListCtrl::setListModel(FileListModel* model) {
    setModel(model);
    const int widths[] = {80, 90, 90, 90, 80, 70};
    for (int c = 0; c < 6; ++c) setColumnWidth(c, widths[c] + (c == 0 ? 120 : 30));
    connect(header_, &CheckBoxHeader::boxClicked, model, &FileListModel::toggleHeader);
    connect(model, &FileListModel::headerCheckChanged, header_, &CheckBoxHeader::setChecked);
}

}  // namespace quarvell::ui
