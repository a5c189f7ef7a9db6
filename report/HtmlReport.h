// The HTML report of the list: a summary table with the totals and a table of
// all rows with the columns shown, saved as "!Sdro Analysis.html" in the
// scanned folder. Texts are UTF-8 here; the file is UTF-16LE with a BOM and
// CR LF line ends. Used by the desktop program and by sondaro-cli --html.
#pragma once

#include "core/AudioItem.h"
#include "core/Totals.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kReportFileName = "!Sdro Analysis.html";

struct TReportColumn {
    std::string Caption;
    int32_t Width = 0;   // pixels
};

struct TReportInput {
    std::string Folder;                                  // the scanned folder as the tree gives it
    std::vector<TReportColumn> Columns;                  // shown columns, display order
    std::vector<const std::vector<std::string>*> Rows;   // row texts in list order, one per column
    TAnalysisTotals Totals;                              // as last computed by ShowTotals
    // The rows' items in the same order (may be left empty): what is known
    // beyond the columns becomes each row's title, shown when the pointer
    // rests on the row.
    std::vector<const TAudioItem*> Items;
};

// What an item knows beyond its columns, in one line: the mark its encoder
// name rests on, the encoder's settings and the exact length in samples
// ("Encoder evidence: LAME tag. Settings: -V 2 ... Exact length: 88200
// samples."); empty when there is none of them.
std::string ItemDetailsText(const TAudioItem& item);

// "&", "<", ">" and the double quote as character references; everything
// else unchanged. Every text taken from the list or the folder path goes
// through it, so a file named "<b>&.mp3" cannot break or inject into the page.
std::string HtmlEscape(const std::string& text);

// The report's lines, without line ends.
std::vector<std::string> HtmlReportLines(const TReportInput& input);

// The bytes of the file: FF FE, then every line as UTF-16LE followed by CR LF.
std::string EncodeReport(const std::vector<std::string>& lines);

// The report's file name in folder.
std::string ReportPath(const std::string& folder);

// Writes the report to destination (by default ReportPath(input.Folder)),
// replacing an earlier one, and returns its path. Raises EFCreateError
// ("Cannot create file "%s". %s") when the file cannot be created or written,
// or when the name is taken by something other than a regular file (a
// planted link or FIFO is neither followed nor opened).
std::string WriteHtmlReport(const TReportInput& input, const std::string& destination = {});
