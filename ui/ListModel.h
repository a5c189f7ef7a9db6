// TListModel: the list's rows as a table model over TAnalysisList. The rows'
// texts live in the analysis list; the model keeps only the display order
// (one index per row), so 10,000 rows cost their texts and nothing per cell.
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

    // New column captions (list order); the rows are dropped from view until
    // the list is filled again.
    void setColumns(const QStringList& captions);
    // The analysis list was emptied.
    void clearRows();
    // Shows the rows the analysis list got at its end since the last call,
    // in one insertion (a view lays out all rows per insertion, so rows
    // arriving one by one are handed over in batches).
    void syncRows();
    // Sorts the display order with the row comparison of the list.
    void sortRows(const TSortState& state, const std::set<int>& numeric);

    // The row shown at display position r.
    const TListRow& rowAt(int r) const;
    QString text(int r, int column) const;
    QStringList captions() const { return captions_; }

    // Background of even rows (counted in the current order).
    static const QColor kBandColour;

private:
    const TAnalysisList& list_;
    std::vector<int> order_;   // display position -> row of the analysis list
    QStringList captions_;
};
