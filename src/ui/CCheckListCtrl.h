#pragma once
// The file list's widget: a report list with a check box on every row and one in the header of
// its first column, which ticks or unticks every row of the list.
#include <QHeaderView>
#include <QTreeView>

namespace quarvell::ui {

class FileListModel;

class CheckBoxHeader final : public QHeaderView {
    Q_OBJECT
public:
    explicit CheckBoxHeader(QWidget* parent = nullptr);
    bool isChecked() const { return checked_; }
    void setChecked(bool checked);
    // Where the box is drawn in the first section.
    QRect boxRect() const;

signals:
    void boxClicked();

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool checked_ = false;
};

class CCheckListCtrl final : public QTreeView {
    Q_OBJECT
public:
    explicit CCheckListCtrl(QWidget* parent = nullptr);
    void setListModel(FileListModel* model);
    CheckBoxHeader* checkHeader() const { return header_; }

private:
    CheckBoxHeader* header_;
};

}  // namespace quarvell::ui
