#include "report/ListText.h"

#include "core/Columns.h"

#include <cmath>
#include <cstdio>

namespace {

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

} // namespace

std::vector<std::string> ColumnCaptions(const std::vector<int>& columnTags) {
    std::vector<std::string> captions;
    for (int tag : columnTags) captions.push_back(kColumnDefaults[tag].Caption);
    return captions;
}

std::vector<const TListRow*> AllRows(const TAnalysisList& list) {
    std::vector<const TListRow*> rows;
    rows.reserve(list.Rows().size());
    for (const TListRow& row : list.Rows()) rows.push_back(&row);
    return rows;
}

std::string TsvField(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

void WriteSeparated(std::ostream& out, const std::vector<std::string>& captions,
                    const std::vector<const TListRow*>& rows, bool csv) {
    const auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out << (csv ? ',' : '\t');
            out << (csv ? CsvField(cells[c]) : TsvField(cells[c]));
        }
        out << (csv ? "\r\n" : "\n");
    };
    line(captions);
    for (const TListRow* row : rows) line(row->Texts);
}

void WriteJson(std::ostream& out, const std::vector<const TListRow*>& rows, const TAnalysisTotals& t,
               const TStatusTexts& status) {
    out << "{\n  \"files\": [";
    bool first = true;
    for (const TListRow* row : rows) {
        const TAudioItem& i = *row->Item;
        out << (first ? "\n" : ",\n");
        first = false;
        out << "    {\"Folder\": \"" << JsonEscape(i.Folder) << "\", \"RelativePath\": \"" << JsonEscape(i.RelativePath)
            << "\", \"FullPath\": \"" << JsonEscape(i.FullPath) << "\", \"FileName\": \""
            << JsonEscape(CellText(i, kColFileName)) << "\", \"FileType\": \"" << JsonEscape(i.FileType)
            << "\", \"FileSize\": " << i.FileSize << ", \"Duration\": " << JsonNumber(i.Duration)
            << ", \"SampleRate\": " << i.SampleRate << ", \"Channels\": " << i.Channels
            << ", \"BitsPerSample\": " << i.BitsPerSample << ", \"Ratio\": " << JsonNumber(i.Ratio)
            << ", \"BitRate\": " << i.BitRate << ", \"EncoderInfo\": \"" << JsonEscape(i.EncoderInfo) << "\"}";
    }
    out << (first ? "],\n" : "\n  ],\n");
    out << "  \"totals\": {\"FileCount\": " << rows.size() << ", \"TotalSize\": " << t.TotalSize
        << ", \"TotalDuration\": " << JsonNumber(t.TotalDuration) << ", \"AverageBitRate\": " << t.AverageBitRate
        << ", \"WeightedBitRate\": " << t.BitRateDurationSum << ",\n    \"StatusTexts\": [";
    for (std::size_t k = 0; k < status.size(); ++k) out << (k ? ", " : "") << '"' << JsonEscape(status[k]) << '"';
    out << "]}\n}\n";
}

TAnalysisTotals TotalsOf(const std::vector<const TListRow*>& rows, TStatusTexts& status) {
    TAnalysisTotals totals;
    for (const TListRow* row : rows) AddToTotals(totals, *row->Item);
    status = ShowTotals(totals, rows.size());
    return totals;
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

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

