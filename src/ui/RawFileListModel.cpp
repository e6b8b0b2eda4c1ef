#include "ui/RawFileListModel.h"

namespace quarvell::ui {

void RawFileListModel::showChildrenOf(MemoryTree* tree, TreeItem parent) {
    beginResetModel();
    tree_ = tree;
    rows_.clear();
    if (tree_ && parent != kNoItem && tree_->isValid(parent))
        for (TreeItem c = tree_->firstChild(parent); c != kNoItem; c = tree_->nextSibling(c)) {
            const int image = tree_->itemImage(c);
            if (image == kIconFolder || image == kIconCategory || tree_->hasChildren(c)) continue;
            rows_.push_back(c);
        }
    endResetModel();
}

void RawFileListModel::checksChanged() {
    if (!rows_.empty()) emit dataChanged(index(0), index(int(rows_.size()) - 1), {Qt::CheckStateRole});
}

int RawFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant RawFileListModel::data(const QModelIndex& index, int role) const {
    const TreeItem item = itemAt(index.row());
    if (!tree_ || item == kNoItem || !tree_->isValid(item)) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(tree_->itemText(item));
    if (role == Qt::CheckStateRole) return tree_->getCheck(item) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool RawFileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const TreeItem item = itemAt(index.row());
    if (role != Qt::CheckStateRole || !tree_ || item == kNoItem || !tree_->isValid(item)) return false;
    // The tree's own check: the category's and the top item's boxes follow it.
    tree_->setCheck(item, Qt::CheckState(value.toInt()) == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags RawFileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

QVariant RawFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return QStringLiteral("FILES LIST ");
    return {};
}

}  // namespace quarvell::ui
