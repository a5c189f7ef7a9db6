#include "CliOutput.h"

#include "DisplayWidth.h"

#include "core/Columns.h"
#include "core/FolderScan.h"
#include "io/Paths.h"
#include "io/Text.h"
#include "report/ListText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

bool RightAligned(int tag) {
    return tag == kColSize || tag == kColLength || tag == kColSampleRate || tag == kColChannels ||
           tag == kColBitsPerSample || tag == kColRatio || tag == kColBitrate;
}

std::vector<std::string> Captions(const std::vector<int>& tags) {
    std::vector<std::string> captions;
    for (int tag : tags) captions.push_back(ColumnDefaultOfTag(tag).Caption);
    return captions;
}

// The cells of one row in the chosen number style; visible: controls shown
// as escapes (the text table). Made row by row while writing, so that the
// output never holds a second copy of every row's texts.
std::vector<std::string> RowCells(const TAnalysisList& list, const TListRow& row, NumberStyle numbers,
                                  bool visible) {
    std::vector<std::string> cells;
    if (numbers == NumberStyle::List) {
        cells = list.KeepsTexts() ? row.Texts : RowTexts(*row.Item, list.Columns());
    } else {
        for (int tag : list.Columns()) cells.push_back(RawCellText(*row.Item, tag));
    }
    if (visible)
        for (std::string& text : cells) text = VisibleText(text);
    return cells;
}

void WriteText(std::ostream& out, const TAnalysisList& list, NumberStyle numbers, const TStatusTexts& status) {
    const std::vector<int>& tags = list.Columns();
    const std::vector<std::string> captions = Captions(tags);
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions) widths.push_back(DisplayWidth(caption));
    for (const TListRow& row : list.Rows()) {
        const std::vector<std::string> cells = RowCells(list, row, numbers, true);
        for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(cells[c]));
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::size_t pad = widths[c] - DisplayWidth(cells[c]);
            const bool last = c + 1 == cells.size();
            if (c > 0) text += "  ";
            if (RightAligned(tags[c])) text += std::string(pad, ' ') + cells[c];
            else text += cells[c] + (last ? std::string() : std::string(pad, ' '));
        }
        out << TrimRight(text) << '\n';
    };
    line(captions);
    for (const TListRow& row : list.Rows()) line(RowCells(list, row, numbers, true));
    out << '\n';
    for (int panel : {kPanelFileCount, kPanelSize, kPanelDuration, kPanelBitrate}) out << status[panel] << '\n';
}

void WriteSeparated(std::ostream& out, const TAnalysisList& list, NumberStyle numbers, bool csv) {
    const auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out << (csv ? ',' : '\t');
            out << (csv ? CsvField(cells[c]) : TsvField(cells[c]));
        }
        out << (csv ? "\r\n" : "\n");
    };
    line(Captions(list.Columns()));
    for (const TListRow& row : list.Rows()) line(RowCells(list, row, numbers, false));
}

// A fixed-point number with "." as the decimal point, whatever the locale.
std::string PlainFixed(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0");
}

void WriteJson(std::ostream& out, const TAnalysisList& list, const std::vector<TCliEntry>& entries,
               const TStatusTexts& status) {
    out << "{\n  \"files\": [";
    bool first = true;
    for (const TCliEntry& entry : entries) {
        if (entry.IsFolder) continue;
        out << (first ? "\n" : ",\n");
        first = false;
        if (entry.Row != TCliEntry::kNoRow) {
            WriteJsonItem(out, *list.Rows()[entry.Row].Item, entry.Error);
            continue;
        }
        // A file that gave no row (it could not be opened, or is empty):
        // its path fields, zero values and no encoder text.
        TAudioItem item;
        item.FullPath = entry.Path;
        item.Folder = FolderOf(entry.Path);
        item.RelativePath = RelativePathOf(entry.Root, item.Folder);
        item.FileType = FileTypeOf(entry.Path);
        item.EncoderInfo.clear();
        WriteJsonItem(out, item, entry.Error);
    }
    out << (first ? "],\n" : "\n  ],\n");
    out << "  \"errors\": [";
    first = true;
    for (const TCliEntry& entry : entries) {
        if (entry.Error.empty()) continue;
        out << (first ? "\n" : ",\n") << "    {\"path\": \"" << JsonEscape(entry.Path)
            << "\", \"folder\": " << (entry.IsFolder ? "true" : "false") << ", \"error\": \""
            << JsonEscape(entry.Error) << "\"}";
        first = false;
    }
    out << (first ? "],\n" : "\n  ],\n");
    const TAnalysisTotals& t = list.Totals();
    out << "  \"totals\": {\"FileCount\": " << list.Rows().size() << ", \"TotalSize\": " << t.TotalSize
        << ", \"TotalDuration\": " << JsonNumber(t.TotalDuration) << ", \"AverageBitRate\": " << t.AverageBitRate
        << ", \"WeightedBitRate\": " << t.BitRateDurationSum << ",\n    \"StatusTexts\": [";
    for (std::size_t k = 0; k < status.size(); ++k) out << (k ? ", " : "") << '"' << JsonEscape(status[k]) << '"';
    out << "]}\n}\n";
}

} // namespace

std::string RawCellText(const TAudioItem& item, int tag) {
    switch (tag) {
    case kColSize: return std::to_string(item.FileSize);
    case kColLength: return PlainFixed(item.Duration, 3);
    case kColSampleRate: return std::to_string(item.SampleRate);
    case kColRatio: return PlainFixed(item.Ratio, 2);
    case kColBitrate: return std::to_string(item.BitRate);
    default: return CellText(item, tag);
    }
}

std::string QuotedPath(const std::string& path) { return "\"" + path + "\""; }

std::string Sentence(std::string text) {
    text = TrimRight(text);
    if (text.empty() || (text.back() != '.' && text.back() != '!' && text.back() != '?')) text += '.';
    return text;
}

std::string FailureSentence(const std::string& path, const std::string& errorText) {
    if (errorText.find(path) != std::string::npos) return Sentence(errorText);
    return Sentence("Cannot read " + QuotedPath(path) + ". " + errorText);
}

std::string NotRecognisedSentence(const TAudioItem& item) {
    const std::string extension = ExtensionOf(item.FullPath);
    if (extension.size() < 2 || !IsSupportedExtension(extension.substr(1)))
        return "File " + QuotedPath(item.FullPath) + " could not be scanned: Sondaro reads no files with the " +
               (extension.size() < 2 ? std::string("empty extension") : "extension \"" + extension + "\"") + ".";
    return "File " + QuotedPath(item.FullPath) + " could not be scanned: it was not recognised as a valid " +
           item.FileType + " file.";
}

void WriteOutput(std::ostream& out, const CliOptions& options, const TAnalysisList& list,
                 const std::vector<TCliEntry>& entries, const TStatusTexts& statusTexts) {
    switch (options.Format) {
    case OutputFormat::Text:
        // File names and tag texts may hold controls: shown visibly, so that
        // they can neither act on the terminal nor break a row.
        WriteText(out, list, options.Numbers, statusTexts);
        break;
    case OutputFormat::Tsv: WriteSeparated(out, list, options.Numbers, false); break;
    case OutputFormat::Csv: WriteSeparated(out, list, options.Numbers, true); break;
    case OutputFormat::Json: WriteJson(out, list, entries, statusTexts); break;
    }
}
