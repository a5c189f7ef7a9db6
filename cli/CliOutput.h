// The outputs of sondaro-cli: an aligned table, TSV, CSV and JSON, and the
// sentences that name what could not be read.
#pragma once

#include "CliOptions.h"
#include "core/AnalysisList.h"
#include "report/ListText.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// One file or folder met on the way, in the order met: a listed row, or a
// file or folder that gave none. Error is the sentence that names what went
// wrong; empty when the file was read and recognised.
struct TCliEntry {
    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
    std::size_t Row = kNoRow;   // index into the list's rows
    std::string Root;           // scan root (or playlist) the path belongs to; empty
    std::string Path;           // for a row without an error (its item has the path)
    bool IsFolder = false;
    std::string Error;
};

// Writes the rows of list (its columns are options.Columns) and, for text and
// JSON, the totals. statusTexts are the four texts ShowTotals produced. JSON
// also lists the files that gave no row and every error.
void WriteOutput(std::ostream& out, const CliOptions& options, const TAnalysisList& list,
                 const std::vector<TCliEntry>& entries, const TStatusTexts& statusTexts);

// A cell as a plain number for --numbers raw (Size in bytes, Length in
// seconds with three decimals, Sample Rate in Hz, Ratio in percent, Bitrate
// in kbit/s, "." as the decimal point); other columns as CellText.
std::string RawCellText(const TAudioItem& item, int tag);

// A path in double quotes, for the sentences on standard error.
std::string QuotedPath(const std::string& path);

// text with a full stop appended unless it ends with one (or "!" or "?").
std::string Sentence(std::string text);

// The sentence for an error raised while analysing path: the error's own text
// when it names the path, else "Cannot read "<path>". <text>".
std::string FailureSentence(const std::string& path, const std::string& errorText);

// The sentence for a file that gave a row but no reader recognised it.
std::string NotRecognisedSentence(const TAudioItem& item);

