// The outputs of sondaro-cli: an aligned table, TSV, CSV and JSON.
#pragma once

#include "CliOptions.h"
#include "core/AnalysisList.h"
#include "report/ListText.h"

#include <ostream>

// Writes the rows of list (its columns are options.Columns) and, for text and
// JSON, the totals. statusTexts are the four texts ShowTotals produced.
void WriteOutput(std::ostream& out, OutputFormat format, const TAnalysisList& list, const TStatusTexts& statusTexts);

