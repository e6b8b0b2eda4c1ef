#pragma once
// The file list beside the result tree as a Qt model over the core's FileList: the six columns,
// each row's own check box, and the state of the box in the first column's header (ticked when
// no row is unticked).
#include <QAbstractTableModel>
#include <functional>

#include "scan/FileList.h"

namespace quarvell::ui {

class FileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(FileList& list, QObject* parent = nullptr);

    // Around any change of the rows made outside the model (the core's browser, a new search).
    void beginChange() { beginResetModel(); }
    void endChange();
    // Appends search hits.
    void append(std::vector<FileListRow> rows);

    // A click on a row's box, whose box showed `wasChecked`; set by the page to the core's
    // list-to-tree link. Without it the row only flips its own box.
    std::function<void(size_t row, bool wasChecked)> onRowCheckClicked;

    bool headerChecked() const;
    // A click on the first column's header box: every row takes the header's new state.
    void toggleHeader();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void headerCheckChanged(bool checked);

private:
    void recount();

    FileList& list_;
    size_t unticked_ = 0;
};

}  // namespace quarvell::ui
