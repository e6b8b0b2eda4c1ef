#pragma once
// The result tree as a Qt item model over the core's MemoryTree. The model answers the views
// from its own record of each opened folder's children; after the core has changed a folder's
// children (lazy expansion), `refreshChildren` brings that record up to date with the proper
// removal and insertion notifications. Check boxes are the tree's three-state check model:
// toggling one runs the core's setCheck, and every item whose box that changed is repainted.
#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <unordered_map>
#include <vector>

#include "controls/MemoryTree.h"

namespace quarvell::ui {

class ResultTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit ResultTreeModel(QObject* parent = nullptr);
    ~ResultTreeModel() override;

    // Shows `tree` (null: nothing). The model never reads a tree while it is detached, so a
    // worker may fill it meanwhile.
    void attach(MemoryTree* tree);
    MemoryTree* tree() const { return tree_; }

    TreeItem itemAt(const QModelIndex& index) const;
    QModelIndex indexOf(TreeItem item) const;
    // Re-reads the children of `item` after the core changed them.
    void refreshChildren(TreeItem item);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const std::vector<TreeItem>& childrenOf(TreeItem item) const;
    std::vector<TreeItem> readChildren(TreeItem item) const;
    void checkChanged(TreeItem item);
    void repaintSubtree(TreeItem item);
    QIcon iconFor(TreeItem item) const;

    MemoryTree* tree_ = nullptr;
    mutable std::unordered_map<TreeItem, std::vector<TreeItem>> children_;
    mutable std::unordered_map<TreeItem, int> rowOf_;
    mutable QHash<QString, QIcon> fileIcons_;
    QIcon folderIcon_;
    QIcon fileIcon_;
};

}  // namespace quarvell::ui
