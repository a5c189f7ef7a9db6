#include "CliOutput.h"

#include "DisplayWidth.h"

#include "core/Columns.h"
#include "core/FolderScan.h"
#include "io/Paths.h"
#include "io/Text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

void AppendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "%s%0*x", prefix, digits, value);
    out += text;
}

// Walks text as UTF-8 and hands every piece to emit: a valid sequence with
// its code point, or a single byte that is not valid UTF-8 with the code
// point -1.
template <typename Emit>
void ForEachCodePoint(const std::string& text, Emit emit) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        bool ok = length > 0 && i + length <= text.size();
        long codePoint = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; ok && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (ok) {
            emit(std::string_view(text).substr(i, length), codePoint);
            i += length;
        } else {
            emit(std::string_view(text).substr(i, 1), -1L);
            i += 1;
        }
    }
}

// C0 controls, DEL and the C1 controls U+0080 to U+009F: what a terminal may
// act on instead of showing.
bool IsControl(long codePoint) {
    return (codePoint >= 0 && codePoint < 0x20) || (codePoint >= 0x7F && codePoint <= 0x9F);
}

// A control or a byte that is not UTF-8 as visible text: "\x1b" for a C0
// control or DEL, "\u009b" for a C1 control, "\xff" for a stray byte.
void AppendVisible(std::string& out, std::string_view piece, long codePoint) {
    if (codePoint < 0) AppendHex(out, "\\x", static_cast<unsigned char>(piece[0]), 2);
    else if (codePoint < 0x80) AppendHex(out, "\\x", static_cast<unsigned>(codePoint), 2);
    else AppendHex(out, "\\u", static_cast<unsigned>(codePoint), 4);
}

bool RightAligned(int tag) {
    return tag == kColSize || tag == kColLength || tag == kColSampleRate || tag == kColChannels ||
           tag == kColBitsPerSample || tag == kColRatio || tag == kColBitrate;
}

std::vector<std::string> Captions(const std::vector<int>& tags) {
    std::vector<std::string> captions;
    for (int tag : tags) captions.push_back(kColumnDefaults[tag].Caption);
    return captions;
}

// The cells of every row in the chosen number style.
std::vector<std::vector<std::string>> Cells(const TAnalysisList& list, NumberStyle numbers) {
    std::vector<std::vector<std::string>> cells;
    for (const TListRow& row : list.Rows()) {
        if (numbers == NumberStyle::List) {
            cells.push_back(row.Texts);
            continue;
        }
        std::vector<std::string> raw;
        for (int tag : list.Columns()) raw.push_back(RawCellText(*row.Item, tag));
        cells.push_back(std::move(raw));
    }
    return cells;
}

void WriteText(std::ostream& out, const TAnalysisList& list, const std::vector<std::vector<std::string>>& rows,
               const TStatusTexts& status) {
    const std::vector<int>& tags = list.Columns();
    const std::vector<std::string> captions = Captions(tags);
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions) widths.push_back(DisplayWidth(caption));
    for (const std::vector<std::string>& row : rows)
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
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
    for (const std::vector<std::string>& row : rows) line(row);
    out << '\n';
    for (int panel : {kPanelFileCount, kPanelSize, kPanelDuration, kPanelBitrate}) out << status[panel] << '\n';
}

// Backslash escapes, as TSV readers expect them: "\\t", "\\n", "\\r" and
// "\\\\"; other controls and stray bytes as in the text table.
std::string TsvField(const std::string& text) {
    std::string out;
    ForEachCodePoint(text, [&](std::string_view piece, long codePoint) {
        switch (codePoint) {
        case '\t': out += "\\t"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\\': out += "\\\\"; return;
        }
        if (codePoint < 0 || IsControl(codePoint)) AppendVisible(out, piece, codePoint);
        else out += piece;
    });
    return out;
}

void WriteSeparated(std::ostream& out, const TAnalysisList& list, const std::vector<std::vector<std::string>>& rows,
                    bool csv) {
    const auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out << (csv ? ',' : '\t');
            out << (csv ? CsvField(cells[c]) : TsvField(cells[c]));
        }
        out << (csv ? "\r\n" : "\n");
    };
    line(Captions(list.Columns()));
    for (const std::vector<std::string>& row : rows) line(row);
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);   // shortest exact form, "." always
    return std::string(text, result.ptr);
}

// A fixed-point number with "." as the decimal point, whatever the locale.
std::string PlainFixed(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0");
}

void WriteJsonItem(std::ostream& out, const TAudioItem& i, const std::string& error) {
    out << "    {\"Folder\": \"" << JsonEscape(i.Folder) << "\", \"RelativePath\": \"" << JsonEscape(i.RelativePath)
        << "\", \"FullPath\": \"" << JsonEscape(i.FullPath) << "\", \"FileName\": \""
        << JsonEscape(CellText(i, kColFileName)) << "\", \"FileType\": \"" << JsonEscape(i.FileType)
        << "\", \"FileSize\": " << i.FileSize << ", \"Duration\": " << JsonNumber(i.Duration)
        << ", \"SampleRate\": " << i.SampleRate << ", \"Channels\": " << i.Channels
        << ", \"BitsPerSample\": " << i.BitsPerSample << ", \"Ratio\": " << JsonNumber(i.Ratio)
        << ", \"BitRate\": " << i.BitRate << ", \"EncoderInfo\": \"" << JsonEscape(i.EncoderInfo)
        << "\", \"Health\": [";
    // A file that gave no row has no health to tell.
    const std::vector<std::string> health =
        i.Health.empty() && !error.empty() ? std::vector<std::string>{} : HealthTexts(i.Health);
    for (std::size_t k = 0; k < health.size(); ++k) out << (k ? ", " : "") << '"' << JsonEscape(health[k]) << '"';
    out << "], \"scanned\": " << (error.empty() ? "true" : "false");
    if (!error.empty()) out << ", \"error\": \"" << JsonEscape(error) << '"';
    out << '}';
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

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    // Texts from tags may hold bytes that are not UTF-8; JSON must be valid UTF-8.
    std::string valid;
    for (std::size_t i = 0; i < out.size();) {
        const auto lead = static_cast<unsigned char>(out[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        bool ok = length > 0 && i + length <= out.size();
        for (std::size_t k = 1; ok && k < length; ++k) ok = (static_cast<unsigned char>(out[i + k]) & 0xC0) == 0x80;
        if (ok) {
            valid.append(out, i, length);
            i += length;
        } else {
            valid += "\xEF\xBF\xBD";
            i += 1;
        }
    }
    return valid;
}

std::string VisibleText(const std::string& text) {
    std::string out;
    ForEachCodePoint(text, [&](std::string_view piece, long codePoint) {
        if (codePoint < 0 || IsControl(codePoint)) AppendVisible(out, piece, codePoint);
        else out += piece;
    });
    return out;
}

std::string CsvField(const std::string& text) {
    bool quote = false;
    std::string body;
    ForEachCodePoint(text, [&](std::string_view piece, long codePoint) {
        if (codePoint == ',' || codePoint == '"' || codePoint < 0 || IsControl(codePoint)) quote = true;
        if (codePoint == '"') body += '"';
        // Line breaks and tabs are data inside quotes; other controls would
        // act on a terminal that shows the file, so they are shown visibly.
        if (codePoint == '\r' || codePoint == '\n' || codePoint == '\t' || (codePoint >= 0 && !IsControl(codePoint)))
            body += piece;
        else
            AppendVisible(body, piece, codePoint);
    });
    return quote ? "\"" + body + "\"" : body;
}

void WriteOutput(std::ostream& out, const CliOptions& options, const TAnalysisList& list,
                 const std::vector<TCliEntry>& entries, const TStatusTexts& statusTexts) {
    switch (options.Format) {
    case OutputFormat::Text: {
        // File names and tag texts may hold controls: shown visibly, so that
        // they can neither act on the terminal nor break a row.
        std::vector<std::vector<std::string>> cells = Cells(list, options.Numbers);
        for (std::vector<std::string>& row : cells)
            for (std::string& text : row) text = VisibleText(text);
        WriteText(out, list, cells, statusTexts);
        break;
    }
    case OutputFormat::Tsv: WriteSeparated(out, list, Cells(list, options.Numbers), false); break;
    case OutputFormat::Csv: WriteSeparated(out, list, Cells(list, options.Numbers), true); break;
    case OutputFormat::Json: WriteJson(out, list, entries, statusTexts); break;
    }
}
