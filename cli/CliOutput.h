// The outputs of sondaro-cli: an aligned table, TSV, CSV and JSON.
#pragma once

#include "CliOptions.h"
#include "core/AnalysisList.h"

#include <ostream>

// Writes the rows of list (its columns are options.Columns) and, for text and
// JSON, the totals. statusTexts are the four texts ShowTotals produced.
void WriteOutput(std::ostream& out, OutputFormat format, const TAnalysisList& list, const TStatusTexts& statusTexts);

std::string JsonEscape(const std::string& text);
// A field for CSV: quoted when it holds a comma, a quote, a control or a byte
// that is not UTF-8; controls other than CR, LF and tab, and such bytes, are
// shown as in VisibleText.
std::string CsvField(const std::string& text);
// Text for a terminal: C0 controls and DEL as "\x1b", C1 controls as
// "\u009b", bytes that are not UTF-8 as "\xff"; everything else unchanged.
std::string VisibleText(const std::string& text);
