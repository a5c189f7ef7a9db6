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

// A caption line, then one line per row; fields separated by tabs (TsvField,
// lines end with LF) or, for CSV, by commas (CsvField, lines end with CR LF).
void WriteSeparated(std::ostream& out, const std::vector<std::string>& captions,
                    const std::vector<const TListRow*>& rows, bool csv);

// One JSON object with an item's values (the shape sondaro-cli writes);
// error, when not empty, is why the file could not be scanned.
void WriteJsonItem(std::ostream& out, const TAudioItem& item, const std::string& error);
// The ", \"losslessCheck\": {...}" member of a checked item: verdict, text,
// cutoff and top in Hz, the levels in dB per bin (a full-scale sine is 0),
// holes, upsampling, bits and clipping.
void WriteJsonOriginCheck(std::ostream& out, const TOriginCheck& check);

// One object per row with the item's values, the files that could not be
// read, then the totals and the four status texts (those of ShowTotals for
// these rows).
void WriteJson(std::ostream& out, const std::vector<const TListRow*>& rows, const std::vector<TFailure>& failures,
               const TAnalysisTotals& totals, const TStatusTexts& status);

// The totals and status texts of a subset of rows, as ShowTotals gives them.
TAnalysisTotals TotalsOf(const std::vector<const TListRow*>& rows, TStatusTexts& status);

// The shortest text that reads back as value ("." as the decimal point), or null.
std::string JsonNumber(double value);
std::string JsonEscape(const std::string& text);
// A field for CSV: quoted when it holds a comma, a quote, a control or a byte
// that is not UTF-8; controls other than CR, LF and tab, and such bytes, are
// shown as in VisibleText.
std::string CsvField(const std::string& text);
// A field for TSV: tab, line breaks and backslash as backslash escapes,
// other controls and stray bytes as in VisibleText.
std::string TsvField(const std::string& text);
// Text for a terminal: C0 controls and DEL as "\x1b", C1 controls as
// "\u009b", bytes that are not UTF-8 as "\xff"; everything else unchanged.
std::string VisibleText(const std::string& text);
