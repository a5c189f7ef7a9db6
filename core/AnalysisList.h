// TAnalysisList: what the list shows — the item list, one row of cell texts
// per item, and the running totals — with the reader set that fills it.
// The desktop program and the command-line tool both drive the analysis
// through it; it knows nothing of any window system.
#pragma once

#include "core/Analysis.h"
#include "core/Columns.h"
#include "core/Totals.h"

#include <memory>
#include <string>
#include <vector>

struct TListRow {
    std::vector<std::string> Texts;   // one text per list column, in list-column order (empty when
                                      // the list keeps no texts)
    TAudioItem* Item = nullptr;       // owned by the item list
};

// A file that could not be analysed: its path and the error text, which
// names the file (see FailureOf).
struct TFailure {
    std::string Path;
    std::string Message;
};

// The failure of path for the reason an error gave. The message is
// "<path>: <reason>" unless the reason already quotes the path (the open
// error does), so that every message says which file it is about.
TFailure FailureOf(const std::string& path, const std::string& reason);

class TAnalysisList {
public:
    explicit TAnalysisList(std::vector<int> columnTags = {});

    // Analyses one file and appends its item, row and totals. Returns the new
    // row (an empty file too: its health says so). Raises the open error or a reader's
    // error (nothing is appended then).
    const TListRow* AnalyseFile(const std::string& root, const std::string& fullPath);

    // Appends an item analysed elsewhere (by a worker with its own readers):
    // its row with the current columns, and its totals. Returns the new row.
    const TListRow* AppendItem(std::unique_ptr<TAudioItem> item);

    // Sets the health of row's item (a verify pass run elsewhere) and makes
    // the row's texts again.
    void SetHealth(std::size_t row, THealth health);
    // Makes the texts of a row again from its item (after a value was added
    // to the item, such as the lossless check).
    void RefreshRow(std::size_t row);

    // Empties the rows, the items and the totals (start of a folder scan).
    void Clear();

    // Verify mode: every file analysed later also gets the verify pass
    // (core/Verify.h) before its row is made.
    void SetVerify(bool verify) { verify_ = verify; }

    // Whether rows keep their cell texts (the default, for a view that shows
    // them). A list written out once at the end makes each row's texts while
    // writing (RowTexts) and keeps only the items, which halves its memory.
    void SetKeepTexts(bool keep) { keepTexts_ = keep; }
    bool KeepsTexts() const { return keepTexts_; }
    // The list columns (tags in list order); rows made later use them.
    void SetColumns(std::vector<int> columnTags) { columnTags_ = std::move(columnTags); }
    const std::vector<int>& Columns() const { return columnTags_; }

    const std::vector<TListRow>& Rows() const { return rows_; }
    const std::vector<std::unique_ptr<TAudioItem>>& Items() const { return items_; }
    TAnalysisTotals& Totals() { return totals_; }
    const TAnalysisTotals& Totals() const { return totals_; }

    // The four status texts for the rows so far (updates the stored averages).
    TStatusTexts ShowTotals() { return ::ShowTotals(totals_, rows_.size()); }

    TFormatReaders& Readers() { return *readers_; }

private:
    std::unique_ptr<TFormatReaders> readers_;
    std::vector<std::unique_ptr<TAudioItem>> items_;
    std::vector<TListRow> rows_;
    TAnalysisTotals totals_;
    std::vector<int> columnTags_;
    bool verify_ = false;
    bool keepTexts_ = true;
};
