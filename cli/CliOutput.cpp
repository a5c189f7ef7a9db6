#include "CliOutput.h"

#include "core/Columns.h"
#include "io/Text.h"
#include "report/ListText.h"

namespace {

// Width on a terminal: code points, not bytes.
std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++width;
    return width;
}

bool RightAligned(int tag) {
    return tag == kColSize || tag == kColLength || tag == kColSampleRate || tag == kColChannels ||
           tag == kColBitsPerSample || tag == kColRatio || tag == kColBitrate;
}

void WriteText(std::ostream& out, const TAnalysisList& list, const TStatusTexts& status) {
    const std::vector<int>& tags = list.Columns();
    const std::vector<std::string> captions = ColumnCaptions(tags);
    // File names and tag texts may hold controls: shown visibly, so that they
    // can neither act on the terminal nor break a row.
    std::vector<std::vector<std::string>> shown;
    for (const TListRow& row : list.Rows()) {
        std::vector<std::string>& cells = shown.emplace_back();
        for (const std::string& text : row.Texts) cells.push_back(VisibleText(text));
    }
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions) widths.push_back(DisplayWidth(caption));
    for (const std::vector<std::string>& cells : shown)
        for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(cells[c]));
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
    for (const std::vector<std::string>& cells : shown) line(cells);
    out << '\n';
    for (int panel : {kPanelFileCount, kPanelSize, kPanelDuration, kPanelBitrate}) out << status[panel] << '\n';
}

} // namespace

void WriteOutput(std::ostream& out, OutputFormat format, const TAnalysisList& list, const TStatusTexts& statusTexts) {
    switch (format) {
    case OutputFormat::Text: WriteText(out, list, statusTexts); break;
    case OutputFormat::Tsv: WriteSeparated(out, ColumnCaptions(list.Columns()), AllRows(list), false); break;
    case OutputFormat::Csv: WriteSeparated(out, ColumnCaptions(list.Columns()), AllRows(list), true); break;
    case OutputFormat::Json: WriteJson(out, AllRows(list), list.Totals(), statusTexts); break;
    }
}
