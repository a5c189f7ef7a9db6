#include "ui/ListModel.h"

#include "core/Columns.h"

#include <QColor>

#include <algorithm>

const QColor TListModel::kBandColour = QColor(0xE3, 0xEE, 0xFB);

namespace {

// Numbers (and the playing time) read best right-aligned.
bool IsRightAligned(int tag) {
    return tag == kColSize || tag == kColLength || tag == kColSampleRate || tag == kColChannels ||
           tag == kColBitsPerSample || tag == kColRatio || tag == kColBitrate;
}

} // namespace

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
    switch (role) {
    case Qt::DisplayRole: return text(index.row(), index.column());
    case Qt::BackgroundRole:
        if (index.row() % 2 == 0) return kBandColour;
        return {};
    case Qt::TextAlignmentRole: {
        const int tag = index.column() < static_cast<int>(tags_.size()) ? tags_[index.column()] : -1;
        return QVariant::fromValue(Qt::AlignVCenter | (IsRightAligned(tag) ? Qt::AlignRight : Qt::AlignLeft));
    }
    default: return {};
    }
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < captions_.size()) {
        if (role == Qt::DisplayRole) return captions_[section];
        if (role == Qt::TextAlignmentRole) {
            const int tag = section < static_cast<int>(tags_.size()) ? tags_[section] : -1;
            return QVariant::fromValue(Qt::AlignVCenter | (IsRightAligned(tag) ? Qt::AlignRight : Qt::AlignLeft));
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TListModel::setColumns(const QStringList& captions, const std::vector<int>& tags) {
    beginResetModel();
    captions_ = captions;
    tags_ = tags;
    endResetModel();
}

void TListModel::refreshRows() {
    if (rowCount() > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void TListModel::clearRows() {
    beginResetModel();
    order_.clear();
    synced_ = 0;
    sorted_ = false;   // a new list shows its rows in scan order until a header is clicked
    endResetModel();
}

bool TListModel::Matches(const TListRow& row) const {
    if (words_.isEmpty()) return true;
    QString all;
    for (const std::string& text : row.Texts) {
        all += QString::fromStdString(text).toLower();
        all += QLatin1Char('\t');
    }
    return std::all_of(words_.begin(), words_.end(), [&](const QString& word) { return all.contains(word); });
}

void TListModel::syncRows() {
    const std::vector<TListRow>& rows = list_.Rows();
    std::vector<int> added;
    for (; synced_ < rows.size(); ++synced_)
        if (Matches(rows[synced_])) added.push_back(static_cast<int>(synced_));
    if (added.empty()) return;
    const int first = static_cast<int>(order_.size());
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    order_.insert(order_.end(), added.begin(), added.end());
    endInsertRows();
}

void TListModel::setFilter(const QString& text) {
    filterText_ = text;
    words_ = text.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    beginResetModel();
    order_.clear();
    const std::vector<TListRow>& rows = list_.Rows();
    for (std::size_t r = 0; r < synced_; ++r)
        if (Matches(rows[r])) order_.push_back(static_cast<int>(r));
    if (sorted_) SortOrder();
    endResetModel();
}

void TListModel::SortOrder() {
    const std::vector<TListRow>& rows = list_.Rows();
    // One collation key per row, computed once: comparing the precomputed
    // byte keys orders the rows exactly as the locale-aware comparison does.
    std::vector<std::string> keys(rows.size());
    for (int r : order_) keys[r] = CollationKey(SortKey(rows[r].Texts, sortState_.Column, numeric_));
    // Equal keys keep their present order: there is no second key.
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        return sortState_.Descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });
}

void TListModel::sortRows(const TSortState& state, const std::set<int>& numeric) {
    sorted_ = true;
    sortState_ = state;
    numeric_ = numeric;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<int> oldRows;
    oldRows.reserve(persistent.size());
    for (const QModelIndex& index : persistent) oldRows.push_back(order_[index.row()]);

    SortOrder();

    std::vector<int> position(list_.Rows().size());
    for (std::size_t p = 0; p < order_.size(); ++p) position[order_[p]] = static_cast<int>(p);
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (std::size_t i = 0; i < oldRows.size(); ++i)
        moved.push_back(index(position[oldRows[i]], persistent[static_cast<int>(i)].column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
