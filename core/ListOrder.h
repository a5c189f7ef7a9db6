// Ordering of the list rows when a column header is clicked.
#pragma once

#include "core/Columns.h"

#include <set>
#include <string>
#include <vector>

struct TSortState {
    int Column = 0;          // list index of the column last clicked
    bool Descending = false;
};

// A header click on list column c: a click on the current sort column flips
// ascending to descending; any other click sorts ascending.
void ListViewColumnClick(TSortState& state, int column);

// List indexes of the shown numeric columns (Size, Sample Rate, Channels,
// Bits Per Sample, Ratio, Bitrate): their keys are zero-padded to 10 characters.
std::set<int> NumericColumns(const TColumnLayout& layout);

// The sort key of a row for list column c (texts in list-column order).
std::string SortKey(const std::vector<std::string>& rowTexts, int column, const std::set<int>& numeric);

// Locale-aware, case-insensitive comparison of two texts (UTF-8) under the
// user's collation (LC_COLLATE): -1, 0 or +1.
int CompareTextIgnoreCase(const std::string& a, const std::string& b);

// -1, 0 or +1 for rows A and B under the sort state; rows with equal keys are equal.
int ListViewCompare(const std::vector<std::string>& a, const std::vector<std::string>& b, const TSortState& state,
                    const std::set<int>& numeric);

// Caches the folded collation key of a text, so sorting many rows folds and
// transforms each key once instead of at every comparison.
std::string CollationKey(const std::string& text);
