#include "report/ListText.h"

#include "core/Columns.h"

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

} // namespace

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);   // shortest exact form, "." always
    return std::string(text, result.ptr);
}

std::vector<std::string> ColumnCaptions(const std::vector<int>& columnTags) {
    std::vector<std::string> captions;
    for (int tag : columnTags) captions.push_back(ColumnDefaultOfTag(tag).Caption);
    return captions;
}

std::vector<const TListRow*> AllRows(const TAnalysisList& list) {
    std::vector<const TListRow*> rows;
    rows.reserve(list.Rows().size());
    for (const TListRow& row : list.Rows()) rows.push_back(&row);
    return rows;
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
    if (!i.EncoderEvidence.empty()) out << ", \"encoderEvidence\": \"" << JsonEscape(i.EncoderEvidence) << '"';
    if (!i.EncoderSettings.empty()) out << ", \"encoderSettings\": \"" << JsonEscape(i.EncoderSettings) << '"';
    if (i.DurationSamples > 0) out << ", \"durationSamples\": " << i.DurationSamples;
    if (i.OriginCheck.Done) WriteJsonOriginCheck(out, i.OriginCheck);
    out << '}';
}

void WriteJsonOriginCheck(std::ostream& out, const TOriginCheck& c) {
    out << ", \"losslessCheck\": {\"verdict\": \"" << JsonEscape(c.Verdict) << "\", \"text\": \"" << JsonEscape(c.Text)
        << "\", \"cutoffHz\": " << JsonNumber(c.CutoffHz) << ", \"topHz\": " << JsonNumber(c.TopHz)
        << ", \"levels\": {\"belowCutoffDb\": " << JsonNumber(c.PassDb) << ", \"aboveCutoffDb\": " << JsonNumber(c.StopDb)
        << ", \"floorDb\": " << JsonNumber(c.FloorDb) << "}, \"holesFromHz\": " << JsonNumber(c.HolesFromHz)
        << ", \"upsampledFromHz\": " << c.UpsampledFromHz << ", \"usedBits\": " << c.UsedBits
        << ", \"fileBits\": " << c.FileBits << ", \"clippingRuns\": " << c.ClippingRuns;
    if (c.GridOffset >= 0)
        out << ", \"frameGrid\": {\"codec\": \"" << JsonEscape(c.GridCodec) << "\", \"offset\": " << c.GridOffset
            << ", \"zeroShare\": " << JsonNumber(c.GridZeroShare) << ", \"otherShare\": " << JsonNumber(c.GridOtherShare)
            << ", \"score\": " << JsonNumber(c.GridScore) << '}';
    out << '}';
}

void WriteJson(std::ostream& out, const std::vector<const TListRow*>& rows, const std::vector<TFailure>& failures,
               const TAnalysisTotals& t, const TStatusTexts& status) {
    out << "{\n  \"files\": [";
    bool first = true;
    for (const TListRow* row : rows) {
        out << (first ? "\n" : ",\n");
        first = false;
        WriteJsonItem(out, *row->Item, {});
    }
    out << (first ? "],\n" : "\n  ],\n");
    out << "  \"errors\": [";
    first = true;
    for (const TFailure& failure : failures) {
        out << (first ? "\n" : ",\n") << "    {\"path\": \"" << JsonEscape(failure.Path)
            << "\", \"folder\": false, \"error\": \"" << JsonEscape(failure.Message) << "\"}";
        first = false;
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
