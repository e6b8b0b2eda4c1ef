#include "ui/FileListModel.h"

namespace quarvell::ui {

namespace {

const char* const kColumns[] = {"File(s) List", "Creation Time", "Access Time", "Modification Time", "Size",
                                "Attribute"};

}  // namespace

FileListModel::FileListModel(FileList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

void FileListModel::recount() {
    const bool before = headerChecked();
    unticked_ = 0;
    for (const FileListRow& r : list_.rows)
        if (!r.checked) ++unticked_;
    if (headerChecked() != before) emit headerCheckChanged(headerChecked());
}

void FileListModel::endChange() {
    endResetModel();
    recount();
    emit headerCheckChanged(headerChecked());
}

void FileListModel::append(std::vector<FileListRow> rows) {
    if (rows.empty()) return;
    const bool before = headerChecked();
    beginInsertRows({}, int(list_.rows.size()), int(list_.rows.size() + rows.size()) - 1);
    for (FileListRow& r : rows) {
        if (!r.checked) ++unticked_;
        list_.rows.push_back(std::move(r));
    }
    endInsertRows();
    if (headerChecked() != before) emit headerCheckChanged(headerChecked());
}

bool FileListModel::headerChecked() const { return !list_.rows.empty() && unticked_ == 0; }

void FileListModel::toggleHeader() {
    const bool now = !headerChecked();
    for (FileListRow& r : list_.rows) r.checked = now;
    unticked_ = now ? 0 : list_.rows.size();
    if (!list_.rows.empty())
        emit dataChanged(index(0, 0), index(int(list_.rows.size()) - 1, 0), {Qt::CheckStateRole});
    emit headerCheckChanged(headerChecked());
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(list_.rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 6; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= list_.rows.size()) return {};
    const FileListRow& r = list_.rows[size_t(index.row())];
    if (role == Qt::CheckStateRole && index.column() == 0) return r.checked ? Qt::Checked : Qt::Unchecked;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    if (role == Qt::ToolTipRole && index.column() == 0 && !r.texts.deletion.empty())
        return QString::fromStdString(r.name + "\nDeleted: " + r.texts.deletion);
    switch (index.column()) {
        case 0: return QString::fromStdString(r.name);
        case 1: return QString::fromStdString(r.texts.creation);
        case 2: return QString::fromStdString(r.texts.access);
        case 3: return QString::fromStdString(r.texts.modification);
        case 4: return QString::fromStdString(r.size);
        case 5: return QString::fromStdString(r.texts.attributes);
        default: return {};
    }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || size_t(index.row()) >= list_.rows.size()) return false;
    const size_t row = size_t(index.row());
    const bool was = list_.rows[row].checked;
    const bool before = headerChecked();
    if (onRowCheckClicked && !list_.showsSearchResults) onRowCheckClicked(row, was);
    list_.rows[row].checked = !was;  // search hits flip their own box and touch no tree item
    if (was) ++unticked_;
    else --unticked_;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    if (headerChecked() != before) emit headerCheckChanged(headerChecked());
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 6) return {};
    return QString::fromLatin1(kColumns[section]);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

}  // namespace quarvell::ui
