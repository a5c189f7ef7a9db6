#include "ui/ListModel.h"

#include <QColor>

#include <algorithm>
#include <numeric>

const QColor TListModel::kBandColour = QColor(0xE3, 0xEE, 0xFB);

TListModel::TListModel(const TAnalysisList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

int TListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : captions_.size(); }

const TListRow& TListModel::rowAt(int r) const { return list_.Rows()[order_[r]]; }

QString TListModel::text(int r, int column) const {
    if (r < 0 || r >= rowCount() || column < 0) return {};
    const std::vector<std::string>& texts = rowAt(r).Texts;
    // Rows made before the columns were rebuilt may have fewer texts.
    if (static_cast<std::size_t>(column) >= texts.size()) return {};
    return QString::fromStdString(texts[column]);
}

QVariant TListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return text(index.row(), index.column());
    if (role == Qt::BackgroundRole && index.row() % 2 == 0) return kBandColour;
    return {};
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < captions_.size())
        return captions_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TListModel::setColumns(const QStringList& captions) {
    beginResetModel();
    captions_ = captions;
    endResetModel();
}

void TListModel::clearRows() {
    beginResetModel();
    order_.clear();
    endResetModel();
}

void TListModel::syncRows() {
    const int first = static_cast<int>(order_.size());
    const int end = static_cast<int>(list_.Rows().size());
    if (first >= end) return;
    beginInsertRows({}, first, end - 1);
    for (int row = first; row < end; ++row) order_.push_back(row);
    endInsertRows();
}

void TListModel::sortRows(const TSortState& state, const std::set<int>& numeric) {
    const std::vector<TListRow>& rows = list_.Rows();
    // One collation key per row, computed once: comparing the precomputed
    // byte keys orders the rows exactly as the locale-aware comparison does.
    std::vector<std::string> keys(rows.size());
    for (int r : order_) keys[r] = CollationKey(SortKey(rows[r].Texts, state.Column, numeric));

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<int> oldRows;
    oldRows.reserve(persistent.size());
    for (const QModelIndex& index : persistent) oldRows.push_back(order_[index.row()]);

    // Equal keys keep their present order: there is no second key.
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        return state.Descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });

    std::vector<int> position(rows.size());
    for (std::size_t p = 0; p < order_.size(); ++p) position[order_[p]] = static_cast<int>(p);
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (std::size_t i = 0; i < oldRows.size(); ++i)
        moved.push_back(index(position[oldRows[i]], persistent[static_cast<int>(i)].column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
