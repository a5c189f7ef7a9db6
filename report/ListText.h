// The list as text for other programs: tab-separated (the clipboard), CSV
// and JSON. Shared by sondaro-cli's output and the desktop program's copy
// and export, so both write the same texts.
#pragma once

#include "core/AnalysisList.h"

#include <ostream>
#include <string>
#include <vector>

// The captions of the list columns with these tags, in order.
std::vector<std::string> ColumnCaptions(const std::vector<int>& columnTags);

// Pointers to all rows of list, in list order.
std::vector<const TListRow*> AllRows(const TAnalysisList& list);

// A caption line, then one line per row; fields separated by tabs (tabs and
// line breaks inside a text become spaces, lines end with LF) or, for CSV,
// by commas (RFC 4180 quoting, lines end with CR LF).
void WriteSeparated(std::ostream& out, const std::vector<std::string>& captions,
                    const std::vector<const TListRow*>& rows, bool csv);

// One object per row with the item's values, then the totals and the four
// status texts. The totals are those of ShowTotals for these rows.
void WriteJson(std::ostream& out, const std::vector<const TListRow*>& rows, const TAnalysisTotals& totals,
               const TStatusTexts& status);

// The totals and status texts of a subset of rows, as ShowTotals gives them.
TAnalysisTotals TotalsOf(const std::vector<const TListRow*>& rows, TStatusTexts& status);

std::string JsonEscape(const std::string& text);
std::string CsvField(const std::string& text);
std::string TsvField(const std::string& text);
