#pragma once
// The raw page's file list: the carved files under the selected category, one column, each row
// with the check box of its tree item. Rows are tree items; texts and checks are read from the
// tree when the view asks, so a category of any size fills the list at once.
#include <QAbstractListModel>
#include <vector>

#include "controls/MemoryTree.h"

namespace quarvell::ui {

class RawFileListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit RawFileListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    // Shows the children of `parent` that are not folders (null tree or kNoItem: nothing).
    void showChildrenOf(MemoryTree* tree, TreeItem parent);
    void clear() { showChildrenOf(nullptr, kNoItem); }
    TreeItem itemAt(int row) const { return row >= 0 && size_t(row) < rows_.size() ? rows_[size_t(row)] : kNoItem; }
    // The tree's checks changed: every row's box is read again.
    void checksChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    MemoryTree* tree_ = nullptr;
    std::vector<TreeItem> rows_;
};

}  // namespace quarvell::ui
