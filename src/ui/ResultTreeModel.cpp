#include "ui/ResultTreeModel.h"

#include <QColor>
#include <QFileIconProvider>
#include <QMimeDatabase>

#include "scan/LazyTree.h"

namespace quarvell::ui {

ResultTreeModel::ResultTreeModel(QObject* parent) : QAbstractItemModel(parent) {
    QFileIconProvider provider;
    folderIcon_ = provider.icon(QAbstractFileIconProvider::Folder);
    fileIcon_ = provider.icon(QAbstractFileIconProvider::File);
}

ResultTreeModel::~ResultTreeModel() {
    if (tree_) tree_->onCheckChanged = nullptr;
}

void ResultTreeModel::attach(MemoryTree* tree) {
    beginResetModel();
    if (tree_) tree_->onCheckChanged = nullptr;
    tree_ = tree;
    children_.clear();
    rowOf_.clear();
    if (tree_) tree_->onCheckChanged = [this](TreeItem item, bool) { checkChanged(item); };
    endResetModel();
}

std::vector<TreeItem> ResultTreeModel::readChildren(TreeItem item) const {
    std::vector<TreeItem> out;
    if (!tree_) return out;
    for (TreeItem c = item == kNoItem ? tree_->rootItem() : tree_->firstChild(item); c != kNoItem;
         c = tree_->nextSibling(c))
        out.push_back(c);
    return out;
}

const std::vector<TreeItem>& ResultTreeModel::childrenOf(TreeItem item) const {
    auto it = children_.find(item);
    if (it != children_.end()) return it->second;
    std::vector<TreeItem> list = readChildren(item);
    for (size_t i = 0; i < list.size(); ++i) rowOf_[list[i]] = int(i);
    return children_.emplace(item, std::move(list)).first->second;
}

TreeItem ResultTreeModel::itemAt(const QModelIndex& index) const {
    return index.isValid() ? TreeItem(index.internalId()) : kNoItem;
}

QModelIndex ResultTreeModel::indexOf(TreeItem item) const {
    if (!tree_ || item == kNoItem || !tree_->isValid(item)) return {};
    const TreeItem parent = tree_->parentItem(item);
    if (parent != kNoItem && !indexOf(parent).isValid()) return {};
    childrenOf(parent);
    auto it = rowOf_.find(item);
    if (it == rowOf_.end()) return {};
    return createIndex(it->second, 0, quintptr(item));
}

void ResultTreeModel::refreshChildren(TreeItem item) {
    if (!tree_) return;
    const QModelIndex parent = indexOf(item);
    if (item != kNoItem && !parent.isValid()) return;
    auto it = children_.find(item);
    if (it == children_.end()) {
        // Never shown: the views learn of the children when they ask. Its box may have changed.
        checkChanged(item);
        return;
    }
    std::vector<TreeItem> now = readChildren(item);
    if (now == it->second) {
        checkChanged(item);
        return;
    }
    if (!it->second.empty()) {
        beginRemoveRows(parent, 0, int(it->second.size()) - 1);
        for (TreeItem old : it->second) {
            rowOf_.erase(old);
            children_.erase(old);
        }
        it->second.clear();
        endRemoveRows();
    }
    if (!now.empty()) {
        beginInsertRows(parent, 0, int(now.size()) - 1);
        for (size_t i = 0; i < now.size(); ++i) rowOf_[now[i]] = int(i);
        children_[item] = std::move(now);
        endInsertRows();
    }
    // Inserting and deleting items changes the counts behind the boxes of the item and above.
    checkChanged(item);
}

QModelIndex ResultTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!tree_ || column != 0 || row < 0) return {};
    const std::vector<TreeItem>& list = childrenOf(itemAt(parent));
    if (size_t(row) >= list.size()) return {};
    return createIndex(row, 0, quintptr(list[size_t(row)]));
}

QModelIndex ResultTreeModel::parent(const QModelIndex& child) const {
    if (!tree_ || !child.isValid()) return {};
    return indexOf(tree_->parentItem(itemAt(child)));
}

int ResultTreeModel::rowCount(const QModelIndex& parent) const {
    if (!tree_ || parent.column() > 0) return 0;
    return int(childrenOf(itemAt(parent)).size());
}

int ResultTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool ResultTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!tree_) return false;
    if (!parent.isValid()) return tree_->rootItem() != kNoItem;
    return !childrenOf(itemAt(parent)).empty();
}

QIcon ResultTreeModel::iconFor(TreeItem item) const {
    switch (tree_->itemImage(item)) {
        case kIconFolder:
        case kIconCategory: return folderIcon_;
        case kIconFile: break;
        default: return {};
    }
    // Looked up by the name alone, as the file need not exist: only its extension matters.
    const QString name = QString::fromStdString(tree_->itemText(item));
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot >= 0 ? name.mid(dot + 1).toLower() : QString();
    auto it = fileIcons_.find(suffix);
    if (it != fileIcons_.end()) return *it;
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fileIcon_));
    fileIcons_.insert(suffix, icon);
    return icon;
}

QVariant ResultTreeModel::data(const QModelIndex& index, int role) const {
    if (!tree_ || !index.isValid()) return {};
    const TreeItem item = itemAt(index);
    if (!tree_->isValid(item)) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return QString::fromStdString(tree_->itemText(item));
        case Qt::DecorationRole: return iconFor(item);
        case Qt::CheckStateRole:
            if (!tree_->checkBoxes) return {};
            switch (tree_->stateImage(item) & 3) {
                case kStateTicked: return Qt::Checked;
                case kStatePartly: return Qt::PartiallyChecked;
                default: return Qt::Unchecked;
            }
        case Qt::ForegroundRole: {
            const uint32_t rgb = tree_->textColor(item);
            if (rgb == kColorDefault) return {};
            return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
        }
        default: return {};
    }
}

bool ResultTreeModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (!tree_ || role != Qt::CheckStateRole || !index.isValid()) return false;
    const TreeItem item = itemAt(index);
    const XHTMLTREEDATA* rec = tree_->record(item);
    if (!rec || !rec->enabled || rec->separator) return false;
    // A click flips the item's own flag; a partly ticked folder therefore becomes ticked.
    tree_->setCheck(item, !rec->checked);
    return true;
}

Qt::ItemFlags ResultTreeModel::flags(const QModelIndex& index) const {
    if (!tree_ || !index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const XHTMLTREEDATA* rec = tree_->record(itemAt(index));
    if (tree_->checkBoxes && rec && rec->enabled && !rec->separator) f |= Qt::ItemIsUserCheckable;
    return f;
}

void ResultTreeModel::repaintSubtree(TreeItem item) {
    auto it = children_.find(item);
    if (it == children_.end() || it->second.empty()) return;
    const QModelIndex parent = indexOf(item);
    if (item != kNoItem && !parent.isValid()) return;
    emit dataChanged(index(0, 0, parent), index(int(it->second.size()) - 1, 0, parent), {Qt::CheckStateRole});
    for (TreeItem c : it->second) repaintSubtree(c);
}

void ResultTreeModel::checkChanged(TreeItem item) {
    if (!tree_ || item == kNoItem) return;
    for (TreeItem a = item; a != kNoItem; a = tree_->parentItem(a)) {
        const QModelIndex i = indexOf(a);
        if (i.isValid()) emit dataChanged(i, i, {Qt::CheckStateRole});
    }
    repaintSubtree(item);
}

}  // namespace quarvell::ui
