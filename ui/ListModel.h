// TListModel: the list's rows as a table model over TAnalysisList. The rows'
// texts live in the analysis list; the model keeps only the display order
// (one index per shown row), so 20,000 rows cost their texts and nothing per
// cell. A filter keeps the rows whose texts contain every typed word.
#pragma once

#include "core/AnalysisList.h"
#include "core/ListOrder.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <set>
#include <vector>

class TListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TListModel(const TAnalysisList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // New columns (captions and tags in list order); the rows are dropped
    // from view until the list is filled again.
    void setColumns(const QStringList& captions, const std::vector<int>& tags);
    // The analysis list was emptied.
    void clearRows();
    // Shows the rows the analysis list got at its end since the last call,
    // in one insertion (a view lays out all rows per insertion, so rows
    // arriving one by one are handed over in batches).
    void syncRows();
    // The texts of the shown rows changed (a check filled a column, a verify
    // pass found damage): views repaint, tooltips included.
    void refreshRows();
    // Sorts the display order with the row comparison of the list; rows
    // arriving later are appended unsorted.
    void sortRows(const TSortState& state, const std::set<int>& numeric);
    // Shows only the rows whose texts contain every word of text (ignoring
    // case); an empty text shows every row.
    void setFilter(const QString& text);
    QString filter() const { return filterText_; }
    // The analysis list's index of the row shown at display position r.
    int listRow(int r) const { return order_[r]; }
    // Rows of the analysis list, shown or not.
    int totalRows() const { return static_cast<int>(list_.Rows().size()); }

    // The row shown at display position r.
    const TListRow& rowAt(int r) const;
    QString text(int r, int column) const;
    QStringList captions() const { return captions_; }
    const std::vector<int>& tags() const { return tags_; }

    // Background of even rows (counted in the current order).
    static const QColor kBandColour;

private:
    bool Matches(const TListRow& row) const;
    void SortOrder();

    const TAnalysisList& list_;
    std::vector<int> order_;   // display position -> row of the analysis list
    std::size_t synced_ = 0;   // rows of the analysis list looked at so far
    QStringList captions_;
    std::vector<int> tags_;
    QString filterText_;
    QStringList words_;        // lower-cased
    bool sorted_ = false;
    TSortState sortState_;
    std::set<int> numeric_;
};
